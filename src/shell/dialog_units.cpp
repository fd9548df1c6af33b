#include "shell/dialog_units.h"

namespace norvex {
namespace {

// a * b / c rounded half away from zero, in 64 bits so that no product overflows.
int MulDivRound(int a, int b, int c) {
    if (c == 0) return 0;
    long long p = static_cast<long long>(a) * b;
    long long half = c / 2;
    long long q = p >= 0 ? (p + half) / c : (p - half) / c;
    return static_cast<int>(q);
}

}  // namespace

int AverageCharWidth(int widthOf52Letters) {
    return (widthOf52Letters / 26 + 1) / 2;
}

int HorizontalPixels(int dialogUnits, DialogBaseUnits base) {
    return MulDivRound(dialogUnits, base.charWidth, 4);
}

int VerticalPixels(int dialogUnits, DialogBaseUnits base) {
    return MulDivRound(dialogUnits, base.charHeight, 8);
}

UnitRect ToPixels(UnitRect u, DialogBaseUnits base) {
    return {HorizontalPixels(u.x, base), VerticalPixels(u.y, base), HorizontalPixels(u.width, base),
            VerticalPixels(u.height, base)};
}

}  // namespace norvex
