#include "relay_client.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "relay_payload.h"

namespace relaysim {

RelayClient::RelayClient(const SimOptions& opt, int devid, const std::atomic<bool>& silent)
    : opt_(opt),
      devid_(devid),
      silent_(silent),
      hostTopic_("/group/" + opt.group + "/host"),
      dataTopic_("/group/" + opt.group + "/client"),
      statusTopic_("/group/" + opt.group + "/client/status"),
      nextPacket_(static_cast<uint16_t>(opt.firstPacket)) {}

RelayClient::~RelayClient() {
    Stop();
    if (mosq_ != nullptr) mosquitto_destroy(mosq_);
    if (hostOut_ >= 0) ::close(hostOut_);
}

bool RelayClient::Start() {
    std::string id = "relay-sim-" + opt_.group + "-" + std::to_string(devid_) + "-" +
                     std::to_string(static_cast<long>(getpid()));
    if (!opt_.hostOut.empty() && devid_ == opt_.devids.front()) {
        hostOut_ = ::open(opt_.hostOut.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (hostOut_ < 0) return false;
    }
    mosq_ = mosquitto_new(id.c_str(), true, this);
    if (mosq_ == nullptr) return false;
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(mosq_, &RelayClient::OnConnect);
    mosquitto_subscribe_callback_set(mosq_, &RelayClient::OnSubscribe);
    mosquitto_message_callback_set(mosq_, &RelayClient::OnMessage);
    // a restarted broker is found again quickly
    mosquitto_reconnect_delay_set(mosq_, 1, 2, false);
    if (mosquitto_connect_async(mosq_, opt_.host.c_str(), opt_.port, 60) != MOSQ_ERR_SUCCESS &&
        opt_.verbose > 0) {
        std::fprintf(stderr, "relay %d: first connect failed, retrying\n", devid_);
    }
    started_ = mosquitto_loop_start(mosq_) == MOSQ_ERR_SUCCESS;
    return started_;
}

void RelayClient::Stop() {
    if (!started_) return;
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    started_ = false;
}

void RelayClient::SendPing() {
    if (!silent_.load(std::memory_order_relaxed)) Publish(statusTopic_, FormatPingAck(devid_));
}

std::string RelayClient::BaseInfo(int devid) const {
    return FormatBaseInfo(devid, opt_.infoText, 1, 0, "8986" + std::to_string(1000000 + devid),
                          "86" + std::to_string(2000000 + devid));
}

void RelayClient::SendStatusFlood(int count) {
    for (int d = 1; d <= count; ++d) {
        Publish(statusTopic_, BaseInfo(d));
        Publish(statusTopic_, FormatPingAck(d));
    }
}

void RelayClient::Publish(const std::string& topic, const std::string& payload) {
    int rc = mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                               payload.data(), opt_.qos, false);
    if (rc == MOSQ_ERR_SUCCESS && topic == dataTopic_)
        packetsSent_.fetch_add(1, std::memory_order_relaxed);
    if (opt_.verbose > 1 || (opt_.verbose > 0 && rc != MOSQ_ERR_SUCCESS)) {
        std::printf("relay %d: publish %s %s%s\n", devid_, topic.c_str(), payload.c_str(),
                    rc == MOSQ_ERR_SUCCESS ? "" : " (failed)");
        std::fflush(stdout);
    }
}

void RelayClient::OnConnect(mosquitto* m, void* self, int rc) {
    auto* r = static_cast<RelayClient*>(self);
    if (rc != 0) {
        std::fprintf(stderr, "relay %d: broker refused the login (%d)\n", r->devid_, rc);
        return;
    }
    mosquitto_subscribe(m, nullptr, r->hostTopic_.c_str(), 1);
}

void RelayClient::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* r = static_cast<RelayClient*>(self);
    r->Publish(r->statusTopic_, r->BaseInfo(r->devid_));
    std::printf("relay %d ready\n", r->devid_);
    std::fflush(stdout);
}

void RelayClient::OnMessage(mosquitto*, void* self, const mosquitto_message* msg) {
    auto* r = static_cast<RelayClient*>(self);
    if (msg->topic == nullptr || r->hostTopic_ != msg->topic) return;
    HostData data;
    if (!ParseHostPayload(static_cast<const uint8_t*>(msg->payload),
                          static_cast<size_t>(std::max(msg->payloadlen, 0)), data)) {
        std::fprintf(stderr, "relay %d: host payload of %d bytes has no sequence\n", r->devid_,
                     msg->payloadlen);
        return;
    }
    r->hostMessages_.fetch_add(1, std::memory_order_relaxed);
    for (size_t at = 0; r->hostOut_ >= 0 && at < data.bytes.size();) {
        ssize_t n = ::write(r->hostOut_, data.bytes.data() + at, data.bytes.size() - at);
        if (n <= 0) break;  // the reader went away; the counts still show what came
        at += static_cast<size_t>(n);
    }
    if (r->opt_.verbose > 0) {
        std::printf("relay %d: host seq %u, %zu bytes\n", r->devid_, data.sequence,
                    data.bytes.size());
        std::fflush(stdout);
    }
    if (r->opt_.echo && !r->silent_.load(std::memory_order_relaxed))
        r->Answer(data.bytes.data(), data.bytes.size());
}

// The echo, cut into numbered packets; reordered and duplicated on request, so that the host's
// ordered delivery has something to do.
void RelayClient::Answer(const uint8_t* data, size_t len) {
    std::lock_guard lock(answerMutex_);
    const uint32_t key = static_cast<uint32_t>(devid_);
    std::vector<std::string> packets;
    for (size_t at = 0; at < len; at += static_cast<size_t>(opt_.chunk)) {
        size_t n = std::min(len - at, static_cast<size_t>(opt_.chunk));
        packets.push_back(FormatClientPayload(key, nextPacket_, data + at, n, opt_.lowerCase));
        nextPacket_ = NextPacketNumber(nextPacket_);
    }
    const size_t group = static_cast<size_t>(opt_.reorder);
    for (size_t g = 0; g < packets.size(); g += group) {
        size_t end = std::min(packets.size(), g + group);
        std::reverse(packets.begin() + static_cast<long>(g),
                     packets.begin() + static_cast<long>(end));
    }
    for (const auto& p : packets) PublishData(p);
}

// One numbered packet and the misbehaviour asked for: a duplicate, a stale packet, a copy whose
// digits are not hexadecimal.
void RelayClient::PublishData(const std::string& payload) {
    constexpr size_t kLateDistance = 8;
    Publish(dataTopic_, payload);
    if (opt_.duplicate) Publish(dataTopic_, payload);
    ++dataPackets_;
    if (opt_.badEvery > 0 && dataPackets_ % static_cast<uint64_t>(opt_.badEvery) == 0) {
        std::string bad = payload;
        if (bad.size() >= 16) bad.replace(14, 2, "G!");
        Publish(dataTopic_, bad);
    }
    recent_.push_back(payload);
    if (recent_.size() > kLateDistance + 1) recent_.pop_front();
    if (opt_.lateEvery > 0 && dataPackets_ % static_cast<uint64_t>(opt_.lateEvery) == 0 &&
        recent_.size() == kLateDistance + 1) {
        Publish(dataTopic_, recent_.front());
    }
}

}  // namespace relaysim
