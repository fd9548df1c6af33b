#include "mqtt/mqtt_session.h"

#include <cstdlib>

int32_t Mqtt_SetupSession(MqttSession* s, MqttReader reader, void* readerArg, MqttWriter writer,
                          void* writerArg, const MqttHandlers& handlers) {
    *s = MqttSession{};
    if (reader == nullptr || writer == nullptr) return 0;
    auto* buffer = static_cast<uint8_t*>(std::malloc(kMqttReceiveBufferSize));
    if (buffer == nullptr) return 0;
    s->bufferStart = buffer;
    s->bufferEnd = buffer + kMqttReceiveBufferSize;
    s->fillPosition = buffer;
    s->readerArg = readerArg;
    s->reader = reader;
    s->writerArg = writerArg;
    s->writer = writer;
    s->handlers = handlers;
    return 1;
}

void Mqtt_FreeSession(MqttSession* s) {
    std::free(s->bufferStart);
    *s = MqttSession{};
}

void Mqtt_ClearReceive(MqttSession* s) {
    s->fillPosition = s->bufferStart;
    s->skipLeft = 0;
}
