#pragma once

#include <string>

#include "DialogView.h"

// The boxes that every section of the window shows alike.
inline void ShowError(DialogView& view, const std::string& strText) {
    (void)view.ShowMessageBox(strText, "Error", BoxButtons::Ok, BoxIcon::Error);
}
inline void ShowInfo(DialogView& view, const std::string& strText) {
    (void)view.ShowMessageBox(strText, "Info", BoxButtons::Ok, BoxIcon::Information);
}

// Translate and the track view without a file loaded.
inline constexpr char kNoRawData[] = "No raw data available.";
