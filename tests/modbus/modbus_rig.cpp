#include "modbus_rig.h"

#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/net_util.h"
#include "support/text_file.h"

namespace norvex::test {

using namespace std::chrono_literals;

namespace {

constexpr char kConnectedText[] = "button: 运行中，点击停止";
constexpr auto kStartLimit = 20s;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

bool StartsWith(const std::string& s, const std::string& head) {
    return s.compare(0, head.size(), head) == 0;
}

// "[12]: \t345" (the reference, a colon, a tab, the value); false for any other line.
bool ParseValueLine(const std::string& line, int& ref, long& value) {
    if (line.empty() || line[0] != '[') return false;
    char* end = nullptr;
    long r = std::strtol(line.c_str() + 1, &end, 10);
    if (end == line.c_str() + 1 || end[0] != ']' || end[1] != ':') return false;
    const char* v = end + 2;
    long val = std::strtol(v, &end, 0);
    if (end == v) return false;
    ref = static_cast<int>(r);
    value = val;
    return true;
}

}  // namespace

std::vector<MbpollPoll> ParseMbpollOutput(const std::string& text) {
    static const std::string kHead = "-- Polling slave ";
    std::vector<MbpollPoll> polls;
    for (const std::string& line : Lines(text)) {
        if (StartsWith(line, kHead)) {
            polls.emplace_back();
            polls.back().unit = std::atoi(line.c_str() + kHead.size());
            continue;
        }
        if (polls.empty()) continue;
        int ref = 0;
        long value = 0;
        if (ParseValueLine(line, ref, value)) {
            polls.back().values[ref] = value;
        } else if (line.find("failed:") != std::string::npos) {
            polls.back().failure = line;
        }
    }
    return polls;
}

std::vector<bool> FreshAnswers(const std::vector<MbpollPoll>& polls, int unit) {
    std::vector<bool> fresh;
    bool haveOffset = false;
    long offset = 0;
    for (const MbpollPoll& p : polls) {
        if (p.unit != unit) continue;
        long index = static_cast<long>(fresh.size());
        auto count = p.values.find(1);
        bool ok = p.Ok() && count != p.values.end();
        if (ok && !haveOffset) {
            offset = count->second - index;
            haveOffset = true;
        }
        fresh.push_back(ok && count->second - index == offset);
    }
    return fresh;
}

ModbusSlave::ModbusSlave(const std::string& link, int unit, const std::string& log)
    : link_(link), log_(log) {
    proc_.Start({NORVEX_MODBUS_SLAVE_BIN, "--link", link, "--unit", std::to_string(unit)}, {},
                log_);
}

bool ModbusSlave::Ready() {
    return WaitUntil([&] { return ReadTextFile(log_).find("ready\n") != std::string::npos; }, 10s);
}

std::vector<long> ModbusSlave::Registers() {
    static const std::string kHead = "holding:";
    size_t before = CountOf(ReadTextFile(log_), kHead);
    if (!proc_.Signal(SIGUSR1) ||
        !WaitUntil([&] { return CountOf(ReadTextFile(log_), kHead) > before; }, 5s)) {
        return {};
    }
    std::string last;
    for (const std::string& line : Lines(ReadTextFile(log_)))
        if (StartsWith(line, kHead)) last = line;
    std::vector<long> regs;
    std::istringstream in(last.substr(kHead.size()));
    for (long v; in >> v;) regs.push_back(v);
    return regs;
}

std::vector<std::string> ModbusSlave::Writes() const {
    std::vector<std::string> out;
    for (const std::string& line : Lines(ReadTextFile(log_)))
        if (StartsWith(line, "write ")) out.push_back(line);
    return out;
}

ModbusRig::ModbusRig(const ModbusRigOptions& options) : port_(group_.Scratch("ttyModbus")) {
    if (!group_.Ok()) {
        why_ = "broker or group service did not start";
        return;
    }
    if (!group_.CreateGroup(port_)) {
        why_ = "the group could not be made";
        return;
    }
    for (int unit : {1, 2}) {
        slaves_.push_back(
            std::make_unique<ModbusSlave>(group_.Scratch("ttyRelay" + std::to_string(unit)), unit,
                                          group_.Scratch("slave" + std::to_string(unit) + ".log")));
        if (!slaves_.back()->Ready()) {
            why_ = "slave " + std::to_string(unit) + " did not start";
            return;
        }
        if (!StartRelay(unit)) {
            why_ = "relay " + std::to_string(unit) + " did not start";
            return;
        }
    }
    std::vector<std::string> argv = {ProgramPath("norvexd"), "--config", group_.ConfigPath(),
                                     "--virtual-port", port_};
    argv.insert(argv.end(), options.norvexdArgs.begin(), options.norvexdArgs.end());
    if (!norvexd_.Start(argv, group_.Env(), group_.Scratch("norvexd.log"))) {
        why_ = "norvexd did not start";
        return;
    }
    if (!WaitBrokerLink(1, kStartLimit) || !WaitAnswers(kStartLimit)) {
        why_ = "norvexd or the relays did not connect";
        return;
    }
    struct stat st {};
    ok_ = WaitUntil([&] { return ::stat(port_.c_str(), &st) == 0; }, 5s);
    if (!ok_) why_ = "norvexd made no virtual port";
}

std::string ModbusRig::Why() const {
    return why_ + "\n" + NorvexdLog();
}

std::string ModbusRig::NorvexdLog() const {
    return ReadTextFile(group_.Scratch("norvexd.log"));
}

bool ModbusRig::StartRelay(int unit) {
    const std::string name = "relay" + std::to_string(unit);
    const std::string config = group_.Scratch(name + ".conf");
    std::ofstream(config) << "broker = " << group_.Broker().HostPort() << "\n"
                          << "group = " << group_.GroupId() << "\n"
                          << "device = " << unit << "\n"
                          << "port = " << slaves_.back()->Link() << "\n"
                          << "speed = 115200\n"
                          << "reconnect_pause_ms = 200\n"
                          << "ping_interval_s = 1\n";
    relays_.push_back(std::make_unique<ChildProcess>());
    return relays_.back()->Start({NORVEX_RELAY_BIN, "--config", config}, {},
                                 group_.Scratch(name + ".log"));
}

// norvexd shows its running text once when it starts and once per broker connection
size_t ModbusRig::BrokerLinks() const {
    size_t shown = CountOf(NorvexdLog(), kConnectedText);
    return shown > 0 ? shown - 1 : 0;
}

bool ModbusRig::WaitBrokerLink(size_t times, std::chrono::milliseconds limit) {
    return WaitUntil([&] { return BrokerLinks() >= times; }, limit);
}

bool ModbusRig::WaitAnswers(std::chrono::milliseconds limit) {
    auto answers = [&](int unit) {
        std::string out;
        return RunMbpoll(port_, {"-a", std::to_string(unit), "-c", "1", "-o", "0.3", "-1"}, &out) ==
               0;
    };
    return WaitUntil([&] { return answers(1) && answers(2); }, limit);
}

std::vector<std::string> MbpollCommand(const std::string& port,
                                       const std::vector<std::string>& options,
                                       const std::vector<long>& writeValues) {
    // unbuffered, so that a poll shows in the log as it happens and errors stay in place
    std::vector<std::string> argv = {
        "/usr/bin/stdbuf", "-o0", "-e0", NORVEX_MBPOLL_BIN, "-m", "rtu", "-b",
        "115200",          "-P",  "none"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(port);
    if (!writeValues.empty()) argv.push_back("--");  // values may be negative
    for (long v : writeValues) argv.push_back(std::to_string(v));
    return argv;
}

int RunMbpoll(const std::string& port, const std::vector<std::string>& options, std::string* output,
              const std::vector<long>& writeValues) {
    return RunProgram(MbpollCommand(port, options, writeValues), {}, output, 30s);
}

MbpollPoller::MbpollPoller(const std::string& port, const std::vector<std::string>& args,
                           const std::string& log)
    : log_(log) {
    started_ = proc_.Start(MbpollCommand(port, args), {}, log_);
}

std::vector<MbpollPoll> MbpollPoller::Polls() const {
    std::vector<MbpollPoll> polls = ParseMbpollOutput(ReadTextFile(log_));
    // while it runs, the last poll may still wait for its answer
    if (proc_.Running() && !polls.empty()) polls.pop_back();
    return polls;
}

bool MbpollPoller::WaitPolls(size_t n, std::chrono::milliseconds limit) const {
    return WaitUntil([&] { return Polls().size() >= n; }, limit);
}

void MbpollPoller::Stop() {
    if (!proc_.Running()) return;
    proc_.Signal(SIGINT);
    if (proc_.Wait(3s) == -1) proc_.Stop();
}

}  // namespace norvex::test
