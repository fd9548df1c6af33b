// End-to-end figures of the bridge: a private mosquitto, relay-sim, a pty standing in for the
// serial-port pair, and the relay engine, measured against a plain libmosquitto publisher
// through the same broker in the same run.  Loopback only; every wait is bounded.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench_stats.h"
#include "bridge/relay_engine.h"
#include "common/unique_fd.h"
#include "shell/trace_writer.h"
#include "support/child_process.h"
#include "support/mosquitto_broker.h"
#include "support/mosquitto_client.h"
#include "support/net_util.h"
#include "support/pty_pair.h"
#include "thread_cpu.h"

using namespace std::chrono_literals;
using BenchClock = std::chrono::steady_clock;
using norvex::bench::Percentiles;
using norvex::test::MosquittoClient;

namespace {

const std::string kGroup = "BENCH";
const std::string kHostTopic = "/group/" + kGroup + "/host";
const std::string kDataTopic = "/group/" + kGroup + "/client";
const std::string kBaseTopic = "bench/base";

// Says what goes wrong; nothing else is shown in a benchmark.
class QuietEvents final : public norvex::EngineEvents {
public:
    void OnState(const norvex::EngineStatus& s) override {
        if (s.state == norvex::EngineState::kNetworkFault ||
            s.state == norvex::EngineState::kStopped) {
            std::fprintf(stderr, "engine: state %d fault %d stop %d %s\n",
                         static_cast<int>(s.state), static_cast<int>(s.fault),
                         static_cast<int>(s.stopReason), s.detail.c_str());
        }
    }
    void OnRelayHeard(const norvex::RelayHeard&) override {}
    void OnRelayInfoChanged(const norvex::RelayRecord&) override {}
};

double UsSince(BenchClock::time_point t0, BenchClock::time_point t1) {
    return std::chrono::duration<double, std::micro>(t1 - t0).count();
}

uint8_t PatternByte(size_t i) {
    return static_cast<uint8_t>((i * 131 + (i >> 8)) & 0xFF);
}

// Arrivals at one subscriber: the latest arrival time and a count, plus an optional checker.
struct Arrivals {
    std::mutex mu;
    std::condition_variable cv;
    uint64_t count = 0;
    BenchClock::time_point last;

    void Note(BenchClock::time_point at) {
        std::lock_guard<std::mutex> l(mu);
        ++count;
        last = at;
        cv.notify_all();
    }
    // Waits until count exceeds `seen`; the arrival time, or nothing after the limit.
    bool WaitBeyond(uint64_t seen, std::chrono::milliseconds limit, BenchClock::time_point& at) {
        std::unique_lock<std::mutex> l(mu);
        if (!cv.wait_for(l, limit, [&] { return count > seen; })) return false;
        at = last;
        return true;
    }
    uint64_t Count() {
        std::lock_guard<std::mutex> l(mu);
        return count;
    }
};

// Checks the host payloads of a serial->group stream: sequence +1 each time (1 after 65535),
// data equal to the pattern from where the previous payload stopped.
struct HostStreamCheck {
    std::atomic<bool> active{false};
    size_t received = 0;
    uint64_t bad = 0;
    int lastSeq = -1;

    void Take(const uint8_t* d, size_t len) {
        if (!active.load(std::memory_order_acquire) || len < 2) return;
        int seq = d[0] | (d[1] << 8);
        if (lastSeq >= 0 && seq != (lastSeq == 65535 ? 1 : lastSeq + 1)) ++bad;
        lastSeq = seq;
        for (size_t i = 2; i < len; ++i)
            if (d[i] != PatternByte(received + i - 2)) ++bad;
        received += len - 2;
    }
};

std::string ClientPayload(uint32_t key, uint16_t number, const uint8_t* data, size_t len) {
    char head[16];
    std::snprintf(head, sizeof head, "%08X,%04X,", key, static_cast<unsigned>(number));
    std::string s(head);
    static const char* hex = "0123456789ABCDEF";
    for (size_t i = 0; i < len; ++i) {
        s.push_back(hex[data[i] >> 4]);
        s.push_back(hex[data[i] & 15]);
    }
    return s;
}

// What the application side has now (waiting up to timeoutMs for the first byte), at most max.
size_t ReadAvailable(int fd, std::vector<uint8_t>& out, size_t max, int timeoutMs) {
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) <= 0) return 0;
    uint8_t buf[4096];
    ssize_t n = ::read(fd, buf, std::min(max, sizeof buf));
    if (n <= 0) return 0;
    out.insert(out.end(), buf, buf + n);
    return static_cast<size_t>(n);
}

