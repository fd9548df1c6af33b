// Serial input while the link to the broker is down.  By default it waits in the port and goes
// out when the link is back, however old.  With a stale limit, the port is read during the
// outage so that each piece is known by its age: a request the application has long given up on
// (a write to a valve, say) must not be executed after the outage.
#include <algorithm>

#include "bridge/engine_run.h"

namespace norvex {

namespace {

bool Watching(const EngineRun& run) {
    return run.config.tuning.dropStaleMs > 0 && run.port && !run.portWatchOff;
}

// Drops the held pieces older than the limit, counted; dropping them before the link is back
// changes nothing, as they only grow older.
void DropOlderThanLimit(EngineRun& run) {
    const uint32_t now = NowMs(run);
    const uint32_t limit = run.config.tuning.dropStaleMs;
    while (!run.held.empty() && TickSince(now, run.held.front().tick) > limit) {
        run.heldBytes -= run.held.front().bytes.size();
        run.counters.AddStale(run.held.front().bytes.size());
        run.held.pop_front();
    }
}

}  // namespace

void WatchPortWhileDown(EngineRun& run, pollfd* two) {
    two[0] = {-1, 0, 0};
    two[1] = {-1, 0, 0};
    if (!Watching(run)) return;
    two[1] = {run.port->WatchFd(), POLLIN, 0};
    short events = run.port->PollEvents() & POLLIN;
    if (events != 0 && run.heldBytes < kHeldInputBytes) two[0] = {run.port->Fd(), events, 0};
}

void ServePortWhileDown(EngineRun& run, const pollfd* two) {
    if (!Watching(run)) return;
    if (two[1].fd >= 0 && two[1].revents != 0) run.port->OnWatchReady();
    if (two[0].fd < 0 || two[0].revents == 0) return;
    DropOlderThanLimit(run);
    uint8_t buf[kSerialTakeBytes];
    size_t room = std::min(sizeof buf, kHeldInputBytes - run.heldBytes);
    int got = (two[0].revents & POLLIN) ? run.port->Read(buf, room) : -1;
    // a hang-up, an error or input that is not there: the relay phase finds out what it is; a
    // port that keeps reporting it must not keep this wait awake
    if (got <= 0) {
        run.portWatchOff = true;
        return;
    }
    run.held.push_back({NowMs(run), std::vector<uint8_t>(buf, buf + got)});
    run.heldBytes += static_cast<size_t>(got);
}

void DropStaleInput(EngineRun& run) {
    run.portWatchOff = false;
    const uint32_t limit = run.config.tuning.dropStaleMs;
    if (limit == 0) return;
    // bytes gathered before the link went down have waited since they were seen
    if (run.gathered > 0 && TickSince(NowMs(run), run.lastInputTick) > limit) {
        run.counters.AddStale(run.gathered);
        run.gathered = 0;
        run.gathering = false;
    }
    DropOlderThanLimit(run);
}

size_t TakeHeldInput(EngineRun& run) {
    size_t moved = 0;
    while (!run.held.empty()) {
        std::vector<uint8_t>& front = run.held.front().bytes;
        size_t n = std::min(front.size(), sizeof run.gather - run.gathered);
        if (n == 0) break;
        std::copy_n(front.begin(), n, run.gather + run.gathered);
        run.gathered += n;
        moved += n;
        run.heldBytes -= n;
        front.erase(front.begin(), front.begin() + static_cast<std::ptrdiff_t>(n));
        if (front.empty()) run.held.pop_front();
    }
    return moved;
}

}  // namespace norvex
