#pragma once
#include <array>
#include <cstddef>

namespace norvex {

// Window layouts are given in dialog units: a horizontal unit is a quarter of the dialog
// font's average character width, a vertical one an eighth of its height.
struct DialogBaseUnits {
    int charWidth = 0;   // average character width, pixels
    int charHeight = 0;  // character height, pixels
};

// The average width the way dialog templates measure it: the width of the 52 letters
// "A".."Z" "a".."z" divided by 26, halved, rounded.
int AverageCharWidth(int widthOf52Letters);

struct UnitRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const UnitRect&) const = default;
};

// Rounded to the nearest pixel, halves away from zero.
int HorizontalPixels(int dialogUnits, DialogBaseUnits base);
int VerticalPixels(int dialogUnits, DialogBaseUnits base);
UnitRect ToPixels(UnitRect dialogUnits, DialogBaseUnits base);

// The main window: its client area and controls, in dialog units.  The choosers' heights
// include their opened list.
enum class MainControl {
    kNetPortLabel,
    kNetPortChooser,
    kAppPortLabel,
    kAppPortChooser,
    kGroupLabel,
    kGroupChooser,
    kDetailsButton,
    kStartButton,
    kRelayList,
    kCount
};
inline constexpr UnitRect kMainClientUnits{0, 0, 431, 115};
inline constexpr std::array<UnitRect, static_cast<std::size_t>(MainControl::kCount)>
    kMainControlUnits{{
        {14, 14, 35, 8},     // "网络侧串口"
        {51, 12, 135, 112},  // network-side port
        {14, 28, 35, 8},     // "应用端串口"
        {51, 26, 135, 112},  // application-side port
        {15, 53, 83, 8},     // "当前使用的RS485设备群："
        {15, 66, 110, 112},  // group
        {131, 65, 55, 14},   // "详情"
        {14, 88, 172, 20},   // Start/Stop
        {192, 12, 232, 96},  // relays
    }};
inline constexpr UnitRect MainControlUnits(MainControl c) {
    return kMainControlUnits[static_cast<std::size_t>(c)];
}

// The main window's font, points.
inline constexpr int kMainFontPoints = 9;

}  // namespace norvex