uint16_t NextNumber(uint16_t n) {
    return n == 65535 ? 1 : static_cast<uint16_t>(n + 1);
}

struct Bench {
    norvex::test::MosquittoBroker broker;
    norvex::test::PtyPair pty;
    norvex::test::ChildProcess relaySim;
    std::string simLog = "/tmp/norvex-e2e-relay-sim.txt";
    QuietEvents events;
    norvex::RelayEngine engine{events};
    pid_t engineTid = -1;
    // --trace FILE: the engine's byte monitor on, its lines written as norvexd writes them
    std::unique_ptr<norvex::TraceWriter> trace;
    pid_t traceTid = -1;

    MosquittoClient hostSub{"bench-host-sub"};
    MosquittoClient baseSub{"bench-base-sub"};
    MosquittoClient pub{"bench-pub"};
    Arrivals hostArrivals;
    Arrivals baseArrivals;
    HostStreamCheck hostCheck;

    bool Start() {
        if (!broker.Start() || !pty.Ok()) return false;
        if (!relaySim.Start({RELAY_SIM_BIN, "--broker", broker.HostPort(), "--group", kGroup,
                             "--ping-ms", "1000"},
                            {}, simLog))
            return false;
        if (!norvex::test::WaitUntil([&] { return SimSays("relay 1 ready"); }, 5s)) return false;
        auto hostHandler = [this](const std::string&, const uint8_t* d, size_t n,
                                  BenchClock::time_point at) {
            std::lock_guard<std::mutex> l(hostArrivals.mu);
            hostCheck.Take(d, n);
            ++hostArrivals.count;
            hostArrivals.last = at;
            hostArrivals.cv.notify_all();
        };
        auto baseHandler = [this](const std::string&, const uint8_t*, size_t,
                                  BenchClock::time_point at) { baseArrivals.Note(at); };
        if (!hostSub.Connect(broker.Port(), kHostTopic, hostHandler) ||
            !baseSub.Connect(broker.Port(), kBaseTopic, baseHandler) ||
            !pub.Connect(broker.Port(), "", {}))
            return false;
        norvex::EngineConfig config;
        config.brokerPort = broker.Port();
        config.groupId = kGroup;
        config.groupSerial = "1";
        config.portName = pty.SlavePath();
        if (trace) engine.SetTraceHook(trace->Hook());
        auto before = norvex::bench::ProcessThreads();
        if (!engine.Start(config)) return false;
        if (!norvex::test::WaitUntil(
                [&] { return engine.Counters().Snapshot().subscriptions >= 1; }, 10s))
            return false;
        for (pid_t t : norvex::bench::ProcessThreads())
            if (!before.count(t)) engineTid = t;
        return engineTid > 0;
    }

    bool SimSays(const std::string& what) {
        std::FILE* f = std::fopen(simLog.c_str(), "r");
        if (f == nullptr) return false;
        std::string text;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        std::fclose(f);
        return text.find(what) != std::string::npos;
    }

    void Stop() {
        engine.RequestStop();
        engine.Join();
        relaySim.Stop();
    }
};

// serial -> relay-sim (echo) -> serial.
std::vector<double> RoundTrip(Bench& b, int samples) {
    std::vector<double> us;
    std::vector<uint8_t> data(64);
    for (int s = 0; s < samples; ++s) {
        for (size_t i = 0; i < data.size(); ++i) data[i] = PatternByte(i + static_cast<size_t>(s));
        auto t0 = BenchClock::now();
        if (!b.pty.Write(data)) break;
        auto back = b.pty.Read(data.size(), 2000);
        if (back != data) break;
        us.push_back(UsSince(t0, BenchClock::now()));
    }
    return us;
}

