#include "panel/dialog_geometry.h"

#include <QApplication>
#include <QFontMetrics>

namespace norvex {

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    QFontMetrics fm(font);
    int letters = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {AverageCharWidth(letters), fm.height()};
}

QSize UnitsToSize(int width, int height, const QFont& font) {
    DialogBaseUnits base = BaseUnitsOf(font);
    return {HorizontalPixels(width, base), VerticalPixels(height, base)};
}

QFont DialogFont(int points) {
    QFont f = QApplication::font();
    f.setPointSize(points);
    return f;
}

}  // namespace norvex
