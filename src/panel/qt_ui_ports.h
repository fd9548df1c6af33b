#pragma once
#include <QMenu>
#include <QSystemTrayIcon>

#include "panel/ui_ports.h"

namespace norvex {

// Real message boxes.
class QtMessageBoxes : public MessageBoxes {
public:
    void Inform(QWidget* parent, const QString& caption, const QString& text,
                bool stopIcon) override;
    bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) override;
};

// The real notification-area icon.
class QtTrayIcon : public TrayIcon {
    Q_OBJECT

public:
    QtTrayIcon();
    bool Available() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }
    TrayHost Host() const override { return host_; }
    void Show() override { icon_.show(); }
    void Hide() override { icon_.hide(); }
    void ShowBalloon(const QString& title, const QString& text) override;

private:
    TrayHost host_;
    QMenu menu_;  // before the icon that shows it
    QSystemTrayIcon icon_;
};

}  // namespace norvex
