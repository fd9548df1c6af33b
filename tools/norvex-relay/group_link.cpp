#include "group_link.h"

#include <mosquitto.h>
#include <poll.h>

#include <chrono>
#include <cstdio>

#include "common/deadline.h"

namespace norvex::relay {

namespace {

// the broker drops a client silent for 1.5 x this; pings keep an idle line alive
constexpr int kKeepAliveS = 60;

int64_t UnixMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

GroupLink::GroupLink(const RelayConfig& cfg, HostHandler onHost, Handler onSubscribed)
    : cfg_(cfg),
      onHost_(std::move(onHost)),
      onSubscribed_(std::move(onSubscribed)),
      hostTopic_("/group/" + cfg.group + "/host"),
      dataTopic_("/group/" + cfg.group + "/client"),
      statusTopic_("/group/" + cfg.group + "/client/status") {
    mosquitto_lib_init();
}

GroupLink::~GroupLink() {
    if (mosq_ != nullptr) {
        mosquitto_disconnect(mosq_);
        mosquitto_destroy(mosq_);
    }
    mosquitto_lib_cleanup();
}

bool GroupLink::Setup(std::string& why) {
    mosq_ = mosquitto_new(cfg_.clientId.c_str(), true, this);
    if (mosq_ == nullptr) {
        why = "cannot make an MQTT client";
        return false;
    }
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(mosq_, &GroupLink::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &GroupLink::OnDisconnect);
    mosquitto_subscribe_callback_set(mosq_, &GroupLink::OnSubscribe);
    mosquitto_message_callback_set(mosq_, &GroupLink::OnMessage);
    if (!cfg_.userName.empty() &&
        mosquitto_username_pw_set(mosq_, cfg_.userName.c_str(),
                                  cfg_.password.empty() ? nullptr : cfg_.password.c_str()) !=
            MOSQ_ERR_SUCCESS) {
        why = "the MQTT user name or password is not accepted";
        return false;
    }
    if (cfg_.tls) {
        const char* ca = cfg_.tlsCaFile.empty() ? nullptr : cfg_.tlsCaFile.c_str();
        const char* cert = cfg_.tlsCertFile.empty() ? nullptr : cfg_.tlsCertFile.c_str();
        const char* key = cfg_.tlsKeyFile.empty() ? cert : cfg_.tlsKeyFile.c_str();
        if (ca == nullptr) mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        if (mosquitto_tls_set(mosq_, ca, nullptr, cert, key, nullptr) != MOSQ_ERR_SUCCESS) {
            why = "the TLS files are not usable";
            return false;
        }
    }
    return true;
}

int GroupLink::Fd() const {
    return connecting_ ? mosquitto_socket(mosq_) : -1;
}

short GroupLink::Events() const {
    return mosquitto_want_write(mosq_) ? POLLIN | POLLOUT : POLLIN;
}

void GroupLink::Lost(uint32_t nowMs) {
    connecting_ = false;
    subscribed_ = false;
    pausing_ = true;
    lostAtMs_ = nowMs;
}

void GroupLink::Service(short revents, uint32_t nowMs) {
    if (!connecting_) {
        if (pausing_ && PauseLeft(nowMs) > 0) return;
        pausing_ = false;
        int rc = everConnected_ ? mosquitto_reconnect_async(mosq_)
                                : mosquitto_connect_async(mosq_, cfg_.brokerHost.c_str(),
                                                          cfg_.brokerPort, kKeepAliveS);
        everConnected_ = true;  // from now on the settings are kept: reconnect
        if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq_) < 0) {
            Lost(nowMs);
            return;
        }
        connecting_ = true;
        revents = POLLOUT;
    }
    int rc = MOSQ_ERR_SUCCESS;
    if (revents & (POLLIN | POLLHUP | POLLERR)) rc = mosquitto_loop_read(mosq_, 1);
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_want_write(mosq_)) rc = mosquitto_loop_write(mosq_, 1);
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_misc(mosq_);
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq_) < 0) Lost(nowMs);
}

int GroupLink::MsLeft(uint32_t nowMs) const {
    if (connecting_) return 1000;  // keep-alive checks in loop_misc
    return pausing_ ? static_cast<int>(PauseLeft(nowMs)) : 0;
}

uint32_t GroupLink::PauseLeft(uint32_t nowMs) const {
    return TickMsLeft(nowMs, lostAtMs_, static_cast<uint32_t>(cfg_.reconnectPauseMs));
}

bool GroupLink::Publish(const std::string& topic, const std::string& payload) {
    if (!subscribed_) return false;
    return mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), 1, false) == MOSQ_ERR_SUCCESS;
}

void GroupLink::OnConnect(mosquitto* m, void* self, int rc) {
    auto* g = static_cast<GroupLink*>(self);
    if (rc != 0) {
        std::fprintf(stderr, "norvex-relay: broker refused the login: %s\n",
                     mosquitto_connack_string(rc));
        return;
    }
    ++g->reconnects_;
    g->lastConnectUnixMs_ = UnixMs();
    mosquitto_subscribe(m, nullptr, g->hostTopic_.c_str(), 1);
}

void GroupLink::OnDisconnect(mosquitto*, void* self, int) {
    static_cast<GroupLink*>(self)->subscribed_ = false;
}

void GroupLink::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* g = static_cast<GroupLink*>(self);
    g->subscribed_ = true;
    if (g->onSubscribed_) g->onSubscribed_();
}

void GroupLink::OnMessage(mosquitto*, void* self, const mosquitto_message* msg) {
    auto* g = static_cast<GroupLink*>(self);
    if (msg->topic == nullptr || g->hostTopic_ != msg->topic || msg->payloadlen < 0) return;
    g->onHost_(static_cast<const uint8_t*>(msg->payload), static_cast<size_t>(msg->payloadlen));
}

}  // namespace norvex::relay
