// The engine's MQTT session: the codec reads straight from the broker socket and writes into
// its outgoing buffer; the handlers note the acknowledgements the phases wait for.
#include <vector>

#include "bridge/engine_run.h"
#include "bridge/iovec_array.h"

namespace norvex {

namespace {

// A refused login still counts as an answer: the broker decides what follows the SUBSCRIBE.
int32_t OnConnAck(void* arg, uint8_t, uint8_t returnCode) {
    auto& run = *static_cast<EngineRun*>(arg);
    run.connAckSeen = true;
    run.connAckCode = returnCode;
    return 0;
}

int32_t OnSubAck(void* arg, uint16_t, const uint8_t*, uint32_t) {
    static_cast<EngineRun*>(arg)->subAckSeen = true;
    return 0;
}

int32_t OnPubAck(void* arg, uint16_t) {
    static_cast<EngineRun*>(arg)->counters.AddPubAck();
    return 0;
}

// Everything leaves through the socket's outgoing buffer, which never waits for the broker.
// While a read is handled, acknowledgements are held and leave together after it.
int32_t WriteSocket(void* arg, const mqtt::IoVec* pairs, int32_t count) {
    auto& run = *static_cast<EngineRun*>(arg);
    if (count < 0 || (count > 0 && pairs == nullptr)) return -1;
    size_t total = 0;
    for (int32_t i = 0; i < count; ++i) total += pairs[i].length;
    if (!run.deferWrites) {
        // the whole chain in one send: one segment per packet run, not one per chunk
        IoVecArray vec(pairs, count);
        return run.socket.Queue(vec.Data(), count) < 0 ? -1 : static_cast<int32_t>(total);
    }
    if (run.deferred.size() + total > kDeferredAckBytes && !run.deferred.empty()) {
        bool sent = QueueDeferred(run);
        if (!sent) return -1;
    }
    for (int32_t i = 0; i < count; ++i) {
        run.deferred.insert(run.deferred.end(), pairs[i].data, pairs[i].data + pairs[i].length);
    }
    return static_cast<int32_t>(total);
}

}  // namespace

int32_t SetupEngineSession(EngineRun& run) {
    // empty slots: the codec ignores those packets (and still acknowledges what needs it)
    mqtt::Handlers h{};
    h.OnConnAck = {&run, OnConnAck};
    h.OnPublish = {&run, OnGroupPublish};
    h.OnPubAck = {&run, OnPubAck};
    h.OnSubAck = {&run, OnSubAck};
    run.deferred.reserve(kDeferredAckBytes);
    return mqtt::SetupSession(&run.mqtt, SocketReader, &run.socket, WriteSocket, &run, h);
}

bool QueueDeferred(EngineRun& run) {
    iovec v{run.deferred.data(), run.deferred.size()};
    bool ok = run.deferred.empty() || run.socket.Queue(&v, 1) >= 0;
    run.deferred.clear();
    return ok;
}

}  // namespace norvex
