#include "bridge/engine_counters.h"

namespace norvex {

CounterSnapshot EngineCounters::Snapshot() const {
    constexpr auto r = std::memory_order_relaxed;
    CounterSnapshot s;
    s.serialBytesToGroup = serialBytesToGroup_.load(r);
    s.serialBytesFromGroup = serialBytesFromGroup_.load(r);
    s.packetsToGroup = packetsToGroup_.load(r);
    s.packetsFromGroup = packetsFromGroup_.load(r);
    s.pubAcks = pubAcks_.load(r);
    s.duplicatesDropped = duplicatesDropped_.load(r);
    s.lateDropped = lateDropped_.load(r);
    s.bytesNoListener = bytesNoListener_.load(r);
    s.missingGivenUp = missingGivenUp_.load(r);
    s.staleBytesDropped = staleBytesDropped_.load(r);
    s.reconnects = reconnects_.load(r);
    s.subscriptions = subscriptions_.load(r);
    s.lastConnectUnixMs = lastConnectUnixMs_.load(r);
    s.connected = connected_.load(r);
    return s;
}

void EngineCounters::NoteSubscribed(bool reconnect, int64_t unixMs) {
    if (reconnect) Add(reconnects_, 1);
    Add(subscriptions_, 1);
    lastConnectUnixMs_.store(unixMs, std::memory_order_relaxed);
    connected_.store(true, std::memory_order_relaxed);
}

}  // namespace norvex
