#pragma once
#include <cstdint>
#include <memory>

#include "mqtt/mqtt_handlers.h"

namespace mqtt {

// One (data, length) pair of a gather write.
struct IoVec {
    const uint8_t* data;
    uint32_t length;
};

// Writes at most `capacity` bytes at dst; returns how many (> 0), 0 when nothing has arrived yet,
// or a negative value on failure.  capacity is 0 when the receive buffer is full.
using Reader = int32_t (*)(void* arg, uint8_t* dst, int32_t capacity);
// Writes the pairs' bytes in array order; returns the number of bytes written or a negative value.
using Writer = int32_t (*)(void* arg, const IoVec* pairs, int32_t count);

inline constexpr uint32_t kReceiveBufferSize = 4096;

// The client's whole state.  Used by one thread at a time; no locks inside.  The session owns
// its receive buffer and gather list: both go with FreeSession or the session's end.
struct Session {
    uint8_t* bufferStart = nullptr;  // receive buffer, kReceiveBufferSize bytes
    uint8_t* bufferEnd = nullptr;    // bufferStart + kReceiveBufferSize
    // one past the last unconsumed byte; unconsumed bytes start at bufferStart
    uint8_t* fillPosition = nullptr;
    void* readerArg = nullptr;
    Reader reader = nullptr;
    void* writerArg = nullptr;
    Writer writer = nullptr;
    Handlers handlers{};
    // Bytes of a packet too large for the receive buffer that are still to come and be thrown
    // away; without this such a packet would fill the buffer and wedge the session for good.
    uint32_t skipLeft = 0;
    // Gather list for chains too long for SendChain's list on the stack; grown when a longer
    // one comes and kept until FreeSession, so that sending allocates nothing in steady state.
    IoVec* gatherList = nullptr;
    uint32_t gatherCapacity = 0;
    // Owners of the memory that bufferStart and gatherList point into.
    std::unique_ptr<uint8_t[]> bufferStorage;
    std::unique_ptr<IoVec[]> gatherStorage;
};

// Zeroes *s, allocates the receive buffer and installs reader, writer and handlers.
// Returns 0; kErrBadParameter when reader or writer is null; kErrNoMemory when the buffer
// cannot be allocated.
// A buffer the session still held is freed first.
int32_t SetupSession(Session* s, Reader reader, void* readerArg, Writer writer, void* writerArg,
                     const Handlers& handlers);
// Frees the receive buffer and the gather list and zeroes *s.  Safe on a zeroed session.
void FreeSession(Session* s);
// Forgets every received byte (and any oversized packet being skipped).  Called at every new
// connection, so that nothing of an old connection is parsed as part of a new one.
void ClearReceive(Session* s);

}  // namespace mqtt
