#include "bridge/relay_loop.h"

#include "bridge/relay_phases.h"
#include "bridge/relay_wait.h"

namespace norvex {

void RunRelayLoop(RelayRun& run) {
    run.lastInputTick = NowMs(run);
    for (;;) {
        if (ConnectPhase(run) == Phase::Stop) return;
        Phase p = SubscribePhase(run);
        if (p == Phase::Stop) return;
        if (p == Phase::Reconnect) continue;
        if (RelayPhase(run) == Phase::Stop) return;
    }
}

}  // namespace norvex