std::vector<double> SerialToGroup(Bench& b, size_t size, int samples) {
    std::vector<double> us;
    std::vector<uint8_t> data(size, 0x5A);
    for (int s = 0; s < samples; ++s) {
        uint64_t seen = b.hostArrivals.Count();
        auto t0 = BenchClock::now();
        if (!b.pty.Write(data)) break;
        BenchClock::time_point at;
        if (!b.hostArrivals.WaitBeyond(seen, 2s, at)) break;
        us.push_back(UsSince(t0, at));
        std::this_thread::sleep_for(2ms);  // pacing between samples, not synchronisation
    }
    return us;
}

std::vector<double> BrokerHop(Bench& b, size_t size, int samples) {
    std::vector<double> us;
    std::vector<uint8_t> data(size, 0x5A);
    for (int s = 0; s < samples; ++s) {
        uint64_t seen = b.baseArrivals.Count();
        auto t0 = BenchClock::now();
        if (!b.pub.Publish(kBaseTopic, data.data(), data.size(), 1)) break;
        BenchClock::time_point at;
        if (!b.baseArrivals.WaitBeyond(seen, 2s, at)) break;
        us.push_back(UsSince(t0, at));
        std::this_thread::sleep_for(2ms);
    }
    return us;
}

std::vector<double> GroupToSerial(Bench& b, uint32_t key, int samples) {
    std::vector<double> us;
    uint16_t number = 1;
    for (int s = 0; s < samples; ++s, number = NextNumber(number)) {
        uint8_t data[16];
        for (size_t i = 0; i < sizeof data; ++i) data[i] = PatternByte(i + static_cast<size_t>(s));
        std::string p = ClientPayload(key, number, data, sizeof data);
        auto t0 = BenchClock::now();
        if (!b.pub.Publish(kDataTopic, p.data(), p.size(), 1)) break;
        auto got = b.pty.Read(sizeof data, 2000);
        if (got != std::vector<uint8_t>(data, data + sizeof data)) break;
        us.push_back(UsSince(t0, BenchClock::now()));
    }
    return us;
}

struct Throughput {
    double mbPerS = 0;
    double cpuSPerMb = 0;
    double traceCpuSPerMb = 0;  // the trace writer's thread, when tracing
    size_t bytes = 0;
    uint64_t bad = 0;
    bool complete = false;
};

Throughput SerialToGroupStream(Bench& b, size_t total) {
    std::vector<uint8_t> data(total);
    for (size_t i = 0; i < total; ++i) data[i] = PatternByte(i);
    {
        std::lock_guard<std::mutex> l(b.hostArrivals.mu);
        b.hostCheck.received = 0;
        b.hostCheck.bad = 0;
        b.hostCheck.lastSeq = -1;
        b.hostCheck.active.store(true, std::memory_order_release);
    }
    long long cpu0 = norvex::bench::ThreadCpuNs(b.engineTid);
    long long tcpu0 = b.traceTid > 0 ? norvex::bench::ThreadCpuNs(b.traceTid) : 0;
    auto t0 = BenchClock::now();
    std::thread writer([&] {
        for (size_t at = 0; at < total; at += 4096)
            if (!b.pty.Write(data.data() + at, std::min<size_t>(4096, total - at))) return;
    });
    Throughput r;
    r.complete = norvex::test::WaitUntil(
        [&] {
            std::lock_guard<std::mutex> l(b.hostArrivals.mu);
            return b.hostCheck.received >= total;
        },
        60s);
    auto t1 = BenchClock::now();
    writer.join();
    long long cpu1 = norvex::bench::ThreadCpuNs(b.engineTid);
    long long tcpu1 = b.traceTid > 0 ? norvex::bench::ThreadCpuNs(b.traceTid) : 0;
    {
        std::lock_guard<std::mutex> l(b.hostArrivals.mu);
        b.hostCheck.active.store(false, std::memory_order_release);
        r.bytes = b.hostCheck.received;
        r.bad = b.hostCheck.bad;
    }
    double mb = static_cast<double>(r.bytes) / 1e6;
    r.mbPerS = mb / std::chrono::duration<double>(t1 - t0).count();
    r.cpuSPerMb = static_cast<double>(cpu1 - cpu0) / 1e9 / std::max(mb, 1e-9);
    r.traceCpuSPerMb = static_cast<double>(tcpu1 - tcpu0) / 1e9 / std::max(mb, 1e-9);
    return r;
}

