// Fuzz target for the relay data payload reader.  A payload that decodes must give exactly the
// bytes its hex pairs spell, never more than 64 of them; one that does not must leave the
// packet as it was.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bridge/client_packet.h"

namespace {

int Nibble(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void CheckDecoded(const uint8_t* data, size_t size, const norvex::ClientPacket& p, int n) {
    size_t pairs = size > norvex::kClientDataOffset ? (size - norvex::kClientDataOffset) / 2 : 0;
    if (n < 0 || n > norvex::kClientPacketMaxData || n != p.count) std::abort();
    if (static_cast<size_t>(n) != (pairs < 64 ? pairs : 64)) std::abort();
    for (int i = 0; i < n; ++i) {
        const uint8_t* pair = data + norvex::kClientDataOffset + 2 * static_cast<size_t>(i);
        if (p.data[i] != ((Nibble(pair[0]) << 4) | Nibble(pair[1]))) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    norvex::ClientPacket packet;
    std::memset(packet.data, 0xA5, sizeof packet.data);
    packet.senderKey = 0x12345678u;
    packet.packetNumber = 0x9ABC;
    packet.count = 7;
    const norvex::ClientPacket before = packet;
    int n = norvex::DecodeClientPacket(data, size, &packet);
    if (n == -1) {
        if (std::memcmp(&before, &packet, sizeof packet) != 0) std::abort();
        return 0;
    }
    CheckDecoded(data, size, packet, n);
    return 0;
}
