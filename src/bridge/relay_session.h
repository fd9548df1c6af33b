#pragma once
#include <atomic>
#include <cstdint>

#include "bridge/inbound_queue.h"
#include "bridge/broker_socket.h"
#include "mqtt/mqtt.h"

namespace norvex {

// Everything that lives as long as the process on the broker side: the one MQTT session with its
// receive buffer, the chain every packer writes into, the worker's socket, the flags the CONNACK
// and SUBACK handlers raise, the queue the PUBLISH handler fills, and the packet-id counter,
// which continues across reconnects and runs.
//
// The owner (the panel or the headless service) creates one, calls SetupRelaySession() once and
// hands it to the worker through ServiceContext::session.  Only the worker thread touches it
// while a run is active; the atomic counters may be read from any thread.
struct RelaySession {
    RelaySession() = default;
    ~RelaySession();
    RelaySession(const RelaySession&) = delete;
    RelaySession& operator=(const RelaySession&) = delete;

    mqtt::Session mqtt{};
    mqtt::PacketChain sharedOutChain{};
    BrokerSocket workerSocket;
    int32_t connAckSeen = 0;
    int32_t subAckSeen = 0;
    InboundQueue inboundQueue;
    std::atomic<uint16_t> publishPacketId{0};  // last id used; 0 only before the first PUBLISH
    std::atomic<uint16_t> lastPublishId{0};
    // Subscriptions completed since the process started: one per (re)connection that reached
    // the relay phase.  For status displays and tests.
    std::atomic<uint32_t> subscribeCount{0};
};

// Installs the socket reader and writer and the relay handlers.  False when the receive buffer
// cannot be allocated.  Call once, before the first run.
bool SetupRelaySession(RelaySession& s);

}  // namespace norvex
