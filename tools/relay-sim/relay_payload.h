#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace relaysim {

// Host-to-relay data: the host's 16-bit sequence (little-endian) and 1-64 serial bytes.
struct HostData {
    uint16_t sequence = 0;
    std::vector<uint8_t> bytes;
};

// Splits a host payload; false when it is shorter than the 2-byte sequence.
bool ParseHostPayload(const uint8_t* payload, size_t len, HostData& out);

// Relay-to-host data: "KKKKKKKK,NNNN," (a 14-character header: sender key and packet number in
// hexadecimal) followed by two hex digits per byte.
std::string FormatClientPayload(uint32_t senderKey, uint16_t packetNumber, const uint8_t* data,
                                size_t len, bool lowerCase = false);

// Packet numbers of one sender: 0 resets the host's reorder state, so the count skips it.
inline uint16_t NextPacketNumber(uint16_t n) {
    return n == 65535 ? 1 : static_cast<uint16_t>(n + 1);
}

// Status payloads.
std::string FormatPingAck(int devid);
std::string FormatBaseInfo(int devid, const std::string& text, int value1, int value2,
                           const std::string& iccid, const std::string& imei);

}  // namespace relaysim
