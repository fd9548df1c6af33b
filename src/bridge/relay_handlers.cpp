#include "bridge/relay_handlers.h"

namespace norvex {

namespace {

int32_t RaiseConnAck(void* flag, uint8_t, uint8_t) {
    *static_cast<int32_t*>(flag) = 1;
    return 0;
}

int32_t RaiseSubAck(void* flag, uint16_t, const uint8_t*, uint32_t) {
    *static_cast<int32_t*>(flag) = 1;
    return 0;
}

int32_t QueuePublish(void* queue, uint16_t packetId, const char* topic, const uint8_t* payload,
                     uint32_t length, int32_t, int32_t) {
    return InboundQueue_Append(*static_cast<InboundQueue*>(queue), packetId, topic, payload,
                               length);
}

int32_t Ignore0(void*) { return 0; }
int32_t IgnoreId(void*, uint16_t) { return 0; }
int32_t IgnoreCommand(void*, uint16_t, const char*, uint32_t, uint32_t, const char*,
                      const uint8_t*, uint32_t, int32_t, int32_t) {
    return 0;
}

}  // namespace

mqtt::Handlers MakeRelayHandlers(int32_t* connAckSeen, int32_t* subAckSeen, InboundQueue* inbound) {
    mqtt::Handlers h{};
    h.OnPingResp = {nullptr, Ignore0};
    h.OnConnAck = {connAckSeen, RaiseConnAck};
    h.OnPublish = {inbound, QueuePublish};
    h.OnPubAck = {nullptr, IgnoreId};
    h.OnPubRec = {nullptr, IgnoreId};
    h.OnPubRel = {nullptr, IgnoreId};
    h.OnPubComp = {nullptr, IgnoreId};
    h.OnSubAck = {subAckSeen, RaiseSubAck};
    h.OnUnsubAck = {nullptr, IgnoreId};
    h.OnCommand = {nullptr, IgnoreCommand};
    return h;
}

}  // namespace norvex
