#include "shell/tray_model.h"

namespace norvex {

bool TrayModel::OnMinimised(bool trayAvailable) {
    if (inTray_ || !trayAvailable) return false;
    inTray_ = true;
    return true;
}

bool TrayModel::Restores(TrayClick click) const {
    switch (click) {
        case TrayClick::kDouble:
            return true;
        case TrayClick::kSingle:
            return host_ == TrayHost::kActivationOnly;
        case TrayClick::kOther:
            break;
    }
    return false;
}

bool TrayModel::OnIconActivated(TrayClick click) {
    if (!inTray_ || !Restores(click)) return false;
    inTray_ = false;
    return true;
}

bool TrayModel::OnRestoreChosen() {
    if (!inTray_) return false;
    inTray_ = false;
    return true;
}

bool BalloonGate::Admit(const std::string& title, const std::string& text, uint32_t nowMs) {
    if (shown_ && title == title_ && text == text_ && nowMs - shownAtMs_ < kBalloonShowMs) {
        return false;
    }
    shown_ = true;
    title_ = title;
    text_ = text;
    shownAtMs_ = nowMs;
    return true;
}

}  // namespace norvex
