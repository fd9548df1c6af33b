#pragma once
#include <cstdint>

#include "mqtt/mqtt_session.h"

namespace mqtt {

// Reads once through the session's reader, handles every complete packet in the receive buffer
// and keeps an incomplete one at bufferStart.  Returns 0 after a read that delivered bytes and
// whose complete packets were all handled; kErrNoData when the reader delivered nothing
// (buffered bytes are kept); kErrReadFailed, kErrOverflow from reading; kErrMalformed;
// or the first negative result of a handler or of an acknowledgement.  A failed call consumes
// nothing, and leaves the buffered bytes as they were received.
int32_t ReceivePacket(Session* s);

// Checks one packet (byte 0, the bytes after the remaining-length field, the remaining length),
// calls its handler and sends its automatic acknowledgement.  Used by ReceivePacket.
int32_t RouteIncoming(Session* s, uint8_t byte0, uint8_t* body, uint32_t remainingLength);

}  // namespace mqtt
