#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/device_identity.h"

namespace norvex {

// What one run publishes and subscribes to, and how it logs in.  Topics are compared byte for
// byte, case-sensitive.
struct RelayIdentity {
    std::string statusTopic;  // "/group/<id>/client/status": relays' pingack and baseinfo
    std::string dataTopic;    // "/group/<id>/client": relays' numbered hex packets
    std::string hostTopic;    // "/group/<id>/host": raw serial bytes behind a sequence number
    std::string clientId;     // the group ID
    std::string userName;     // the platform product identifier
    std::string password;     // kDeviceLoginPrefix + group serial number
};

RelayIdentity BuildRelayIdentity(const std::string& groupId, const std::string& groupSerial,
                                 const std::string& productId);

// The ID is the client identifier, so it must be one the codec sends (mqtt::IsClientIdText:
// ASCII letters and digits only), and it names topics, so it may not be empty: anything else
// can never log in.
bool IsUsableGroupId(const std::string& groupId);

// Most serial bytes one host payload carries.
inline constexpr size_t kMaxHostData = 64;
inline constexpr size_t kHostHeaderSize = 2;

// Host payload: the sequence number little-endian, then the serial bytes unchanged.  Returns the
// payload length (n + 2), or -1 when n is 0 or above kMaxHostData or cap is too small.
int EncodeHostPayload(uint16_t sequence, const uint8_t* data, size_t n, uint8_t* out, size_t cap);

// The host's counters step 1, 2, ..., 65535, 1, ...: 0 is never produced by a step.
inline uint16_t NextNonZero(uint16_t value) {
    uint16_t next = static_cast<uint16_t>(value + 1u);
    return next == 0 ? uint16_t{1} : next;
}

}  // namespace norvex