// One libmosquitto publisher at QoS 1, `count` payloads of `size` bytes, to one subscriber.
Throughput BaselineStream(Bench& b, size_t size, size_t count) {
    std::vector<uint8_t> data(size, 0x33);
    uint64_t start = b.baseArrivals.Count();
    auto t0 = BenchClock::now();
    for (size_t i = 0; i < count; ++i)
        if (!b.pub.Publish(kBaseTopic, data.data(), data.size(), 1)) break;
    Throughput r;
    r.complete =
        norvex::test::WaitUntil([&] { return b.baseArrivals.Count() - start >= count; }, 60s);
    BenchClock::time_point last;
    {
        std::lock_guard<std::mutex> l(b.baseArrivals.mu);
        last = b.baseArrivals.last;
        r.bytes = (b.baseArrivals.count - start) * size;
    }
    r.mbPerS =
        static_cast<double>(r.bytes) / 1e6 / std::chrono::duration<double>(last - t0).count();
    return r;
}

// Relay packets of 64 bytes into the port, at most `window` packets ahead of what the port
// delivered (window 0: all at once).
Throughput GroupToSerialStream(Bench& b, uint32_t key, size_t packets, size_t window) {
    const size_t total = packets * 64;
    std::vector<uint8_t> data(total);
    for (size_t i = 0; i < total; ++i) data[i] = PatternByte(i * 7 + 3);
    std::vector<uint8_t> got;
    got.reserve(total);
    long long cpu0 = norvex::bench::ThreadCpuNs(b.engineTid);
    long long tcpu0 = b.traceTid > 0 ? norvex::bench::ThreadCpuNs(b.traceTid) : 0;
    auto t0 = BenchClock::now();
    auto deadline = t0 + 60s;
    size_t published = 0;
    uint16_t number = 1;
    int idleReads = 0;
    while (got.size() < total && BenchClock::now() < deadline && idleReads < 20) {
        while (published < packets && (window == 0 || published - got.size() / 64 < window)) {
            std::string p = ClientPayload(key, number, data.data() + published * 64, 64);
            if (!b.pub.Publish(kDataTopic, p.data(), p.size(), 1)) break;
            number = NextNumber(number);
            ++published;
        }
        size_t n = ReadAvailable(b.pty.MasterFd(), got, total - got.size(), 100);
        idleReads = n == 0 ? idleReads + 1 : 0;
    }
    auto t1 = BenchClock::now();
    long long cpu1 = norvex::bench::ThreadCpuNs(b.engineTid);
    long long tcpu1 = b.traceTid > 0 ? norvex::bench::ThreadCpuNs(b.traceTid) : 0;
    Throughput r;
    r.bytes = got.size();
    r.complete = got.size() == total;
    // in order and without gaps: what came must be the beginning of what was sent
    r.bad = std::equal(got.begin(), got.end(), data.begin()) ? 0 : 1;
    double mb = static_cast<double>(r.bytes) / 1e6;
    r.mbPerS = mb / std::chrono::duration<double>(t1 - t0).count();
    r.cpuSPerMb = static_cast<double>(cpu1 - cpu0) / 1e9 / std::max(mb, 1e-9);
    r.traceCpuSPerMb = static_cast<double>(tcpu1 - tcpu0) / 1e9 / std::max(mb, 1e-9);
    return r;
}

