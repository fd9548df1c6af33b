#include "wire_fixture.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace norvex::test {

Bytes Hex(const std::string& hex) {
    Bytes out;
    std::string digits;
    for (char c : hex) {
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    }
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string ToHex(const uint8_t* data, size_t n) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", data[i]);
        out += buf;
    }
    return out;
}

Bytes ChainBytes(const mqtt::PacketChain& chain) {
    Bytes out;
    for (const mqtt::PacketChunk* c = chain.head; c != nullptr; c = c->next) {
        out.insert(out.end(), c->data, c->data + c->size);
    }
    return out;
}

int32_t Wire::Read(void* arg, uint8_t* dst, int32_t capacity) {
    auto* w = static_cast<Wire*>(arg);
    w->capacities.push_back(capacity);
    if (w->script.empty()) return w->readFailure;
    Bytes& front = w->script.front();
    if (front.empty()) {
        w->script.pop_front();
        return 0;
    }
    size_t n = std::min<size_t>(front.size(), static_cast<size_t>(capacity));
    std::memcpy(dst, front.data(), n);
    front.erase(front.begin(), front.begin() + static_cast<long>(n));
    if (front.empty()) w->script.pop_front();
    return static_cast<int32_t>(n) + w->overReport;
}

int32_t Wire::Write(void* arg, const mqtt::IoVec* pairs, int32_t count) {
    auto* w = static_cast<Wire*>(arg);
    Bytes out;
    for (int32_t i = 0; i < count; ++i)
        out.insert(out.end(), pairs[i].data, pairs[i].data + pairs[i].length);
    w->writes.push_back(out);
    w->pairCounts.push_back(count);
    return w->writerResult == -100 ? static_cast<int32_t>(out.size()) : w->writerResult;
}

namespace {

Wire* W(void* arg) {
    return static_cast<Wire*>(arg);
}

int32_t Log(void* arg, const std::string& line) {
    W(arg)->calls.push_back(line);
    return W(arg)->handlerResult;
}

std::string Id(uint16_t id) {
    return std::to_string(id);
}

}  // namespace

mqtt::Handlers Wire::Handlers() {
    mqtt::Handlers h{};
    h.OnPingResp = {this, [](void* a) { return Log(a, "pingresp"); }};
    h.OnConnAck = {this, [](void* a, uint8_t f, uint8_t c) {
                       return Log(a, "connack " + std::to_string(f) + " " + std::to_string(c));
                   }};
    h.OnPublish = {this, [](void* a, uint16_t id, const char* topic, const uint8_t* p, uint32_t n,
                            int32_t dup, int32_t qos) {
                       return Log(a, "publish " + Id(id) + " [" + topic + "] [" + ToHex(p, n) +
                                         "] dup=" + std::to_string(dup) +
                                         " qos=" + std::to_string(qos));
                   }};
    h.OnPubAck = {this, [](void* a, uint16_t id) { return Log(a, "puback " + Id(id)); }};
    h.OnPubRec = {this, [](void* a, uint16_t id) { return Log(a, "pubrec " + Id(id)); }};
    h.OnPubRel = {this, [](void* a, uint16_t id) { return Log(a, "pubrel " + Id(id)); }};
    h.OnPubComp = {this, [](void* a, uint16_t id) { return Log(a, "pubcomp " + Id(id)); }};
    h.OnSubAck = {this, [](void* a, uint16_t id, const uint8_t* codes, uint32_t n) {
                      return Log(a, "suback " + Id(id) + " [" + ToHex(codes, n) + "]");
                  }};
    h.OnUnsubAck = {this, [](void* a, uint16_t id) { return Log(a, "unsuback " + Id(id)); }};
    return h;
}

WiredSession::WiredSession() {
    mqtt::SetupSession(&s, &Wire::Read, &wire, &Wire::Write, &wire, wire.Handlers());
}

std::string WiredSession::WrittenHex() const {
    std::string out;
    for (const Bytes& b : wire.writes) out += (out.empty() ? "" : " | ") + ToHex(b);
    return out;
}

}  // namespace norvex::test
