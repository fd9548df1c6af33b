#pragma once
#include "panel/ui_ports.h"
#include "shell/service_control.h"

class QObject;

namespace norvex {

// The window's ServicePort on the real service control.
class ControlPort : public ServicePort {
public:
    explicit ControlPort(ServiceControl& control) : control_(control) {}

    bool StartAtLaunch(const PanelConfig& config, int groupIndex) override {
        return control_.Start(config, groupIndex) == StartOutcome::kPending;
    }
    void StartStopClicked(const PanelConfig& config, int groupIndex,
                          const std::function<bool()>& confirmStop) override {
        control_.OnStartStopClicked(config, groupIndex, confirmStop);
    }
    void OnTimer() override { control_.OnTimer(); }
    bool RunActive() const override { return control_.RunActive(); }
    void StopAndWait() override;
    void SetInTray(bool inTray) override { control_.SetInTray(inTray); }

private:
    ServiceControl& control_;
};

// The start action's web requests on the thread pool; their end is queued back to the UI
// thread while `receiver` lives.
OffThread MakeQtOffThread(QObject* receiver);

}  // namespace norvex
