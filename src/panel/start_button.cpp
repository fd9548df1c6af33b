#include "panel/start_button.h"

#include <QPainter>
#include <QTimer>

namespace norvex {
namespace {

// Long enough to be seen, short enough not to hide the button's text.
constexpr int kInvertFlashMs = 250;

}  // namespace

void StartButton::Show(const QString& text, bool enabled) {
    notice_.clear();
    setText(text);
    setEnabled(enabled);
    update();
}

void StartButton::ShowNotice(const QString& text) {
    notice_ = text;
    update();
}

void StartButton::FlashInverted() {
    inverted_ = true;
    update();
    QTimer::singleShot(kInvertFlashMs, this, [this] {
        inverted_ = false;
        update();
    });
}

void StartButton::paintEvent(QPaintEvent* event) {
    if (notice_.isEmpty()) {
        QPushButton::paintEvent(event);
    } else {
        QPainter p(this);
        p.fillRect(rect(), QColor(255, 0, 0));
        p.setPen(palette().color(QPalette::ButtonText));
        p.drawText(rect().adjusted(20, 10, 0, 0), Qt::AlignLeft | Qt::AlignTop, notice_);
    }
    if (inverted_) {
        QPainter p(this);
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.fillRect(rect(), Qt::white);
    }
}

}  // namespace norvex
