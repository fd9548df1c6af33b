// Bytes from the group to the port: one read from the broker; each PUBLISH decoded where it
// lies in the receive buffer (no copy, no queue) and handed to ordered delivery; what is due
// collected in the pass's batch and written to the port.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "bridge/client_packet.h"
#include "bridge/engine_run.h"
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

}  // namespace

int32_t OnGroupPublish(void* arg, uint16_t, const char* topic, const uint8_t* payload,
                       uint32_t length, int32_t, int32_t) {
    auto& run = *static_cast<EngineRun*>(arg);
    if (std::strcmp(topic, run.ids.dataTopic.c_str()) == 0) {
        HandleData(run, payload, length);
    } else if (std::strcmp(topic, run.ids.statusTopic.c_str()) == 0) {
        HandleStatus(run, payload, length);
    }
    return 0;
}

int32_t ReceiveFromBroker(EngineRun& run) {
    run.deferWrites = true;
    int32_t r = mqtt::ReceivePacket(&run.mqtt);
    run.lastReceiveResult = r;
    run.deferWrites = false;
    // one flush for the whole read, whatever became of it: what was handled has been (or is
    // about to be) acknowledged and must reach the port
    FlushDue(run);
    bool acked = QueueDeferred(run);
    // our acknowledgements, if they left whole, carried the TCP ACK for this read; else it is
    // sent on its own now
    run.socket.AckIfOwed();
    if (!acked && (r == 0 || r == mqtt::kErrNoData)) return mqtt::kErrAckNotSent;
    return r;
}

int FlushDue(EngineRun& run) {
    // a flush writes at most two packets of a sender; repeat until nothing more is due
    uint32_t now = NowMs(run);
    int total = 0;
    for (;;) {
        int n = run.orders.Flush(now, run.portOut);
        run.counters.AddGivenUp(run.orders.TakeGivenUp());
        if (n <= 0) return n < 0 ? n : total;
        total += n;
    }
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
