#include "mqtt/mqtt_session.h"

#include <cstdlib>

namespace mqtt {

int32_t SetupSession(Session* s, Reader reader, void* readerArg, Writer writer,
                          void* writerArg, const Handlers& handlers) {
    *s = Session{};
    if (reader == nullptr || writer == nullptr) return 0;
    auto* buffer = static_cast<uint8_t*>(std::malloc(kReceiveBufferSize));
    if (buffer == nullptr) return 0;
    s->bufferStart = buffer;
    s->bufferEnd = buffer + kReceiveBufferSize;
    s->fillPosition = buffer;
    s->readerArg = readerArg;
    s->reader = reader;
    s->writerArg = writerArg;
    s->writer = writer;
    s->handlers = handlers;
    return 1;
}

void FreeSession(Session* s) {
    std::free(s->bufferStart);
    *s = Session{};
}

void ClearReceive(Session* s) {
    s->fillPosition = s->bufferStart;
    s->skipLeft = 0;
}

}  // namespace mqtt
