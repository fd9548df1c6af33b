#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "sim_options.h"

struct mosquitto;
struct mosquitto_message;

namespace relaysim {

// One simulated relay: its own broker connection (libmosquitto's network thread), subscribed to
// the group's host topic, answering on the data topic and reporting on the status topic.
class RelayClient {
public:
    RelayClient(const SimOptions& opt, int devid, const std::atomic<bool>& silent);
    ~RelayClient();
    RelayClient(const RelayClient&) = delete;
    RelayClient& operator=(const RelayClient&) = delete;

    // Starts connecting (and reconnecting, should the broker go away); false when libmosquitto
    // refuses at once.
    bool Start();
    void Stop();
    void SendPing();
    // Sends bytes as this relay's data, cut and numbered as an echo is.
    void SendData(const uint8_t* data, size_t len) { Answer(data, len); }
    // baseinfo and pingack on behalf of device numbers 1..count.
    void SendStatusFlood(int count);

    int Devid() const { return devid_; }
    uint64_t HostMessages() const { return hostMessages_.load(std::memory_order_relaxed); }
    uint64_t PacketsSent() const { return packetsSent_.load(std::memory_order_relaxed); }

private:
    static void OnConnect(mosquitto* m, void* self, int rc);
    static void OnSubscribe(mosquitto* m, void* self, int mid, int count, const int* granted);
    static void OnMessage(mosquitto* m, void* self, const mosquitto_message* msg);

    void Answer(const uint8_t* data, size_t len);
    void Publish(const std::string& topic, const std::string& payload);
    void PublishData(const std::string& payload);
    std::string BaseInfo(int devid) const;

    const SimOptions& opt_;
    const int devid_;
    const std::atomic<bool>& silent_;
    const std::string hostTopic_;
    const std::string dataTopic_;
    const std::string statusTopic_;
    mosquitto* mosq_ = nullptr;
    bool started_ = false;
    int hostOut_ = -1;        // where received host data goes, or -1
    std::mutex answerMutex_;  // echo (network thread) and --data-in (main's reader) both send
    uint16_t nextPacket_;
    uint64_t dataPackets_ = 0;        // numbered packets sent, under answerMutex_
    std::deque<std::string> recent_;  // the last packets sent, for --late-every
    std::atomic<uint64_t> hostMessages_{0};
    std::atomic<uint64_t> packetsSent_{0};
};

}  // namespace relaysim
