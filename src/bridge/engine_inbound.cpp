// Bytes from the group to the port: the codec's handlers take each PUBLISH where it lies in the
// receive buffer (no copy, no queue), decode it and hand it to ordered delivery.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "bridge/client_packet.h"
#include "bridge/engine_run.h"
#include "bridge/iovec_array.h"
#include "bridge/relay_status.h"

namespace norvex {

namespace {

int64_t UnixUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

int32_t DevidOfSender(const EngineRun& run, uint32_t senderKey) {
    for (const RelayDevice& d : run.relays) {
        if (static_cast<uint32_t>(d.devid) == senderKey) return d.devid;
    }
    return -1;
}

void TracePacket(EngineRun& run, const ClientPacket& pkt) {
    run.trace(TraceRecord{.direction = TraceDirection::kFromGroup,
                          .unixUs = UnixUs(),
                          .senderKey = pkt.senderKey,
                          .devid = DevidOfSender(run, pkt.senderKey),
                          .sequence = pkt.packetNumber,
                          .data = pkt.data,
                          .length = static_cast<size_t>(pkt.count)});
}

// A read's messages are all inserted before the one flush after the read, so that packets of a
// sender that arrive out of order in one read are written in order.  Only when a sender's four
// slots are all taken is it flushed early, so that a burst of more than four packets in order is
// written whole rather than dropped.
void HandleData(EngineRun& run, const uint8_t* payload, uint32_t length) {
    ClientPacket pkt;
    if (DecodeClientPacket(payload, length, &pkt) < 0) return;
    run.counters.AddFromGroupPacket();
    if (run.trace) TracePacket(run, pkt);
    uint32_t now = NowMs(run);
    switch (run.orders.Insert(pkt.senderKey, pkt.packetNumber, pkt.data, pkt.count, now)) {
        case InsertResult::kDuplicate:
            run.counters.AddDuplicate();
            break;
        case InsertResult::kLate:
        case InsertResult::kNoSlot:
            run.counters.AddLate();
            break;
        case InsertResult::kStored:
            break;
    }
    // the batch only grows here; the port is written after the read
    if (run.orders.SlotsFull(pkt.senderKey)) FlushDue(run);
}

void HandleStatus(EngineRun& run, const uint8_t* payload, uint32_t length) {
    StatusMessage status;
    uint32_t now = NowMs(run);
    switch (ParseStatusMessage(payload, length, &status)) {
        case StatusKind::kPing: {
            int row = NotePing(run.relays, status.pingDevid, now);
            if (row >= 0) {
                run.events.OnRelayHeard(
                    {.row = static_cast<size_t>(row), .devid = status.pingDevid});
            }
            return;
        }
        case StatusKind::kBaseInfo: {
            BaseInfoResult r = NoteBaseInfo(run.relays, status.info, now);
            if (r.row < 0) return;
            const RelayDevice& d = run.relays[static_cast<size_t>(r.row)];
            run.events.OnRelayHeard({.row = static_cast<size_t>(r.row),
                                     .devid = d.devid,
                                     .baseInfo = true,
                                     .iccid = d.iccid,
                                     .imei = d.imei});
            if (r.changed) run.events.OnRelayInfoChanged({d.devid, d.iccid, d.imei});
            return;
        }
        case StatusKind::kIgnored:
            return;
    }
}

int32_t OnPublish(void* arg, uint16_t, const char* topic, const uint8_t* payload, uint32_t length,
                  int32_t, int32_t) {
    auto& run = *static_cast<EngineRun*>(arg);
    if (std::strcmp(topic, run.ids.dataTopic.c_str()) == 0) {
        HandleData(run, payload, length);
    } else if (std::strcmp(topic, run.ids.statusTopic.c_str()) == 0) {
        HandleStatus(run, payload, length);
    }
    return 0;
}

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

int32_t ReadSocket(void* arg, uint8_t* dst, int32_t capacity) {
    return SocketReader(&static_cast<EngineRun*>(arg)->socket, dst, capacity);
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
    h.OnPublish = {&run, OnPublish};
    h.OnPubAck = {&run, OnPubAck};
    h.OnSubAck = {&run, OnSubAck};
    run.deferred.reserve(kDeferredAckBytes);
    return mqtt::SetupSession(&run.mqtt, ReadSocket, &run, WriteSocket, &run, h);
}

bool QueueDeferred(EngineRun& run) {
    iovec v{run.deferred.data(), run.deferred.size()};
    bool ok = run.deferred.empty() || run.socket.Queue(&v, 1) >= 0;
    run.deferred.clear();
    return ok;
}

bool CommitPortOut(EngineRun& run) {
    if (run.portOut.Empty()) return true;
    const std::vector<uint8_t>& bytes = run.portOut.Bytes();
    bool ok = run.port->WriteNoWait(bytes.data(), bytes.size()) == static_cast<int>(bytes.size());
    if (ok) {
        uint64_t dropped = run.port->DroppedBytes();
        uint64_t lost = dropped - run.portDropped;
        run.portDropped = dropped;
        run.counters.AddNoListener(lost);
        run.counters.AddFromGroupBytes(bytes.size() - std::min<uint64_t>(lost, bytes.size()));
    }
    run.portOut.Clear();
    return ok;
}

}  // namespace norvex
