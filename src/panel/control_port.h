#pragma once
#include <atomic>

#include "common/unique_fd.h"
#include "panel/ui_ports.h"
#include "shell/service_control.h"

class QObject;

namespace norvex {

// Cuts the start action's web requests short at shutdown: an eventfd that the gateway's
// requests watch, and the answer to the control's "was the start cancelled?".
class StartCancel {
public:
    StartCancel();
    int Fd() const { return fd_.Get(); }
    void Fire();
    bool Fired() const { return fired_.load(); }

private:
    UniqueFd fd_;
    std::atomic<bool> fired_{false};
};

// The window's ServicePort on the real service control.
class ControlPort : public ServicePort {
public:
    ControlPort(ServiceControl& control, StartCancel& cancel) : control_(control), cancel_(cancel) {
        control_.SetStartCancelled([&cancel] { return cancel.Fired(); });
    }

    bool StartAtLaunch(const PanelConfig& config, int groupIndex) override {
        return control_.Start(config, groupIndex) == StartOutcome::kPending;
    }
    bool StartStopClicked(const PanelConfig& config, int groupIndex) override {
        return control_.OnStartStopClicked(config, groupIndex) == ClickStep::kAskStop;
    }
    void ConfirmStop() override { control_.RequestStop(); }
    void OnTimer() override { control_.OnTimer(); }
    bool RunActive() const override { return control_.RunActive(); }
    void StopAndWait() override;
    void SetInTray(bool inTray) override { control_.SetInTray(inTray); }

private:
    ServiceControl& control_;
    StartCancel& cancel_;
};

// The start action's web requests on the thread pool; their end is queued back to the UI
// thread while `receiver` lives.
OffThread MakeQtOffThread(QObject* receiver);

}  // namespace norvex
