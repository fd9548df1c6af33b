#pragma once
#include <cstdint>

// Handlers receive their slot's argument first.  A negative result stops the receiving and is
// returned by Mqtt_RecvPkt unchanged; zero or positive lets it go on.  Texts and payloads point
// into the receive buffer and are valid only during the call.
using MqttOnPingRespFn = int32_t (*)(void* arg);
using MqttOnConnAckFn = int32_t (*)(void* arg, uint8_t ackFlags, uint8_t returnCode);
// dup is 0, or 8 when the DUP bit was set; qos is 0, 1 or 2; packetId is 0 for QoS 0.
using MqttOnPublishFn = int32_t (*)(void* arg, uint16_t packetId, const char* topic,
                                    const uint8_t* payload, uint32_t length, int32_t dup,
                                    int32_t qos);
using MqttOnPubAckFn = int32_t (*)(void* arg, uint16_t packetId);
using MqttOnPubRecFn = int32_t (*)(void* arg, uint16_t packetId);
using MqttOnPubRelFn = int32_t (*)(void* arg, uint16_t packetId);
using MqttOnPubCompFn = int32_t (*)(void* arg, uint16_t packetId);
using MqttOnSubAckFn = int32_t (*)(void* arg, uint16_t packetId, const uint8_t* codes,
                                   uint32_t count);
using MqttOnUnsubAckFn = int32_t (*)(void* arg, uint16_t packetId);
// A platform command ("$creq/<cmduuid>"); word1 and word2 are always 0, text always empty.
using MqttOnCommandFn = int32_t (*)(void* arg, uint16_t packetId, const char* cmduuid,
                                    uint32_t word1, uint32_t word2, const char* text,
                                    const uint8_t* payload, uint32_t length, int32_t dup,
                                    int32_t qos);

// A handler with its argument.  A null fn means "no handler": the packet is taken as handled.
template <typename Fn>
struct MqttHandlerSlot {
    void* arg;
    Fn fn;
};

struct MqttHandlers {
    MqttHandlerSlot<MqttOnPingRespFn> OnPingResp;
    MqttHandlerSlot<MqttOnConnAckFn> OnConnAck;
    MqttHandlerSlot<MqttOnPublishFn> OnPublish;
    MqttHandlerSlot<MqttOnPubAckFn> OnPubAck;
    MqttHandlerSlot<MqttOnPubRecFn> OnPubRec;
    MqttHandlerSlot<MqttOnPubRelFn> OnPubRel;
    MqttHandlerSlot<MqttOnPubCompFn> OnPubComp;
    MqttHandlerSlot<MqttOnSubAckFn> OnSubAck;
    MqttHandlerSlot<MqttOnUnsubAckFn> OnUnsubAck;
    MqttHandlerSlot<MqttOnCommandFn> OnCommand;
};
