#include "ConfigSection.h"

#include <string>
#include <utility>

#include "Resource.h"
#include "WindowBoxes.h"
#include "link/LinkSession.h"
#include "platform/Text.h"

ConfigSection::ConfigSection(DialogView& view, LinkFlags& flags, LoggerPort& port)
    : m_view(view), m_flags(flags), m_port(port) {}

void ConfigSection::EnableSettingsControls(bool bEnable) {
    m_view.EnableControl(IDC_SET_CONFIG, bEnable);
    m_view.EnableControl(IDC_INTERVAL, bEnable);
    m_view.EnableControl(IDC_DISTANCE, bEnable);
    m_view.EnableControl(IDC_GPS_ALWAYS_ON, bEnable);
}

void ConfigSection::OnPortOpened() {
    m_view.EnableControl(IDC_LOAD_CONFIG, true);
}

void ConfigSection::OnPortClosed() {
    m_view.EnableControl(IDC_LOAD_CONFIG, false);
    EnableSettingsControls(false);
}

void ConfigSection::OnLoadConfig() {
    if (!m_port.IsPortOpen()) {
        m_port.ShowPortClosedError();
        return;
    }
    m_flags.m_bIntervalReceived = 0;
    m_flags.m_bDistanceReceived = 0;
    m_view.SetControlText(IDC_INTERVAL, "");
    m_view.SetControlText(IDC_DISTANCE, "");
    EnableSettingsControls(false);
    (void)m_port.SendCommandSentence(ConfigQuerySentenceBody());
}

void ConfigSection::OnSetConfig() {
    if (!m_port.IsPortOpen()) {
        m_port.ShowPortClosedError();
        return;
    }
    const std::u16string interval = Utf8ToUtf16(m_view.GetControlText(IDC_INTERVAL));
    const std::u16string distance = Utf8ToUtf16(m_view.GetControlText(IDC_DISTANCE));
    const bool bGpsAlwaysOn = m_view.GetCheck(IDC_GPS_ALWAYS_ON);
    // A typed line end would put a second command on the line; such a value is refused whole.
    for (const auto& [value, pszWhat] :
         {std::pair{&interval, "interval"}, std::pair{&distance, "distance"}}) {
        const std::string strProblem = SettingsValueProblem(*value, pszWhat);
        if (!strProblem.empty()) {
            ShowError(m_view, strProblem);
            return;
        }
    }
    if (!m_port.SendCommandSentence(ConfigWriteSentenceBody(bGpsAlwaysOn, interval, distance))) {
        return;
    }
    (void)m_view.ShowMessageBox(kSetConfigOkMessage, "Info", BoxButtons::Ok, BoxIcon::None);
}
