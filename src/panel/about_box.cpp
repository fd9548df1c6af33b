#include "panel/about_box.h"

#include <QLabel>
#include <QPushButton>

#include "panel/app_icon.h"
#include "panel/dialog_geometry.h"

namespace norvex {

QString AboutMenuText() {
    return AboutBox::tr(kAboutMenuText);
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("关于 NorvexPanel"));
    setFont(DialogFont(9));
    DialogBaseUnits base = BaseUnitsOf(font());
    auto place = [&](QWidget* w, UnitRect units) {
        UnitRect px = ToPixels(units, base);
        w->setGeometry(px.x, px.y, px.width, px.height);
    };
    auto* icon = new QLabel(this);
    UnitRect iconPx = ToPixels({14, 14, 21, 20}, base);
    int side = std::min(iconPx.width, iconPx.height);
    icon->setPixmap(AppIcon().pixmap(side, side));
    place(icon, {14, 14, 21, 20});
    auto* version = new QLabel(tr("NorvexPanel，1.0 版"), this);
    version->setTextFormat(Qt::PlainText);
    place(version, {42, 14, 114, 8});
    auto* line3 = new QLabel(tr("虚拟RS485网络代理服务器-控制面板"), this);
    line3->setTextFormat(Qt::PlainText);
    place(line3, {42, 26, 114, 8});
    auto* ok = new QPushButton(tr("确定"), this);
    ok->setDefault(true);
    place(ok, {113, 41, 50, 14});
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    setFixedSize(UnitsToSize(170, 62, font()));
}

}  // namespace norvex
