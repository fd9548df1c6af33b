#include "shell/close_rule.h"

namespace norvex {

CloseOutcome DecideClose(bool runActive, const std::function<ConfigSaveResult()>& save) {
    if (runActive) return {false, kTextCloseWhileRunning};
    switch (save()) {
        case ConfigSaveResult::kOk:
            return {true, {}};
        case ConfigSaveResult::kCannotCreate:
            return {true, std::string(kConfigSaveFailedText)};
        case ConfigSaveResult::kWriteFailed:
            break;
    }
    return {false, kTextConfigWriteFailed};
}

}  // namespace norvex
