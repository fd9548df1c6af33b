#pragma once
#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <QWidget>

namespace norvex {

// While a web request runs: the widget takes no input and the cursor shows that we wait.
class BusyScope {
public:
    explicit BusyScope(QWidget* w) : widget_(w) {
        widget_->setEnabled(false);
        QApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    }
    ~BusyScope() {
        QApplication::restoreOverrideCursor();
        if (widget_) widget_->setEnabled(true);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    QPointer<QWidget> widget_;
};

}  // namespace norvex
