#pragma once
#include <QFont>
#include <QSize>

#include "shell/dialog_units.h"

namespace norvex {

// The dialog base units of a font.
DialogBaseUnits BaseUnitsOf(const QFont& font);
// A size given in dialog units, in pixels of the font.
QSize UnitsToSize(int width, int height, const QFont& font);
// The application font at the given size, as the windows' layouts assume.
QFont DialogFont(int points);

}  // namespace norvex
