#pragma once

#include <span>

#include "Resource.h"

// The main window's layout: every control in creation and tab order, with its place and size in
// dialog units and its state when the window is created. Views build their window from it.

enum class ControlKind {
    Edit,           // framed, single line, scrolls horizontally
    EditableCombo,  // combo box whose text can be typed, unsorted
    DropListCombo,  // combo box limited to its list, unsorted
    PushButton,
    RadioButton,
    CheckBox,
    Label,
    GroupFrame,
    ProgressBar,  // smooth, framed
    DatePicker,   // short date, drop-down calendar aligned right
    TimePicker,   // time of day with spin buttons
    ListBox,      // unsorted, vertical scroll bar, framed
};

struct ControlLayout {
    int nId;  // IDC_STATIC for labels and frames
    ControlKind kind;
    const char* pszText;
    int x, y, cx, cy;  // dialog units; a combo box's height is that of its opened list
    bool bVisible;
    bool bEnabled;
    bool bChecked;
};

struct WindowLayout {
    const char* pszTitle;
    const char* pszFontName;
    int nFontPoints;
    int cx, cy;  // dialog units
};

const WindowLayout& MainWindowLayout();
std::span<const ControlLayout> MainWindowControls();

const WindowLayout& AboutBoxLayout();
inline constexpr char kAboutVersionLine[] = "Quorvel Version 1.0";
inline constexpr char kAboutNoticeLine[] = QUORVEL_ABOUT_NOTICE_LINE;
