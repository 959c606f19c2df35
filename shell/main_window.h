// The program's single window: menu, the settings row laid out from its label widths,
// the sensor table and the status bar.
#pragma once
#include <string_view>

#include "shell/texts.h"

namespace kv {

// The captions of the settings row. The row is laid out from their widths in the window
// font, so a translation or another font moves the controls and resizes the window.
struct SettingsRowTexts {
    std::u16string_view port = texts::PortLabel;
    std::u16string_view interval = texts::IntervalLabel;
    std::u16string_view limitCheck = texts::LimitCheckCaption;
    std::u16string_view min = texts::MinLabel;
    std::u16string_view max = texts::MaxLabel;
};

inline constexpr int InitialClientWidth = 590;
inline constexpr int InitialClientHeight = 400;  // menu bar included
inline constexpr int TableMargin = 2;  // the table's gap to the side edges and the status bar
inline constexpr int IntervalMinimum = 1;
inline constexpr int IntervalMaximum = 60;
inline constexpr int LimitMinimum = -55;
inline constexpr int LimitMaximum = 125;

// Builds and shows the window; PortSelector is filled with the ports that can be opened
// now and has no selection; values, check box and check marks are left for the settings.
void BuildMainWindow();
void BuildMainWindow(const SettingsRowTexts& captions);

// Puts a value into one of the window's spin boxes, its field text included.
void ShowSpinValue(int control, int value);

}  // namespace kv
