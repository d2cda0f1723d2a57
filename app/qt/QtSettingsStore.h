#pragma once

#include <QSettings>

#include "app/SettingsStore.h"

// The window's choices in QSettings (on Linux ~/.config/Quorvel/quorvel.conf), in group "Window".
class QtSettingsStore final : public SettingsStore {
  public:
    // The application's own settings, or those of a file (tests keep theirs in a temporary folder).
    QtSettingsStore();
    explicit QtSettingsStore(const QString& strFile);

    std::optional<std::string> Read(const std::string& strKey) const override;
    void Write(const std::string& strKey, const std::string& strValue) override;

  private:
    mutable QSettings m_settings;
};
