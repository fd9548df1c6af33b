#pragma once
#include <cstdint>

namespace mqtt {

// Results of the MQTT client: 0 is success, positive values are counts or handler results,
// these negative codes are the client's own.  A handler's own negative result passes through
// ReceivePacket unchanged, so callers also see handler-chosen codes.
inline constexpr int32_t kErrNoMemory = -1;      // chunk, block, block table or gather list
inline constexpr int32_t kErrNoData = -2;        // the reader delivered nothing this time
inline constexpr int32_t kErrReadFailed = -3;    // the reader reported a failure
inline constexpr int32_t kErrMalformed = -4;     // an incoming packet breaks the format
inline constexpr int32_t kErrNotUtf8 = -6;       // a text is not well-formed UTF-8
inline constexpr int32_t kErrBadParameter = -7;  // a packer argument is missing or not allowed
inline constexpr int32_t kErrTooLong = -8;       // remaining length needs more than four bytes
inline constexpr int32_t kErrOverflow = -9;      // the reader wrote more than it was offered
inline constexpr int32_t kErrAckNotSent = -14;   // an automatic acknowledgement was not written

}  // namespace mqtt
