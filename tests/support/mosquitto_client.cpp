#include "support/mosquitto_client.h"

#include <mosquitto.h>

#include "support/net_util.h"

namespace norvex::test {

MosquittoClient::MosquittoClient(const std::string& id) {
    static const int init = mosquitto_lib_init();
    (void)init;
    mosq_ = mosquitto_new(id.c_str(), true, this);
    if (mosq_ == nullptr) return;
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(mosq_, &MosquittoClient::OnConnect);
    mosquitto_subscribe_callback_set(mosq_, &MosquittoClient::OnSubscribe);
    mosquitto_message_callback_set(mosq_, &MosquittoClient::OnMessage);
}

MosquittoClient::~MosquittoClient() {
    if (mosq_ == nullptr) return;
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
}

bool MosquittoClient::Connect(int port, const std::string& topic, Handler handler) {
    if (mosq_ == nullptr) return false;
    topic_ = topic;
    handler_ = std::move(handler);
    if (mosquitto_connect(mosq_, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS) return false;
    if (mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS) return false;
    return WaitUntil([this] { return ready_.load(); }, std::chrono::seconds(5));
}

bool MosquittoClient::Publish(const std::string& topic, const void* data, size_t len, int qos) {
    return mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(len), data, qos,
                             false) == MOSQ_ERR_SUCCESS;
}

void MosquittoClient::OnConnect(mosquitto* m, void* self, int rc) {
    auto* p = static_cast<MosquittoClient*>(self);
    if (rc != 0) return;
    if (p->topic_.empty()) {
        p->ready_.store(true);
    } else {
        mosquitto_subscribe(m, nullptr, p->topic_.c_str(), 1);
    }
}

void MosquittoClient::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    static_cast<MosquittoClient*>(self)->ready_.store(true);
}

void MosquittoClient::OnMessage(mosquitto*, void* self, const mosquitto_message* msg) {
    auto at = Clock::now();
    auto* p = static_cast<MosquittoClient*>(self);
    if (p->handler_ && msg->topic != nullptr)
        p->handler_(msg->topic, static_cast<const uint8_t*>(msg->payload),
                    static_cast<size_t>(msg->payloadlen), at);
}

}  // namespace norvex::test
