#include "RememberedChoices.h"

#include <iterator>

#include "PortSection.h"
#include "Resource.h"

RememberedChoices::RememberedChoices(DialogView& view, TranslateChoices& choices,
                                     FolderMemory& folders)
    : m_view(view), m_choices(choices), m_folders(folders) {}

std::optional<std::string> RememberedChoices::RememberedZone() const {
    if (!m_pSettings) return std::nullopt;
    return m_pSettings->Read(settings_key::kTimeZone);
}

void RememberedChoices::RestoreSettings() {
    if (!m_pSettings) return;
    namespace key = settings_key;
    if (const auto strSpeed = m_pSettings->Read(key::kSpeed)) {
        for (int i = 0; i < static_cast<int>(std::size(kBaudRates)); ++i) {
            if (*strSpeed == kBaudRates[i]) m_view.SelectListEntry(IDC_BAUD_LIST, i);
        }
    }
    if (const auto strDrop = m_pSettings->Read(key::kDropNoFix)) {
        m_view.SetCheck(IDC_DROP_NOFIX, *strDrop != "0");
    }
    if (const auto strMode = m_pSettings->Read(key::kSelectMode)) {
        if (*strMode == "0" || *strMode == "1" || *strMode == "2") {
            m_choices.ChooseSelectMode((*strMode)[0] - '0');
        }
    }
    if (const auto strPort = m_pSettings->Read(key::kPort); strPort && !strPort->empty()) {
        // The port used last when it is here; typed in when no port is listed at all.
        bool bListed = false;
        for (int i = 0; i < m_view.GetListCount(IDC_PORT_LIST) && !bListed; ++i) {
            m_view.SelectListEntry(IDC_PORT_LIST, i);
            bListed = m_view.GetControlText(IDC_PORT_LIST) == *strPort;
        }
        if (!bListed && m_view.GetListCount(IDC_PORT_LIST) > 0) {
            m_view.SelectListEntry(IDC_PORT_LIST, m_view.GetListCount(IDC_PORT_LIST) - 1);
        } else if (!bListed) {
            m_view.SetControlText(IDC_PORT_LIST, *strPort);
        }
    }
    m_folders.SetFolder(FolderUse::Open, m_pSettings->Read(key::kOpenFolder).value_or(""));
    m_folders.SetFolder(FolderUse::Download, m_pSettings->Read(key::kDownloadFolder).value_or(""));
    m_folders.SetFolder(FolderUse::Output, m_pSettings->Read(key::kOutputFolder).value_or(""));
}

void RememberedChoices::SaveSettings() {
    if (!m_pSettings) return;
    namespace key = settings_key;
    m_pSettings->Write(key::kPort, m_view.GetControlText(IDC_PORT_LIST));
    m_pSettings->Write(key::kSpeed, m_view.GetControlText(IDC_BAUD_LIST));
    // Text that names no zone is not kept: the zone in effect is.
    const std::string strZone = m_view.GetControlText(IDC_TIME_ZONE);
    TimeZone zone;
    m_pSettings->Write(key::kTimeZone, ParseTimeZone(strZone, zone) == TimeZoneStatus::Ok
                                           ? strZone
                                           : m_choices.GetTimeZone().DisplayName());
    m_pSettings->Write(key::kDropNoFix, m_view.GetCheck(IDC_DROP_NOFIX) ? "1" : "0");
    m_pSettings->Write(key::kSelectMode, std::to_string(m_choices.SelectMode()));
    m_pSettings->Write(key::kOpenFolder, m_folders.Folder(FolderUse::Open));
    m_pSettings->Write(key::kDownloadFolder, m_folders.Folder(FolderUse::Download));
    m_pSettings->Write(key::kOutputFolder, m_folders.Folder(FolderUse::Output));
}
