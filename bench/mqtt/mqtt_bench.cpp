// Packets built per second and packets parsed per second by the MQTT client.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "mqtt/mqtt.h"

namespace {

const char* kHostTopic = "/group/528901234/host";
const char* kDataTopic = "/group/528901234/client";

// --- packing -----------------------------------------------------------------------------

void BM_BuildPublish(benchmark::State& state) {
    std::vector<uint8_t> payload(static_cast<size_t>(state.range(0)), 0x5A);
    mqtt::PacketChain chain{};
    uint16_t id = 0;
    for (auto _ : state) {
        if (++id == 0) id = 1;
        int32_t r = mqtt::BuildPublish(&chain, id, kHostTopic, payload.data(),
                                       static_cast<uint32_t>(payload.size()));
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(chain.total);
        mqtt::ReleaseChain(&chain);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildPublish)->Arg(0)->Arg(66)->Arg(1024);

void BM_BuildConnect(benchmark::State& state) {
    const uint8_t password[] = "a1b2c3d4e5f6";
    mqtt::PacketChain chain{};
    for (auto _ : state) {
        int32_t r = mqtt::BuildConnect(&chain, "528901234", "412345", password, 12);
        benchmark::DoNotOptimize(r);
        mqtt::ReleaseChain(&chain);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildConnect);

void BM_BuildSubscribe(benchmark::State& state) {
    const std::string status = std::string(kDataTopic) + "/status";
    const char* const filters[2] = {status.c_str(), kDataTopic};
    mqtt::PacketChain chain{};
    for (auto _ : state) {
        int32_t r = mqtt::BuildSubscribe(&chain, filters);
        benchmark::DoNotOptimize(r);
        mqtt::ReleaseChain(&chain);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildSubscribe);

// --- parsing -----------------------------------------------------------------------------

// An endless broker stream: the same run of packets over and over, in reads of readSize bytes.
struct Stream {
    std::vector<uint8_t> bytes;
    size_t at = 0;
    int32_t readSize = 4096;
    uint64_t handled = 0;
};

int32_t StreamRead(void* arg, uint8_t* dst, int32_t capacity) {
    auto* s = static_cast<Stream*>(arg);
    int32_t n = capacity < s->readSize ? capacity : s->readSize;
    for (int32_t i = 0; i < n; ++i) {
        dst[i] = s->bytes[s->at];
        if (++s->at == s->bytes.size()) s->at = 0;
    }
    return n;
}

int32_t NullWrite(void*, const mqtt::IoVec* pairs, int32_t count) {
    int32_t total = 0;
    for (int32_t i = 0; i < count; ++i) total += static_cast<int32_t>(pairs[i].length);
    return total;
}

// A relay's data message as the broker forwards it: QoS 0 or 1, hex text payload.
std::vector<uint8_t> RelayPublish(uint8_t byte0, uint16_t id, size_t payloadLength) {
    mqtt::PacketChain chain{};
    std::vector<uint8_t> payload(payloadLength, '7');
    mqtt::BuildPublish(&chain, id, kDataTopic, payload.data(),
                       static_cast<uint32_t>(payloadLength));
    std::vector<uint8_t> out;
    for (const mqtt::PacketChunk* c = chain.head; c != nullptr; c = c->next) {
        out.insert(out.end(), c->data, c->data + c->size);
    }
    mqtt::ReleaseChain(&chain);
    out[0] = byte0;
    if ((byte0 & 0x06) == 0) {  // QoS 0 has no packet id: drop it and shorten the length
        size_t idAt = 2 + 2 + std::strlen(kDataTopic);
        out.erase(out.begin() + static_cast<long>(idAt), out.begin() + static_cast<long>(idAt) + 2);
        out[1] = static_cast<uint8_t>(out[1] - 2);
    }
    return out;
}

void ParseStream(benchmark::State& state, uint8_t byte0) {
    Stream stream;
    stream.readSize = static_cast<int32_t>(state.range(0));
    for (uint16_t id = 1; id <= 64; ++id) {
        std::vector<uint8_t> p = RelayPublish(byte0, id, 100);
        stream.bytes.insert(stream.bytes.end(), p.begin(), p.end());
    }
    mqtt::Handlers h{};
    h.OnPublish = {&stream,
                   [](void* a, uint16_t, const char*, const uint8_t*, uint32_t, int32_t, int32_t) {
                       ++static_cast<Stream*>(a)->handled;
                       return 0;
                   }};
    mqtt::Session s{};
    mqtt::SetupSession(&s, &StreamRead, &stream, &NullWrite, nullptr, h);
    for (auto _ : state) {
        if (mqtt::ReceivePacket(&s) != 0) state.SkipWithError("receive failed");
    }
    state.SetItemsProcessed(static_cast<int64_t>(stream.handled));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * stream.readSize);
    mqtt::FreeSession(&s);
}

void BM_ParsePublishQos0(benchmark::State& state) {
    ParseStream(state, 0x30);
}
void BM_ParsePublishQos1(benchmark::State& state) {
    ParseStream(state, 0x32);
}
BENCHMARK(BM_ParsePublishQos0)->Arg(4096)->Arg(64);
BENCHMARK(BM_ParsePublishQos1)->Arg(4096)->Arg(64);

// --- sending -----------------------------------------------------------------------------

// One gather write of a chain of `range(0)` packets of three chunks each: one publish, a pass's
// run of publishes, a long backlog.
void BM_SendChain(benchmark::State& state) {
    const std::vector<uint8_t> payload(66, 0x5A);
    mqtt::PacketChain chain{};
    for (int64_t i = 0; i < state.range(0); ++i) {
        mqtt::BuildPublish(&chain, static_cast<uint16_t>(i + 1), kHostTopic, payload.data(),
                           static_cast<uint32_t>(payload.size()));
    }
    mqtt::Session s{};
    mqtt::SetupSession(&s, &StreamRead, nullptr, &NullWrite, nullptr, mqtt::Handlers{});
    for (auto _ : state) {
        int32_t n = mqtt::SendChain(&s, &chain);
        if (n != static_cast<int32_t>(chain.total)) state.SkipWithError("short send");
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    mqtt::FreeSession(&s);
    mqtt::ReleaseChain(&chain);
}
BENCHMARK(BM_SendChain)->Arg(1)->Arg(20)->Arg(100);

}  // namespace

BENCHMARK_MAIN();
