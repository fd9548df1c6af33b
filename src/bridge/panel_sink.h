#pragma once
#include <string>
#include <vector>

namespace norvex {

// What the service worker and the start/stop control do to the panel.  The Qt window and the
// headless service each implement it; tests record the calls.  Texts are UTF-8.  Every call
// returns once the panel has carried it out; implementations must be callable from the worker
// thread.
class PanelSink {
public:
    virtual ~PanelSink() = default;

    // The Start/Stop button: its text and whether it can be pressed.
    virtual void SetStartButton(const std::string& text, bool enabled) = 0;
    // The two port choosers and the group chooser.
    virtual void EnableChoosers(bool enabled) = 0;
    // Inverts the colours of the Start button's client area once (a connection was made).
    virtual void InvertStartButton() = 0;

    // The relay list: rows are the group's relays in device-list order.
    virtual void ClearRelayRows() = 0;
    virtual void AddRelayRow(const std::vector<std::string>& cells) = 0;
    virtual void SetRelayCell(int row, int column, const std::string& text) = 0;

    // A modal message box with one OK button; returns when it is closed.
    virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
    // The worker's warning to the user (a tray balloon or a box, as the panel decides).
    virtual void ShowNotice(const std::string& title, const std::string& text) = 0;
};

}  // namespace norvex
