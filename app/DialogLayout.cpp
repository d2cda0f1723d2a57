#include "DialogLayout.h"

#include "Resource.h"

namespace {

using K = ControlKind;

constexpr bool kShown = true;
constexpr bool kHidden = false;
constexpr bool kOn = true;
constexpr bool kOff = false;

// clang-format off
constexpr ControlLayout kControls[] = {
    {IDC_RAW_PATH,       K::Edit,          "",                          16, 142, 331, 14, kShown,  kOn,  kOff},
    {IDC_PORT_LIST,      K::EditableCombo, "",                          18,  17,  99, 94, kShown,  kOn,  kOff},
    {IDC_BAUD_LIST,      K::DropListCombo, "",                         127,  17,  43, 114, kShown, kOn,  kOff},
    {IDC_SCAN,           K::PushButton,    "Scan",                     263,  31,  32, 14, kHidden, kOff, kOff},
    {IDC_OPEN_CLOSE,     K::PushButton,    "Open/Close",               180,  17,  51, 14, kShown,  kOn,  kOff},
    {IDC_TIME_ZONE,      K::EditableCombo, "",                         294,  19,  57, 210, kShown, kOn,  kOff},
    {IDC_STATIC,         K::Label,         "Time Zone",                257,  21,  35,  8, kShown,  kOn,  kOff},
    {IDC_STATIC,         K::GroupFrame,    "Com Port",                   7,   7, 232, 30, kShown,  kOn,  kOff},
    {IDC_STATIC,         K::GroupFrame,    "Raw Data",                   7, 111, 352, 75, kShown,  kOn,  kOff},
    {IDC_GET_DATA,       K::PushButton,    "GET data from device",     137, 158,  92, 20, kShown,  kOn,  kOff},
    {IDC_OPEN_FILE,      K::PushButton,    "OPEN existing file",       256, 158,  92, 20, kShown,  kOn,  kOff},
    {IDC_BY_TIME,        K::RadioButton,   "By Time",                   16, 203,  43, 10, kShown,  kOn,  kOn},
    {IDC_BY_SIZE,        K::RadioButton,   "By Size",                   16, 219,  41, 10, kShown,  kOn,  kOff},
    {IDC_ALL,            K::RadioButton,   "All",                       16, 234,  24, 10, kShown,  kOn,  kOff},
    {IDC_RECORDS,        K::Edit,          "",                         209, 218,  30, 12, kShown,  kOn,  kOff},
    {IDC_STATIC,         K::Label,         "Records",                  246, 220,  37,  8, kShown,  kOn,  kOff},
    {IDC_STATIC,         K::Label,         "From",                      63, 203,  18,  8, kShown,  kOn,  kOff},
    {IDC_STATIC,         K::Label,         "To",                       213, 203,   9,  8, kShown,  kOn,  kOff},
    {IDC_OUT_PATH,       K::Edit,          "",                          16, 254, 331, 14, kShown,  kOn,  kOff},
    {IDC_TRANSLATE,      K::PushButton,    "Translate",                291, 227,  56, 20, kShown,  kOn,  kOff},
    {IDC_STATIC,         K::GroupFrame,    "Translate Format",           7, 189, 352, 87, kShown,  kOn,  kOff},
    {IDC_DELETE,         K::PushButton,    "DELETE data in device",     18, 158,  92, 20, kShown,  kOn,  kOff},
    {IDC_PROGRESS,       K::ProgressBar,   "",                         148, 121, 197, 16, kHidden, kOn,  kOff},
    {IDC_TIME_FROM_DATE, K::DatePicker,    "",                          83, 201,  57, 12, kShown,  kOn,  kOff},
    {IDC_TIME_FROM_TIME, K::TimePicker,    "",                         144, 201,  62, 12, kShown,  kOn,  kOff},
    {IDC_TIME_TO_DATE,   K::DatePicker,    "",                         224, 201,  56, 12, kShown,  kOn,  kOff},
    {IDC_TIME_TO_TIME,   K::TimePicker,    "",                         284, 201,  62, 12, kShown,  kOn,  kOff},
    {IDC_TIME_LABEL,     K::Label,         "Time:",                    171, 124, 176, 11, kHidden, kOn,  kOff},
    {IDC_SIZE_LABEL,     K::Label,         "Size:",                     17, 124, 114, 11, kHidden, kOn,  kOff},
    {IDC_LOG_LIST,       K::ListBox,       "",                           7, 283, 352, 42, kShown,  kOn,  kOff},
    {IDC_DROP_NOFIX,     K::CheckBox,      "Drop no-fix data",         186, 237,  68, 10, kShown,  kOn,  kOn},
    {IDC_STATIC,         K::Label,         "From",                      62, 220,  18,  8, kShown,  kOn,  kOff},
    {IDC_SIZE_FROM_DATE, K::DatePicker,    "",                          82, 218,  57, 12, kShown,  kOn,  kOff},
    {IDC_SIZE_FROM_TIME, K::TimePicker,    "",                         143, 218,  62, 12, kShown,  kOn,  kOff},
    {IDC_STATIC,         K::GroupFrame,    "Config",                     7,  43, 352, 65, kShown,  kOn,  kOff},
    {IDC_SET_CONFIG,     K::PushButton,    "SET config to device",     253,  83,  92, 20, kShown,  kOff, kOff},
    {IDC_LOAD_CONFIG,    K::PushButton,    "LOAD config from device",  253,  54,  92, 20, kShown,  kOff, kOff},
    {IDC_STATIC,         K::Label,         "(O2) Datalogger interval:", 17,  72,  88, 14, kShown,  kOn,  kOff},
    {IDC_STATIC,         K::Label,         "(OH) Datalogger distance:", 17,  88,  88, 14, kShown,  kOn,  kOff},
    {IDC_STATIC,         K::Label,         "(0~65535 sec,0=disable)",  155,  72,  88, 14, kShown,  kOn,  kOff},
    {IDC_STATIC,         K::Label,         "(0~4Giga m,0=disable)",    155,  88,  94, 14, kShown,  kOn,  kOff},
    {IDC_INTERVAL,       K::Edit,          "",                         109,  72,  40, 14, kShown,  kOff, kOff},
    {IDC_DISTANCE,       K::Edit,          "",                         109,  88,  40, 14, kShown,  kOff, kOff},
    {IDC_GPS_ALWAYS_ON,  K::CheckBox,      "(C0) GPS always on",        17,  54, 107, 16, kHidden, kOff, kOff},
    // Beside the written layout, in the free space under the By Size pickers; usable once a file
    // is loaded.
    {IDC_TRACK_VIEW,     K::PushButton,    "Track view",                82, 233,  57, 14, kShown,  kOff, kOff},
};
// clang-format on

constexpr WindowLayout kMainWindow = {"Vendrimax QM-900 Ostrello v0.3(1003231)", "Arial", 10, 366,
                                      332};
constexpr WindowLayout kAboutBox = {"About Quorvel", "MS Shell Dlg", 8, 235, 55};

}  // namespace

const WindowLayout& MainWindowLayout() {
    return kMainWindow;
}

std::span<const ControlLayout> MainWindowControls() {
    return kControls;
}

const WindowLayout& AboutBoxLayout() {
    return kAboutBox;
}
