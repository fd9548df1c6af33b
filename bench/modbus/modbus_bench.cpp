// Modbus poll round trips through the whole chain, measured with a libmodbus master of our own
// on norvexd's virtual port: reads of two holding registers, alternately from unit 1 (behind
// relay 1) and unit 2 (behind relay 2), with and without the request/response profile.  Beside
// them the relays' CPU time per 1000 polls and their resident memory, from /proc.
// Loopback only; every wait is bounded (a poll times out after 1 s).
#include <modbus/modbus.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../e2e/bench_stats.h"
#include "modbus_rig.h"

using norvex::test::ModbusRig;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kPolls = 1000;

// utime + stime of a process in clock ticks; -1 when unknown.
long long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string f;
    long long utime = 0, stime = 0;
    // fields after the name start at 3 (state); utime is 14, stime 15
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14) utime = std::atoll(f.c_str());
        if (i == 15) stime = std::atoll(f.c_str());
    }
    return utime + stime;
}

long RssKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

struct Run {
    std::vector<double> us;
    int failed = 0;
    double relayCpuMsPer1000 = 0;
    long relayRssKiB = 0;
};

bool Measure(ModbusRig& rig, Run& run) {
    std::unique_ptr<modbus_t, decltype(&modbus_free)> ctx(
        modbus_new_rtu(rig.Port().c_str(), 115200, 'N', 8, 1), &modbus_free);
    if (!ctx || modbus_connect(ctx.get()) != 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", rig.Port().c_str(), modbus_strerror(errno));
        return false;
    }
    modbus_set_response_timeout(ctx.get(), 1, 0);
    // a first answer from each unit, so that both paths are up before timing
    uint16_t regs[2];
    for (int unit : {1, 2}) {
        modbus_set_slave(ctx.get(), unit);
        modbus_read_registers(ctx.get(), 0, 2, regs);
    }
    pid_t relays[2] = {rig.Relay(1).Pid(), rig.Relay(2).Pid()};
    long long cpu0 = CpuTicks(relays[0]) + CpuTicks(relays[1]);
    for (int i = 0; i < kPolls; ++i) {
        modbus_set_slave(ctx.get(), 1 + i % 2);
        auto t0 = Clock::now();
        int n = modbus_read_registers(ctx.get(), 0, 2, regs);
        auto t1 = Clock::now();
        if (n != 2) {
            ++run.failed;
            continue;
        }
        run.us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    long long cpu1 = CpuTicks(relays[0]) + CpuTicks(relays[1]);
    // each relay sees every request and answers half of them: one relay's mean per 1000 polls
    double ms =
        static_cast<double>(cpu1 - cpu0) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    run.relayCpuMsPer1000 = ms / 2.0 * 1000.0 / kPolls;
    run.relayRssKiB = std::max(RssKiB(relays[0]), RssKiB(relays[1]));
    modbus_close(ctx.get());
    return true;
}

}  // namespace

int main() {
    struct Mode {
        const char* name;
        std::vector<std::string> args;
    };
    const Mode modes[] = {{"default rules", {}},
                          {"--profile request-response", {"--profile", "request-response"}}};
    std::printf("%d polls of 2 registers, units 1 and 2 in turn, 115200 8N1 on the virtual port\n",
                kPolls);
    std::printf("%-28s %10s %10s %7s %22s %12s\n", "norvexd", "p50 us", "p99 us", "failed",
                "relay CPU ms/1000 polls", "relay RSS KiB");
    for (const Mode& m : modes) {
        ModbusRig rig({m.args});
        if (!rig.Ok()) {
            std::fprintf(stderr, "%s: %s\n", m.name, rig.Why().c_str());
            return 1;
        }
        Run run;
        if (!Measure(rig, run)) return 1;
        std::printf("%-28s %10.0f %10.0f %7d %22.1f %12ld\n", m.name,
                    norvex::bench::Percentile(run.us, 0.5), norvex::bench::Percentile(run.us, 0.99),
                    run.failed, run.relayCpuMsPer1000, run.relayRssKiB);
    }
    return 0;
}
