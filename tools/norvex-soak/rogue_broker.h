#pragma once
#include <atomic>
#include <string>
#include <thread>

namespace norvex::soak {

// Stands in for the broker on its port: answers every CONNECT and SUBSCRIBE, and once the
// client named victim has subscribed, sends it a PUBLISH with QoS 3, which no compliant broker
// sends.  A real broker cannot be made to forward a malformed packet, so this is how one
// reaches the service.
class RogueBroker {
public:
    RogueBroker(int port, std::string victim) : port_(port), victim_(std::move(victim)) {}
    ~RogueBroker() { Stop(); }
    RogueBroker(const RogueBroker&) = delete;
    RogueBroker& operator=(const RogueBroker&) = delete;

    bool Start();
    void Stop();
    bool MalformedSent() const { return sent_.load(); }

private:
    void Serve(int listener);

    int port_;
    std::string victim_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> sent_{false};
    std::thread thread_;
};

}  // namespace norvex::soak
