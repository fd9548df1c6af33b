#include "engine_fixture.h"

#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "support/loopback_listener.h"
#include "support/net_util.h"

namespace norvex::test {

GroupClient::GroupClient() {
    mosquitto_lib_init();
    m_ = mosquitto_new(nullptr, true, this);
    mosquitto_connect_callback_set(m_, OnConnect);
    mosquitto_subscribe_callback_set(m_, OnSubscribe);
    mosquitto_message_callback_set(m_, OnMessage);
}

GroupClient::~GroupClient() {
    mosquitto_disconnect(m_);
    mosquitto_loop_stop(m_, true);
    mosquitto_destroy(m_);
    mosquitto_lib_cleanup();
}

void GroupClient::OnConnect(mosquitto* m, void* self, int rc) {
    auto* c = static_cast<GroupClient*>(self);
    if (rc == 0) mosquitto_subscribe(m, nullptr, c->topic_.c_str(), 1);
}

void GroupClient::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    static_cast<GroupClient*>(self)->subacks_.fetch_add(1);
}

void GroupClient::OnMessage(mosquitto*, void* self, const mosquitto_message* msg) {
    auto* c = static_cast<GroupClient*>(self);
    auto p = static_cast<const uint8_t*>(msg->payload);
    std::lock_guard<std::mutex> lock(c->mu_);
    c->messages_.push_back(
        {std::vector<uint8_t>(p, p + msg->payloadlen), std::chrono::steady_clock::now()});
}

bool GroupClient::Connect(int port, const std::string& topic) {
    topic_ = topic;
    int before = subacks_.load();
    if (mosquitto_connect(m_, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) return false;
    if (mosquitto_loop_start(m_) != MOSQ_ERR_SUCCESS) return false;
    return WaitUntil([&] { return subacks_.load() > before; }, std::chrono::seconds(5));
}

bool GroupClient::Reconnect() {
    int before = subacks_.load();
    mosquitto_reconnect_async(m_);
    return WaitUntil([&] { return subacks_.load() > before; }, std::chrono::seconds(5));
}

bool GroupClient::Publish(const std::string& topic, const std::string& payload) {
    return mosquitto_publish(m_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), 1, false) == MOSQ_ERR_SUCCESS;
}

std::vector<GroupClient::Message> GroupClient::Messages() const {
    std::lock_guard<std::mutex> lock(mu_);
    return messages_;
}

bool GroupClient::WaitMessages(size_t count, std::chrono::milliseconds limit) const {
    return WaitUntil([&] { return Messages().size() >= count; }, limit);
}

void OffsetClock::Hold() const {
    holding.store(true);
    WaitUntil([&] { return released.load(); }, std::chrono::seconds(5));
    holding.store(false);
}

bool OffsetClock::WaitHeld(std::chrono::milliseconds limit) const {
    return WaitUntil([&] { return holding.load(); }, limit);
}

ScriptedBroker::ScriptedBroker(int receiveBuffer) {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // set before listen(): accepted connections inherit it, and the window is never larger
    if (receiveBuffer > 0) {
        ::setsockopt(listen_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::listen(listen_, 4) == 0 &&
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port_ = ntohs(a.sin_port);
    }
}

ScriptedBroker::~ScriptedBroker() {
    if (conn_ >= 0) ::close(conn_);
    if (listen_ >= 0) ::close(listen_);
}

bool ScriptedBroker::Accept(int timeoutMs) {
    pollfd pfd{listen_, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) <= 0) return false;
    conn_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    return conn_ >= 0;
}

std::vector<uint8_t> ScriptedBroker::Read(size_t n, int timeoutMs) {
    std::vector<uint8_t> out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n && conn_ >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) break;
        pollfd pfd{conn_, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left)) <= 0) continue;
        uint8_t buf[1];
        if (::read(conn_, buf, 1) != 1) break;
        out.push_back(buf[0]);
    }
    return out;
}

std::vector<uint8_t> ScriptedBroker::ReadPacket(int timeoutMs) {
    std::vector<uint8_t> out = Read(1, timeoutMs);
    if (out.empty()) return out;
    uint32_t length = 0;
    for (int shift = 0; shift < 28; shift += 7) {
        std::vector<uint8_t> b = Read(1, timeoutMs);
        if (b.empty()) return {};
        out.push_back(b[0]);
        length |= static_cast<uint32_t>(b[0] & 0x7F) << shift;
        if ((b[0] & 0x80) == 0) break;
    }
    std::vector<uint8_t> rest = Read(length, timeoutMs);
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

bool ScriptedBroker::Write(const std::vector<uint8_t>& bytes) {
    return conn_ >= 0 &&
           ::write(conn_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

void ScriptedBroker::CloseConnection() {
    if (conn_ >= 0) ::close(conn_);
    conn_ = -1;
}

void ScriptedBroker::ResetConnection() {
    if (conn_ >= 0) CloseWithReset(conn_);
    conn_ = -1;
}

std::vector<uint8_t> DataPublish(uint32_t sender, uint16_t number, size_t width) {
    char head[16];
    std::snprintf(head, sizeof head, "%08X,%04X,", sender, number);
    std::string payload = head;
    for (size_t i = 0; i < width; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", number & 0xFF);
        payload += hex;
    }
    std::string topic = std::string("/group/") + kGroupId + "/client";
    size_t len = 2 + topic.size() + 2 + payload.size();
    std::vector<uint8_t> b = {0x32};
    for (; len >= 0x80; len >>= 7) b.push_back(static_cast<uint8_t>(0x80 | (len & 0x7F)));
    b.push_back(static_cast<uint8_t>(len));
    b.push_back(0);
    b.push_back(static_cast<uint8_t>(topic.size()));
    b.insert(b.end(), topic.begin(), topic.end());
    b.push_back(static_cast<uint8_t>(number >> 8));
    b.push_back(static_cast<uint8_t>(number & 0xFF));
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

void EngineFixture::SetUp() {
    ASSERT_TRUE(pty.Ok());
    config.brokerHost = "127.0.0.1";
    config.groupId = kGroupId;
    config.groupSerial = kGroupSerial;
    config.productId = "prodX";
    config.portName = pty.SlavePath();
}

void EngineFixture::TearDown() {
    engine.RequestStop();
    engine.Join();
}

void EngineFixture::UseBroker(int port) {
    config.brokerPort = port;
}

bool EngineFixture::WaitSubscribed(uint32_t n) {
    return WaitUntil([&] { return engine.Counters().Snapshot().subscriptions >= n; },
                     std::chrono::seconds(10));
}

bool EngineFixture::StartAndSubscribe(uint32_t n) {
    return engine.Start(config) && WaitSubscribed(n);
}

bool EngineFixture::WaitStopped(std::chrono::milliseconds limit) {
    return WaitUntil([&] { return !engine.Active(); }, limit);
}

}  // namespace norvex::test
