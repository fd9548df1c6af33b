#pragma once
// An MQTT session over a real TCP connection to a broker on loopback, for integration tests.
// Handler calls and written packets are logged by the embedded Wire.
#include <chrono>
#include <functional>
#include <string>

#include "wire_fixture.h"

namespace norvex::test {

class BrokerLink {
public:
    // maxRead bounds each read, to split the incoming stream into small pieces.
    BrokerLink(int port, int32_t maxRead);
    ~BrokerLink();
    BrokerLink(const BrokerLink&) = delete;
    BrokerLink& operator=(const BrokerLink&) = delete;

    bool Connected() const { return fd_ >= 0; }
    // Sends what the chain holds and releases it; true when the writer took every byte.
    bool Send(mqtt::PacketChain* chain);
    // Runs mqtt::ReceivePacket until pred holds; false on time-out or on a result other than 0 /
    // -2.
    bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit);
    bool Saw(const std::string& call) const;
    // CONNECT, then SUBSCRIBE to the two filters, each waited for.
    bool Handshake(const std::string& clientId, const char* const filters[2]);

    Wire wire;
    mqtt::Session s{};
    int32_t lastResult = 0;

private:
    static int32_t Read(void* arg, uint8_t* dst, int32_t capacity);
    static int32_t Write(void* arg, const mqtt::IoVec* pairs, int32_t count);

    int fd_ = -1;
    int32_t maxRead_;
};

}  // namespace norvex::test
