#pragma once
#include <string>
#include <vector>

namespace norvex {

// Relay-list columns, in the order the window shows them.
enum class RelayColumn { kDevid = 0, kStatus = 1, kIccid = 2, kImei = 3 };

// What the service control shows its user: the Qt window and the headless service each
// implement it; tests record the calls.  Texts are UTF-8 and final (the control has chosen
// them).  Calls come from the UI thread and from the relay engine's thread, already in the
// order they are to be shown; an implementation must return at once (a window queues them to
// its UI thread) and must never wait for the engine.
class PanelView {
public:
    virtual ~PanelView() = default;

    // The Start/Stop button: its text and whether it can be pressed.
    virtual void SetStartButton(const std::string& text, bool enabled) = 0;
    // The two port choosers and the group chooser.
    virtual void EnableChoosers(bool enabled) = 0;
    // Inverts the colours of the Start button's client area once (a connection was made).
    virtual void InvertStartButton() = 0;

    // The relay list: rows are the group's relays in device-list order.
    virtual void ClearRelayRows() = 0;
    virtual void AddRelayRow(const std::vector<std::string>& cells) = 0;
    virtual void SetRelayCell(int row, RelayColumn column, const std::string& text) = 0;

    // A message box with one OK button.
    virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
    // A warning about the network: a red button text or a tray balloon, as the view decides.
    virtual void ShowNotice(const std::string& title, const std::string& text) = 0;
    // A line for whoever watches the service closely (norvexd prints it; a window may ignore
    // it): e.g. why the broker refused the login.
    virtual void ShowDiagnostic(const std::string& line) = 0;

    // The one-second status timer: on from a start until a confirmed stop.
    virtual void SetStatusTimer(bool on) = 0;
    // A web request of the start action is under way (a window shows a busy cursor).
    virtual void SetBusy(bool busy) = 0;
    // The engine cannot run at all (its own resources could not be set up): the program ends
    // once the calls before this one have been shown and answered, with status 0 and without
    // saving anything.
    virtual void EndProgram() = 0;
};

}  // namespace norvex
