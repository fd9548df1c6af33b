#include "mqtt/mqtt_session.h"

#include <new>

#include "mqtt/mqtt_errors.h"

namespace mqtt {

int32_t SetupSession(Session* s, Reader reader, void* readerArg, Writer writer, void* writerArg,
                     const Handlers& handlers) {
    *s = Session{};
    if (reader == nullptr || writer == nullptr) return kErrBadParameter;
    s->bufferStorage.reset(new (std::nothrow) uint8_t[kReceiveBufferSize]);
    if (s->bufferStorage == nullptr) return kErrNoMemory;
    s->bufferStart = s->bufferStorage.get();
    s->bufferEnd = s->bufferStart + kReceiveBufferSize;
    s->fillPosition = s->bufferStart;
    s->readerArg = readerArg;
    s->reader = reader;
    s->writerArg = writerArg;
    s->writer = writer;
    s->handlers = handlers;
    return 0;
}

void FreeSession(Session* s) {
    *s = Session{};
}

void ClearReceive(Session* s) {
    s->fillPosition = s->bufferStart;
    s->skipLeft = 0;
}

}  // namespace mqtt
