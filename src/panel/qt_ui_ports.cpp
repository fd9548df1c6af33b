#include "panel/qt_ui_ports.h"

#include <QGuiApplication>
#include <QMessageBox>
#ifdef NORVEX_HAVE_QTDBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#endif

#include "panel/about_box.h"
#include "panel/app_icon.h"
#include "panel/shell_text.h"

namespace norvex {
namespace {

// Qt's tray goes through StatusNotifierItem whenever a watcher is on the session bus, and X11's
// XEmbed tray only on xcb otherwise; it decides once, at the first icon, as this does.
TrayHost DetectTrayHost() {
#ifdef NORVEX_HAVE_QTDBUS
    if (QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface()) {
        if (bus->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")))
            return TrayHost::kActivationOnly;
    }
#endif
    return QGuiApplication::platformName() == QLatin1String("xcb") ? TrayHost::kXEmbed
                                                                   : TrayHost::kActivationOnly;
}

TrayClick ClickOf(QSystemTrayIcon::ActivationReason why) {
    switch (why) {
        case QSystemTrayIcon::Trigger:
            return TrayClick::kSingle;
        case QSystemTrayIcon::DoubleClick:
            return TrayClick::kDouble;
        default:
            return TrayClick::kOther;
    }
}

}  // namespace

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

QtTrayIcon::QtTrayIcon() : host_(DetectTrayHost()) {
    icon_.setIcon(AppIcon());
    icon_.setToolTip(ShellText(kTrayTip));
    connect(menu_.addAction(ShellText(kTrayRestoreText)), &QAction::triggered, this,
            &TrayIcon::restoreChosen);
    connect(menu_.addAction(AboutMenuText()), &QAction::triggered, this, &TrayIcon::aboutChosen);
    icon_.setContextMenu(&menu_);
    connect(&icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) { emit activated(ClickOf(why)); });
}

void QtTrayIcon::ShowBalloon(const QString& title, const QString& text) {
    icon_.showMessage(title, text, QSystemTrayIcon::Warning, static_cast<int>(kBalloonShowMs));
}

}  // namespace norvex
