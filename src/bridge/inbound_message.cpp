#include "bridge/inbound_message.h"

#include "bridge/client_packet.h"
#include "bridge/relay_status.h"

namespace norvex {

namespace {

InboundResult HandleData(const ReceivedMessage& msg, const InboundTargets& t, uint32_t now) {
    ClientPacket pkt;
    if (DecodeClientPacket(msg.payload.data(), msg.payload.size(), &pkt) < 0) {
        return InboundResult::Ignored;
    }
    t.orders->Insert(pkt.senderKey, pkt.packetNumber, pkt.data, pkt.count, now);
    return InboundResult::Data;
}

InboundResult HandleStatus(const ReceivedMessage& msg, const InboundTargets& t, uint32_t now) {
    StatusMessage status;
    switch (ParseStatusMessage(msg.payload.data(), msg.payload.size(), &status)) {
        case StatusKind::Ping:
            NotePing(*t.devices, status.pingDevid, now);
            return InboundResult::Ping;
        case StatusKind::BaseInfo: {
            static const DeviceReporter kNone;
            NoteBaseInfo(*t.devices, status.info, now, t.panel, t.reporter ? *t.reporter : kNone);
            return InboundResult::BaseInfo;
        }
        case StatusKind::Ignored:
            break;
    }
    return InboundResult::Ignored;
}

}  // namespace

InboundResult HandleInboundMessage(const ReceivedMessage& msg, const InboundTargets& t, uint32_t now) {
    if (msg.topic == t.ids->dataTopic) return HandleData(msg, t, now);
    if (msg.topic == t.ids->statusTopic) return HandleStatus(msg, t, now);
    return InboundResult::Ignored;
}

}  // namespace norvex
