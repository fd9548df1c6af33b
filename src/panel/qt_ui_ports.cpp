#include "panel/qt_ui_ports.h"

#include <QMessageBox>

#include "panel/app_icon.h"
#include "shell/tray_model.h"

namespace norvex {

void QtMessageBoxes::Inform(QWidget* parent, const QString& caption, const QString& text,
                            bool stopIcon) {
    QMessageBox box(stopIcon ? QMessageBox::Critical : QMessageBox::NoIcon, caption, text,
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtMessageBoxes::AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

QtTrayIcon::QtTrayIcon() {
    icon_.setIcon(AppIcon());
    icon_.setToolTip(QString::fromUtf8(kTrayTip));
    QObject::connect(&icon_, &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason why) {
                         if (onActivated) onActivated(why == QSystemTrayIcon::DoubleClick);
                     });
}

void QtTrayIcon::ShowBalloon(const QString& title, const QString& text) {
    icon_.showMessage(title, text, QSystemTrayIcon::Warning, static_cast<int>(kBalloonShowMs));
}

}  // namespace norvex
