#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

struct mosquitto;
struct mosquitto_message;

namespace norvex::test {

// A plain libmosquitto client (its own network thread): an MQTT implementation independent of
// ours, on the other side of the broker.  The handler runs on the network thread with the
// arrival time.
class MosquittoClient {
public:
    using Clock = std::chrono::steady_clock;
    using Handler = std::function<void(const std::string& topic, const uint8_t* data, size_t len,
                                       Clock::time_point at)>;
    explicit MosquittoClient(const std::string& id);
    ~MosquittoClient();
    MosquittoClient(const MosquittoClient&) = delete;
    MosquittoClient& operator=(const MosquittoClient&) = delete;

    // Connects and (when topic is not empty) subscribes; true once the SUBACK (or CONNACK) came.
    bool Connect(int port, const std::string& topic, Handler handler);
    bool Publish(const std::string& topic, const void* data, size_t len, int qos);

private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnSubscribe(mosquitto*, void* self, int, int, const int*);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* msg);

    mosquitto* mosq_ = nullptr;
    std::string topic_;
    Handler handler_;
    std::atomic<bool> ready_{false};
};

}  // namespace norvex::test
