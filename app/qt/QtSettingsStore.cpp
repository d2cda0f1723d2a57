#include "QtSettingsStore.h"

namespace {

QString KeyOf(const std::string& strKey) {
    return QStringLiteral("Window/") + QString::fromStdString(strKey);
}

}  // namespace

QtSettingsStore::QtSettingsStore()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvel"),
                 QStringLiteral("quorvel")) {}

QtSettingsStore::QtSettingsStore(const QString& strFile)
    : m_settings(strFile, QSettings::IniFormat) {}

std::optional<std::string> QtSettingsStore::Read(const std::string& strKey) const {
    const QVariant value = m_settings.value(KeyOf(strKey));
    if (!value.isValid()) return std::nullopt;
    return value.toString().toStdString();
}

void QtSettingsStore::Write(const std::string& strKey, const std::string& strValue) {
    m_settings.setValue(KeyOf(strKey), QString::fromStdString(strValue));
}
