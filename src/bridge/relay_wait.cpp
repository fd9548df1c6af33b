#include "bridge/relay_wait.h"

#include <poll.h>

#include <algorithm>

#include "bridge/relay_session.h"
#include "bridge/service_context.h"

namespace norvex {

bool StillRunning(const RelayRun& run) {
    return run.ctx.running.load(std::memory_order_acquire) != 0;
}

uint32_t NowMs(const RelayRun& run) { return run.ctx.clock->NowMs(); }

bool PauseUnlessStopped(RelayRun& run, uint32_t ms) {
    uint32_t start = NowMs(run);
    for (;;) {
        if (!StillRunning(run)) return false;
        uint32_t spent = TickSince(NowMs(run), start);
        if (spent >= ms) return true;
        ::poll(nullptr, 0, static_cast<int>(std::min<uint32_t>(ms - spent, kIdleWakeMs)));
    }
}

AckWait WaitForAck(RelayRun& run, const int32_t* flag) {
    uint32_t start = NowMs(run);
    while (*flag == 0) {
        if (!StillRunning(run)) return AckWait::Stopped;
        uint32_t spent = TickSince(NowMs(run), start);
        if (spent > kAnswerLimitMs) return AckWait::TimedOut;
        int slice = static_cast<int>(std::min<uint32_t>(kAnswerLimitMs + 1 - spent, kIdleWakeMs));
        pollfd pfd{run.s.workerSocket.Fd(), POLLIN, 0};
        if (::poll(&pfd, 1, slice) <= 0) continue;
        int32_t r = mqtt::ReceivePacket(&run.s.mqtt);
        if (r != 0 && r != mqtt::kErrNoData) return AckWait::Failed;
    }
    return AckWait::Seen;
}

bool SendSharedChain(RelayRun& run) {
    int32_t r = mqtt::SendChain(&run.s.mqtt, &run.s.sharedOutChain);
    mqtt::ReleaseChain(&run.s.sharedOutChain);
    if (r < 0) return false;
    run.lastSendTick = NowMs(run);
    return true;
}

}  // namespace norvex
