// Fuzz target for the receiver.  Input: one control byte, then the byte stream from the broker.
// The control byte picks the read size (bits 0-5: 1..63 bytes, 0 = as much as fits), whether
// handlers refuse (bit 6) and whether the writer comes up short (bit 7).  Every result other
// than 0 or -2 is followed by mqtt::ClearReceive, as a reconnection would.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "mqtt/mqtt.h"

namespace {

struct Feed {
    const uint8_t* data;
    size_t left;
    int32_t readSize;
    bool refuse;
    bool shortWrite;
    uint32_t sink;  // touched by every handler so that each byte it is given is really read
    bool readNothingNext;
};

int32_t Read(void* arg, uint8_t* dst, int32_t capacity) {
    auto* f = static_cast<Feed*>(arg);
    // every other call reads nothing, as a non-blocking socket often does
    f->readNothingNext = !f->readNothingNext;
    if (f->readNothingNext) return 0;
    if (f->left == 0) return -1;
    size_t n = f->left;
    if (f->readSize > 0 && n > static_cast<size_t>(f->readSize))
        n = static_cast<size_t>(f->readSize);
    if (n > static_cast<size_t>(capacity)) n = static_cast<size_t>(capacity);
    std::memcpy(dst, f->data, n);
    f->data += n;
    f->left -= n;
    return static_cast<int32_t>(n);
}

int32_t Write(void* arg, const mqtt::IoVec* pairs, int32_t count) {
    auto* f = static_cast<Feed*>(arg);
    int32_t total = 0;
    for (int32_t i = 0; i < count; ++i) {
        for (uint32_t k = 0; k < pairs[i].length; ++k) f->sink += pairs[i].data[k];
        total += static_cast<int32_t>(pairs[i].length);
    }
    return f->shortWrite ? total - 1 : total;
}

int32_t Touch(Feed* f, const char* text, const uint8_t* bytes, uint32_t n) {
    if (text != nullptr) f->sink += static_cast<uint32_t>(std::strlen(text));
    for (uint32_t i = 0; i < n; ++i) f->sink += bytes[i];
    return f->refuse ? -50 : 0;
}

mqtt::Handlers Handlers(Feed* f) {
    mqtt::Handlers h{};
    h.OnPingResp = {f, [](void* a) { return Touch(static_cast<Feed*>(a), nullptr, nullptr, 0); }};
    h.OnConnAck = {f, [](void* a, uint8_t, uint8_t) {
                       return Touch(static_cast<Feed*>(a), nullptr, nullptr, 0);
                   }};
    h.OnPublish = {f, [](void* a, uint16_t, const char* t, const uint8_t* p, uint32_t n, int32_t,
                         int32_t) { return Touch(static_cast<Feed*>(a), t, p, n); }};
    h.OnSubAck = {f, [](void* a, uint16_t, const uint8_t* c, uint32_t n) {
                      return Touch(static_cast<Feed*>(a), nullptr, c, n);
                  }};
    auto idOnly = [](void* a, uint16_t) {
        return Touch(static_cast<Feed*>(a), nullptr, nullptr, 0);
    };
    h.OnPubAck = {f, idOnly};
    h.OnPubRec = {f, idOnly};
    h.OnPubRel = {f, idOnly};
    h.OnPubComp = {f, idOnly};
    h.OnUnsubAck = {f, idOnly};
    return h;
}

void CheckInvariants(const mqtt::Session& s) {
    if (s.fillPosition < s.bufferStart || s.fillPosition > s.bufferEnd) std::abort();
    if (s.skipLeft != 0 && s.fillPosition != s.bufferStart) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Feed f{data + 1, size - 1, data[0] & 0x3F, (data[0] & 0x40) != 0, (data[0] & 0x80) != 0,
           0,        false};
    mqtt::Session s{};
    if (mqtt::SetupSession(&s, &Read, &f, &Write, &f, Handlers(&f)) != 0) return 0;
    // each read that delivers takes at least one byte, and every other read delivers
    size_t bound = 2 * size + 4;
    for (size_t i = 0; i < bound; ++i) {
        int32_t r = mqtt::ReceivePacket(&s);
        CheckInvariants(s);
        if (r == mqtt::kErrReadFailed) break;  // the input is used up
        if (r != 0 && r != mqtt::kErrNoData) mqtt::ClearReceive(&s);
    }
    mqtt::FreeSession(&s);
    return 0;
}
