#include "panel/app_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The resources live in a static library: they are registered by hand, once.
static void InitPanelResources() {
    Q_INIT_RESOURCE(panel);
}

namespace norvex {

QIcon AppIcon() {
    static const QIcon icon = [] {
        InitPanelResources();
        QIcon made;
        QSvgRenderer svg(QStringLiteral(":/norvex/norvex-panel.svg"));
        for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
            QPixmap pm(side, side);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            svg.render(&p);
            p.end();
            made.addPixmap(pm);
        }
        return made;
    }();
    return icon;
}

}  // namespace norvex
