#pragma once

#include "DialogView.h"
#include "SectionInterfaces.h"
#include "protocol/ReceiveEngine.h"

// The Config group: the logger's interval and distance, read with LOAD config and written with SET
// config; usable only while the port is open and the logger has answered.
class ConfigSection final : public PortStateListener {
  public:
    // flags are the link session's; port carries the requests.
    ConfigSection(DialogView& view, LinkFlags& flags, LoggerPort& port);

    void OnLoadConfig();
    void OnSetConfig();
    void EnableSettingsControls(bool bEnable);

    // PortStateListener
    void OnPortOpened() override;
    void OnPortClosed() override;

  private:
    DialogView& m_view;
    LinkFlags& m_flags;
    LoggerPort& m_port;
};
