#pragma once
#include <cstdint>
#include <string>

namespace norvex {

inline constexpr char kTrayTip[] = "虚拟RS485代理服务";
// How long a balloon stays up; the same balloon is not raised again meanwhile.
inline constexpr uint32_t kBalloonShowMs = 10000;

// Hiding the main window in the tray and bringing it back.  The window is in the tray exactly
// while the one tray icon exists.
class TrayModel {
public:
    // The window was minimised.  True: add the icon and hide the window.  Without a system tray
    // the window just stays minimised, so that it can always be reached from the taskbar.
    bool OnMinimised(bool trayAvailable);
    // The icon was activated.  True (a double click while in the tray): remove the icon and
    // restore the window.
    bool OnIconActivated(bool doubleClick);
    bool InTray() const { return inTray_; }

private:
    bool inTray_ = false;
};

// Drops a balloon identical to the one still showing: the reconnect loop raises the same
// notice about once a second.
class BalloonGate {
public:
    bool Admit(const std::string& title, const std::string& text, uint32_t nowMs);
    // The icon went away: the next balloon shows whatever it says.
    void Reset() { shown_ = false; }

private:
    bool shown_ = false;
    std::string title_, text_;
    uint32_t shownAtMs_ = 0;
};

}  // namespace norvex