void PrintThroughput(const char* what, const Throughput& t, bool cpu) {
    std::printf("%-44s %7.2f MB/s  %8zu bytes  %s%s", what, t.mbPerS, t.bytes,
                t.complete ? "complete" : "INCOMPLETE", t.bad ? "  OUT OF ORDER/CORRUPT" : "");
    if (cpu) std::printf("  engine %.4f CPU-s/MB", t.cpuSPerMb);
    if (cpu && t.traceCpuSPerMb > 0) std::printf("  trace writer %.4f CPU-s/MB", t.traceCpuSPerMb);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    Bench b;
    norvex::UniqueFd traceFd;
    if (argc == 3 && std::string(argv[1]) == "--trace") {
        traceFd = norvex::UniqueFd(::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (!traceFd) {
            std::fprintf(stderr, "e2e_bench: cannot open %s\n", argv[2]);
            return 2;
        }
        auto before = norvex::bench::ProcessThreads();
        b.trace = std::make_unique<norvex::TraceWriter>(traceFd.Get());
        for (pid_t t : norvex::bench::ProcessThreads())
            if (!before.count(t)) b.traceTid = t;
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: e2e_bench [--trace FILE]\n");
        return 2;
    }
    if (!b.Start()) {
        std::fprintf(stderr,
                     "e2e_bench: set-up failed (broker, relay-sim, probes or engine thread)\n");
        return 1;
    }
    std::printf("engine thread %d relaying between %s and broker port %d\n\n", b.engineTid,
                b.pty.SlavePath().c_str(), b.broker.Port());

    std::printf("latency\n");
    std::printf("  %-42s %s\n", "serial->relay-sim->serial, 64 B",
                Percentiles(RoundTrip(b, 200)).c_str());
    // the relays fall silent for the rest: their echoes would mix with the measured streams
    b.relaySim.Signal(SIGUSR1);
    norvex::test::WaitUntil([&] { return b.SimSays("relays silent"); }, 5s);
    b.pty.Read(1 << 20, 300);  // echoes still in flight
    auto hop64 = BrokerHop(b, 66, 500);
    auto s64 = SerialToGroup(b, 64, 500);
    std::printf("  %-42s %s\n", "broker hop, libmosquitto QoS 1, 66 B", Percentiles(hop64).c_str());
    std::printf("  %-42s %s\n", "serial->group, 64 B write", Percentiles(s64).c_str());
    std::printf("  %-42s %s\n", "serial->group, 10 B write (20 ms gather)",
                Percentiles(SerialToGroup(b, 10, 100)).c_str());
    std::printf("  %-42s %s\n", "group->serial, 16 B packet",
                Percentiles(GroupToSerial(b, 0xB0000001, 500)).c_str());
    std::printf("  64 B p99 over the broker hop: %+.1f us (target <= +200 us)\n\n",
                norvex::bench::Percentile(s64, 0.99) - norvex::bench::Percentile(hop64, 0.99));

    std::printf("throughput\n");
    const size_t kBytes = 4 << 20;
    auto base64 = BaselineStream(b, 66, kBytes / 64);
    auto s2g = SerialToGroupStream(b, kBytes);
    PrintThroughput("  baseline publisher, 66 B QoS 1 payloads", base64, false);
    PrintThroughput("  serial->group", s2g, true);
    std::printf("  serial->group / baseline: %.0f%% (target >= 90%%)\n",
                100.0 * s2g.mbPerS * 66 / 64 / std::max(base64.mbPerS, 1e-9));

    const size_t kPackets = 8192;
    auto base142 = BaselineStream(b, 142, kPackets);
    auto g2sWin = GroupToSerialStream(b, 0xB0000002, kPackets, 4);
    auto g2sAll = GroupToSerialStream(b, 0xB0000003, 2048, 0);
    PrintThroughput("  baseline publisher, 142 B QoS 1 payloads", base142, false);
    PrintThroughput("  group->serial, <= 4 packets in flight", g2sWin, true);
    PrintThroughput("  group->serial, 2048 packets at once", g2sAll, true);
    std::printf("  group->serial (window 4) / baseline, data bytes: %.0f%%\n\n",
                100.0 * g2sWin.mbPerS / std::max(base142.mbPerS * 64 / 142, 1e-9));

    long long idle0 = norvex::bench::ThreadCpuNs(b.engineTid);
    auto i0 = BenchClock::now();
    std::this_thread::sleep_for(5s);  // the measured interval itself
    long long idle1 = norvex::bench::ThreadCpuNs(b.engineTid);
    double idlePct = 100.0 * static_cast<double>(idle1 - idle0) /
                     std::chrono::duration<double, std::nano>(BenchClock::now() - i0).count();
    std::printf("idle engine CPU: %.3f%% of a core over 5 s (target < 0.2%%)\n", idlePct);
    b.Stop();
    return 0;
}
