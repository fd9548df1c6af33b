#pragma once
#include <QObject>
#include <QString>
#include <optional>

#include "shell/panel_config.h"
#include "shell/tray_model.h"

class QWidget;

namespace norvex {

// Message boxes, behind an interface so that tests answer them without a modal loop.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // One OK button, no icon (stopIcon: the critical icon).
    virtual void Inform(QWidget* parent, const QString& caption, const QString& text,
                        bool stopIcon = false) = 0;
    // Yes and No; true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) = 0;
};

// The notification-area icon.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    virtual bool Available() const = 0;
    // Which clicks the desktop's tray reports (fixed for the process).
    virtual TrayHost Host() const = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void ShowBalloon(const QString& title, const QString& text) = 0;

signals:
    // The icon was clicked.
    void activated(norvex::TrayClick click);
    // The icon's context menu: its restore entry and its about entry.
    void restoreChosen();
    void aboutChosen();
};

// The Start/Stop control as the window drives it (the service control behind it decides
// texts, states and questions).  Calls come from the UI thread.
class ServicePort {
public:
    virtual ~ServicePort() = default;
    // The start action once, as at start-up.  True when its web requests still run: the
    // control then ends it with SetBusy(false).
    virtual bool StartAtLaunch(const PanelConfig& config, int groupIndex) = 0;
    // The click on Start/Stop; true when a run is active and the stop question is to be asked.
    virtual bool StartStopClicked(const PanelConfig& config, int groupIndex) = 0;
    // The stop question was answered yes (nothing happens if the run has ended meanwhile).
    virtual void ConfirmStop() = 0;
    virtual void OnTimer() = 0;
    virtual bool RunActive() const = 0;
    // Asks an active run to end (a stop without the question) and waits for its end.
    virtual void StopAndWait() = 0;
    virtual void SetInTray(bool inTray) = 0;
};

// The group dialogs, opened from the main window.
class GroupDialogs {
public:
    virtual ~GroupDialogs() = default;
    // The login dialog; the new group when it ends with OK.
    virtual std::optional<GroupRecord> Login(QWidget* parent) = 0;
    // The details of a group (fetched before the dialog shows).
    virtual void Details(QWidget* parent, const std::string& id, const std::string& password) = 0;
};

inline QString ToQ(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace norvex
