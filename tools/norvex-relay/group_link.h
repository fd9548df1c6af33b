#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "relay_config.h"

struct mosquitto;
struct mosquitto_message;

namespace norvex::relay {

// The relay's MQTT 3.1.1 connection to the group (libmosquitto, driven from the caller's poll
// loop: no thread of its own).  Reconnects for ever, a pause between attempts.
class GroupLink {
public:
    using HostHandler = std::function<void(const uint8_t* payload, size_t len)>;
    using Handler = std::function<void()>;
    GroupLink(const RelayConfig& cfg, HostHandler onHost, Handler onSubscribed);
    ~GroupLink();
    GroupLink(const GroupLink&) = delete;
    GroupLink& operator=(const GroupLink&) = delete;

    // false with why, when libmosquitto refuses the settings (TLS files...).
    bool Setup(std::string& why);
    // For poll(): the socket (-1 while not connected) and its events.
    int Fd() const;
    short Events() const;
    // After poll(): revents of Fd() (0 on a time-out); reconnects when due.
    void Service(short revents, uint32_t nowMs);
    // Milliseconds until Service must run again at the latest.
    int MsLeft(uint32_t nowMs) const;
    bool Subscribed() const { return subscribed_; }
    // QoS 1; false when not subscribed or libmosquitto refused.
    bool Publish(const std::string& topic, const std::string& payload);

    const std::string& DataTopic() const { return dataTopic_; }
    const std::string& StatusTopic() const { return statusTopic_; }
    uint64_t Reconnects() const { return reconnects_; }
    int64_t LastConnectUnixMs() const { return lastConnectUnixMs_; }

private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnSubscribe(mosquitto*, void* self, int, int, const int*);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* msg);
    void Lost(uint32_t nowMs);
    // ms of the reconnect pause still to wait; 0 once it is over
    uint32_t PauseLeft(uint32_t nowMs) const;

    const RelayConfig& cfg_;
    HostHandler onHost_;
    Handler onSubscribed_;
    const std::string hostTopic_;
    const std::string dataTopic_;
    const std::string statusTopic_;
    mosquitto* mosq_ = nullptr;
    bool connecting_ = false;  // a socket exists (connect under way or done)
    bool subscribed_ = false;
    bool everConnected_ = false;
    bool pausing_ = false;   // between a failure and the next attempt
    uint32_t lostAtMs_ = 0;  // the reconnect pause runs from here
    uint64_t reconnects_ = 0;
    int64_t lastConnectUnixMs_ = 0;
};

}  // namespace norvex::relay
