#pragma once
#include <cstdint>

// Results of the MQTT client: 0 is success, positive values are counts or handler results,
// these negative codes are the client's own.  A handler's own negative result passes through
// Mqtt_RecvPkt unchanged, so callers also see handler-chosen codes.
inline constexpr int32_t MqttErr_NoMemory = -1;      // chunk, block, block table or gather list
inline constexpr int32_t MqttErr_NoData = -2;        // the reader delivered nothing this time
inline constexpr int32_t MqttErr_ReadFailed = -3;    // the reader reported a failure
inline constexpr int32_t MqttErr_Malformed = -4;     // an incoming packet breaks the format
inline constexpr int32_t MqttErr_NotUtf8 = -6;       // a text is not well-formed UTF-8
inline constexpr int32_t MqttErr_BadParameter = -7;  // a packer argument is missing or not allowed
inline constexpr int32_t MqttErr_TooLong = -8;       // remaining length needs more than four bytes
inline constexpr int32_t MqttErr_Overflow = -9;      // the reader wrote more than it was offered
inline constexpr int32_t MqttErr_AckNotSent = -14;   // an automatic acknowledgement was not written
