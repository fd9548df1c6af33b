#include "mqtt/mqtt_session.h"

#include <cstdlib>

#include "mqtt/mqtt_errors.h"

namespace mqtt {

int32_t SetupSession(Session* s, Reader reader, void* readerArg, Writer writer, void* writerArg,
                     const Handlers& handlers) {
    *s = Session{};
    if (reader == nullptr || writer == nullptr) return kErrBadParameter;
    auto* buffer = static_cast<uint8_t*>(std::malloc(kReceiveBufferSize));
    if (buffer == nullptr) return kErrNoMemory;
    s->bufferStart = buffer;
    s->bufferEnd = buffer + kReceiveBufferSize;
    s->fillPosition = buffer;
    s->readerArg = readerArg;
    s->reader = reader;
    s->writerArg = writerArg;
    s->writer = writer;
    s->handlers = handlers;
    return 0;
}

void FreeSession(Session* s) {
    std::free(s->bufferStart);
    std::free(s->gatherList);
    *s = Session{};
}

void ClearReceive(Session* s) {
    s->fillPosition = s->bufferStart;
    s->skipLeft = 0;
}

}  // namespace mqtt
