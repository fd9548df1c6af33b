#pragma once
#include <cstdint>

namespace mqtt {

// Handlers receive their slot's argument first.  A negative result stops the receiving and is
// returned by ReceivePacket unchanged; zero or positive lets it go on.  Texts and payloads point
// into the receive buffer and are valid only during the call.
using OnPingRespFn = int32_t (*)(void* arg);
using OnConnAckFn = int32_t (*)(void* arg, uint8_t ackFlags, uint8_t returnCode);
// dup is 0, or 8 when the DUP bit was set; qos is 0, 1 or 2; packetId is 0 for QoS 0.
using OnPublishFn = int32_t (*)(void* arg, uint16_t packetId, const char* topic,
                                const uint8_t* payload, uint32_t length, int32_t dup, int32_t qos);
using OnPubAckFn = int32_t (*)(void* arg, uint16_t packetId);
using OnPubRecFn = int32_t (*)(void* arg, uint16_t packetId);
using OnPubRelFn = int32_t (*)(void* arg, uint16_t packetId);
using OnPubCompFn = int32_t (*)(void* arg, uint16_t packetId);
using OnSubAckFn = int32_t (*)(void* arg, uint16_t packetId, const uint8_t* codes, uint32_t count);
using OnUnsubAckFn = int32_t (*)(void* arg, uint16_t packetId);

// A handler with its argument.  A null fn means "no handler": the packet is taken as handled.
template <typename Fn>
struct HandlerSlot {
    void* arg;
    Fn fn;
};

struct Handlers {
    HandlerSlot<OnPingRespFn> OnPingResp;
    HandlerSlot<OnConnAckFn> OnConnAck;
    HandlerSlot<OnPublishFn> OnPublish;
    HandlerSlot<OnPubAckFn> OnPubAck;
    HandlerSlot<OnPubRecFn> OnPubRec;
    HandlerSlot<OnPubRelFn> OnPubRel;
    HandlerSlot<OnPubCompFn> OnPubComp;
    HandlerSlot<OnSubAckFn> OnSubAck;
    HandlerSlot<OnUnsubAckFn> OnUnsubAck;
};

}  // namespace mqtt
