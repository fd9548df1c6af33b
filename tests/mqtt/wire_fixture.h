#pragma once
// An in-memory wire for the MQTT session: a scripted reader, a recording writer and handlers
// that log each call as one line of text, so expectations read like the packets themselves.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "mqtt/mqtt.h"

namespace norvex::test {

using Bytes = std::vector<uint8_t>;

// "30 06 00 02" -> bytes; spaces are ignored.
Bytes Hex(const std::string& hex);
std::string ToHex(const uint8_t* data, size_t n);
inline std::string ToHex(const Bytes& b) {
    return ToHex(b.data(), b.size());
}
// All linked chunks of a chain, head to tail.
Bytes ChainBytes(const mqtt::PacketChain& chain);

struct Wire {
    // Each read hands out the front entry (up to the capacity offered; the rest stays in front).
    // An empty entry makes the reader return 0; readFailure when nothing is scripted.
    std::deque<Bytes> script;
    int32_t readFailure = -1;
    int32_t overReport = 0;  // added to the reader's count: a reader that breaks its contract
    std::vector<int32_t> capacities;  // every capacity the reader was offered

    std::vector<Bytes> writes;        // one entry per writer call
    std::vector<int32_t> pairCounts;  // pairs per writer call
    int32_t writerResult = -100;      // -100: report the bytes written

    std::vector<std::string> calls;  // one line per handler call
    int32_t handlerResult = 0;       // what every handler returns

    static int32_t Read(void* arg, uint8_t* dst, int32_t capacity);
    static int32_t Write(void* arg, const mqtt::IoVec* pairs, int32_t count);
    mqtt::Handlers Handlers();
};

// A session wired to a Wire, freed on destruction.
class WiredSession {
public:
    WiredSession();
    ~WiredSession() { mqtt::FreeSession(&s); }
    WiredSession(const WiredSession&) = delete;
    WiredSession& operator=(const WiredSession&) = delete;

    // Scripts one read of `bytes` and calls mqtt::ReceivePacket.
    int32_t Feed(const Bytes& bytes) {
        wire.script.push_back(bytes);
        return mqtt::ReceivePacket(&s);
    }
    Bytes Buffered() const { return Bytes(s.bufferStart, s.fillPosition); }
    std::string WrittenHex() const;  // every write, joined with " | "

    Wire wire;
    mqtt::Session s{};
};

}  // namespace norvex::test
