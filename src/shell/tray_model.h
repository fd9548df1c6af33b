#pragma once
#include <cstdint>
#include <string>

namespace norvex {

inline constexpr char kTrayTip[] = "虚拟RS485代理服务";
// How long a balloon stays up; the same balloon is not raised again meanwhile.
inline constexpr uint32_t kBalloonShowMs = 10000;

// The two kinds of tray a desktop offers.  An XEmbed tray hands over every mouse event, so a
// single click and a double click can be told apart.  A StatusNotifierItem host reports only
// "activate" (its own click, whatever that is on that desktop) and a context request: waiting
// there for a double click would trap the hidden window.
enum class TrayHost { kXEmbed, kActivationOnly };

// How the tray icon was touched.
enum class TrayClick { kSingle, kDouble, kOther };

// Texts of the tray icon's context menu; the about entry is the main window's own.
inline constexpr char kTrayRestoreText[] = "显示主窗口(&S)";

// Hiding the main window in the tray and bringing it back.  The window is in the tray exactly
// while the one tray icon exists.
class TrayModel {
public:
    explicit TrayModel(TrayHost host = TrayHost::kXEmbed) : host_(host) {}

    // The window was minimised.  True: add the icon and hide the window.  Without a system tray
    // the window just stays minimised, so that it can always be reached from the taskbar.
    bool OnMinimised(bool trayAvailable);
    // The icon was clicked.  True (while in the tray: a double click, or on an activation-only
    // host a single activation): remove the icon and restore the window.
    bool OnIconActivated(TrayClick click);
    // The context menu's restore entry; true while in the tray.
    bool OnRestoreChosen();
    bool InTray() const { return inTray_; }
    TrayHost Host() const { return host_; }

private:
    bool Restores(TrayClick click) const;

    TrayHost host_;
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
