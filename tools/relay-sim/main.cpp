// relay-sim: the relays of one group, for tests, benchmarks and demonstrations.
#include <fcntl.h>
#include <mosquitto.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "relay_client.h"
#include "sim_options.h"

using namespace relaysim;
using Clock = std::chrono::steady_clock;

namespace {

// How long to wait for a signal: until the next ping, the silence or the end, at most 1 s.
timespec WaitFor(Clock::time_point now, Clock::time_point next) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    ms = std::clamp<long long>(ms, 1, 1000);
    return timespec{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
}

struct LibMosquitto {
    LibMosquitto() { mosquitto_lib_init(); }
    ~LibMosquitto() { mosquitto_lib_cleanup(); }
};

// Sends what arrives on path as the relay's data until the writers go or stop is set.
void ForwardDataIn(const std::string& path, RelayClient& relay, const std::atomic<bool>& stop) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "relay-sim: cannot open %s\n", path.c_str());
        return;
    }
    uint8_t buf[4096];
    while (!stop.load(std::memory_order_relaxed)) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) continue;
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) relay.SendData(buf, static_cast<size_t>(n));
        if (n == 0) break;
    }
    ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions opt;
    std::string err;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!ParseOptions(argc, argv, opt, err)) {
        std::fprintf(stderr, "relay-sim: %s\n%s", err.c_str(), kUsage);
        return 2;
    }
    // signals are taken by sigtimedwait below; libmosquitto's threads inherit the mask
    sigset_t sigs;
    sigemptyset(&sigs);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2, SIGPIPE}) sigaddset(&sigs, s);
    pthread_sigmask(SIG_BLOCK, &sigs, nullptr);

    LibMosquitto lib;
    std::atomic<bool> silent{false};
    std::vector<std::unique_ptr<RelayClient>> relays;
    for (int d : opt.devids) {
        relays.push_back(std::make_unique<RelayClient>(opt, d, silent));
        if (!relays.back()->Start()) {
            std::fprintf(stderr, "relay-sim: cannot start relay %d\n", d);
            return 1;
        }
    }

    std::atomic<bool> stopReading{false};
    std::thread reader;
    if (!opt.dataIn.empty()) {
        reader = std::thread(ForwardDataIn, opt.dataIn, std::ref(*relays.front()),
                             std::cref(stopReading));
    }

    const auto start = Clock::now();
    const auto never = Clock::time_point::max();
    const auto end = opt.durationMs > 0 ? start + std::chrono::milliseconds(opt.durationMs) : never;
    auto silenceAt =
        opt.silenceAfterMs > 0 ? start + std::chrono::milliseconds(opt.silenceAfterMs) : never;
    auto nextPing = opt.pingMs > 0 ? start + std::chrono::milliseconds(opt.pingMs) : never;
    auto nextFlood = opt.statusFlood > 0 ? start : never;
    for (;;) {
        auto now = Clock::now();
        if (now >= end) break;
        if (now >= silenceAt) {
            silent.store(true, std::memory_order_relaxed);
            silenceAt = never;
            std::printf("relays silent\n");
            std::fflush(stdout);
        }
        if (now >= nextPing) {
            for (auto& r : relays) r->SendPing();
            nextPing += std::chrono::milliseconds(opt.pingMs);
        }
        if (now >= nextFlood) {
            relays.front()->SendStatusFlood(opt.statusFlood);
            nextFlood += std::chrono::milliseconds(opt.floodMs);
        }
        timespec wait = WaitFor(now, std::min({end, silenceAt, nextPing, nextFlood}));
        int sig = sigtimedwait(&sigs, nullptr, &wait);
        if (sig == SIGINT || sig == SIGTERM) break;
        if (sig == SIGUSR1 || sig == SIGUSR2) {
            silent.store(sig == SIGUSR1, std::memory_order_relaxed);
            std::printf(sig == SIGUSR1 ? "relays silent\n" : "relays answering\n");
            std::fflush(stdout);
        }
    }
    stopReading.store(true, std::memory_order_relaxed);
    if (reader.joinable()) reader.join();
    for (auto& r : relays) {
        r->Stop();
        std::printf("relay %d: %llu host messages, %llu packets sent\n", r->Devid(),
                    static_cast<unsigned long long>(r->HostMessages()),
                    static_cast<unsigned long long>(r->PacketsSent()));
    }
    return 0;
}
