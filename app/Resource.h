#pragma once

// Identifiers shared by the window logic and its views: the layouts, the controls, the strings and
// the window's private messages. Plain macros so that a Win32 resource script can include them too.

#include "QuorvelVersion.h"

// Layouts and resources.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_QUORVEL_DIALOG 102
#define IDR_MAINFRAME 131

// Window-menu commands: the About entry, the track view.
#define IDM_ABOUTBOX 0x0010
#define IDM_TRACKVIEW 0x0020

// The About box's second line: the release number beside the authors' notice.
#define QUORVEL_ABOUT_NOTICE_LINE \
    "Release " QUORVEL_VERSION_STRING ", Copyright (C) The Quorvel developers"

// Controls of the main window.
#define IDC_RAW_PATH 1002
#define IDC_OUT_PATH 1003
#define IDC_PORT_LIST 1004
#define IDC_BAUD_LIST 1005
#define IDC_SCAN 1006
#define IDC_OPEN_CLOSE 1007
#define IDC_TIME_ZONE 1008
#define IDC_GET_DATA 1009
#define IDC_OPEN_FILE 1010
#define IDC_BY_TIME 1011
#define IDC_BY_SIZE 1012
#define IDC_ALL 1013
#define IDC_RECORDS 1014
#define IDC_DELETE 1015
#define IDC_TRANSLATE 1016
#define IDC_SET_CONFIG 1017
#define IDC_PROGRESS 1018
#define IDC_TIME_FROM_DATE 1019
#define IDC_TIME_FROM_TIME 1020
#define IDC_TIME_LABEL 1021
#define IDC_TIME_TO_DATE 1022
#define IDC_TIME_TO_TIME 1023
#define IDC_SIZE_LABEL 1024
#define IDC_LOG_LIST 1025
#define IDC_DROP_NOFIX 1026
#define IDC_SIZE_FROM_DATE 1027
#define IDC_SIZE_FROM_TIME 1028
#define IDC_LOAD_CONFIG 1029
#define IDC_INTERVAL 1030
#define IDC_GPS_ALWAYS_ON 1031
#define IDC_DISTANCE 1032
// Opens the track view of the loaded file (also Ctrl+T).
#define IDC_TRACK_VIEW 1033
// Static labels and group frames are never addressed.
#define IDC_STATIC (-1)

// Commands the window shares with the platform; the platform's own definitions win.
#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif

// Window messages.
#ifndef WM_USER
#define WM_USER 0x0400
#endif
#ifndef WM_DEVICECHANGE
#define WM_DEVICECHANGE 0x0219
#endif
// The receive worker's two notifications (private range above WM_USER).
#define WM_DOWNLOAD_PROGRESS 2724  // wParam: announced N; lParam: 0 at start, else records so far
#define WM_DOWNLOAD_DONE 2725      // wParam: the DownloadResult; lParam: 0
