// Bytes from the port to the group: serial input gathered into host PUBLISHes and handed to
// the socket's outgoing buffer.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "bridge/engine_run.h"
#include "common/deadline.h"

namespace norvex {

namespace {

int64_t UnixUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// Appends the next host PUBLISH, carrying n serial bytes, to the out chain.  False when it
// cannot be built: the run stops then.
bool AppendPublish(EngineRun& run, const uint8_t* data, size_t n) {
    uint16_t id = NextNonZero(run.publishPacketId.load(std::memory_order_relaxed));
    run.publishPacketId.store(id, std::memory_order_relaxed);
    uint16_t seq = run.hostSequence;
    run.hostSequence = NextNonZero(run.hostSequence);
    uint8_t payload[kHostHeaderSize + kMaxHostData];
    int len = EncodeHostPayload(seq, data, n, payload, sizeof payload);
    if (len < 0 || mqtt::BuildPublish(&run.out, id, run.ids.hostTopic.c_str(), payload,
                                      static_cast<uint32_t>(len)) != 0) {
        return false;
    }
    run.counters.AddToGroup(n);
    if (run.trace) {
        run.trace(TraceRecord{.direction = TraceDirection::kToGroup,
                              .unixUs = UnixUs(),
                              .sequence = seq,
                              .data = data,
                              .length = n});
    }
    return true;
}

// Takes the first n gathered bytes off the buffer into a PUBLISH on the out chain.
bool AppendFront(EngineRun& run, size_t n) {
    bool ok = AppendPublish(run, run.gather, n);
    run.gathered -= n;
    std::memmove(run.gather, run.gather + n, run.gathered);
    return ok;
}

// Sends what the chain holds, one packet or a run of them, in one write; the next gather window
// is measured from now.
SerialStep SendPublished(EngineRun& run, bool built) {
    run.lastInputTick = NowMs(run);
    // nothing left: the window of the next input opens when that input is read
    if (run.gathered == 0) run.gathering = false;
    if (!built) {
        mqtt::ReleaseChain(&run.out);
        run.stopReason = StopReason::kPublishNotBuilt;
        return SerialStep::kStop;
    }
    if (!SendOut(run)) {
        EmitFault(run, NetworkFault::kSendFailed);
        run.socket.Close();
        return SerialStep::kReconnect;
    }
    return SerialStep::kPublished;
}

void NoteInput(EngineRun& run, size_t got) {
    if (got == 0) return;
    if (!run.gathering || run.config.tuning.gatherIdleMs > 0) run.lastInputTick = NowMs(run);
    run.gathering = true;
}

// Moves what was held through an outage, then what the port has, into the gather buffer, as far
// as it has room.  -1: the port failed.
int TakeInput(EngineRun& run, int waiting) {
    size_t moved = TakeHeldInput(run);
    NoteInput(run, moved);
    size_t room = sizeof run.gather - run.gathered;
    if (waiting <= 0 || room == 0 || !run.held.empty()) return static_cast<int>(moved);
    int got =
        run.port->Read(run.gather + run.gathered, std::min(room, static_cast<size_t>(waiting)));
    if (got < 0) return -1;
    NoteInput(run, static_cast<size_t>(got));
    run.gathered += static_cast<size_t>(got);
    return got + static_cast<int>(moved);
}

}  // namespace

bool BrokerBacklogged(const EngineRun& run) {
    return run.socket.PendingOut() >= kOutgoingPause;
}

// By default the window runs from when the first gathered byte was seen; with an idle gather
// from when the last came.
uint32_t GatherWindowMs(const EngineRun& run) {
    return run.config.tuning.gatherIdleMs > 0 ? run.config.tuning.gatherIdleMs : kGatherMs;
}

bool SendOut(EngineRun& run) {
    // the time of asking is taken before the bytes leave: an answer cannot come before it
    uint32_t now = NowMs(run);
    int32_t r = mqtt::SendChain(&run.mqtt, &run.out);
    mqtt::ReleaseChain(&run.out);
    if (r < 0) return false;
    run.lastSendTick = now;
    if (!run.answerOwed) {
        run.answerOwed = true;
        run.askTick = now;
        run.receivedAtAsk = run.socket.ReceivedTotal();
    }
    return true;
}

// 64 bytes go out at once; fewer wait kGatherMs from the moment input was first seen after an
// empty queue (or from the last publish), in case more follow; with an idle gather they wait
// until the port has been quiet for that long.  Only bytes really read are ever published.
SerialStep ServeSerial(EngineRun& run, bool portReady, bool alert) {
    if (BrokerBacklogged(run)) return SerialStep::kIdle;
    // nothing new on the port and nothing gathered: no need to ask it
    if (!portReady && !alert && run.gathered == 0 && run.held.empty()) {
        run.gathering = false;  // the next byte opens a new window when it is read
        return SerialStep::kIdle;
    }
    int n = run.port->InputCount();
    if (n < 0 || TakeInput(run, n) < 0) return SerialStep::kPortFailed;
    if (run.gathered >= kMaxHostData) {
        bool built = true;
        while (built && run.gathered >= kMaxHostData) built = AppendFront(run, kMaxHostData);
        return SendPublished(run, built);
    }
    if (run.gathered == 0) {
        run.gathering = false;
        run.lastInputTick = NowMs(run);
        // a hang-up with nothing waiting: a read tells whether the port is gone
        if (alert && n == 0 && TakeInput(run, static_cast<int>(kMaxHostData)) < 0) {
            return SerialStep::kPortFailed;
        }
        return SerialStep::kIdle;
    }
    // the port hung up behind the bytes it gave: send them before it is found dead
    if (alert || TickSince(NowMs(run), run.lastInputTick) >= GatherWindowMs(run)) {
        return SendPublished(run, AppendFront(run, run.gathered));
    }
    return SerialStep::kIdle;
}

}  // namespace norvex
