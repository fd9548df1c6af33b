#include "relay_loop.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>

#include "common/deadline.h"
#include "relay_payload.h"

namespace norvex::relay {

namespace {

// a vanished adapter is looked for again after 250 ms, then less often, at most every 5 s
constexpr uint32_t kFirstLineRetryMs = 250;
constexpr uint32_t kMaxLineRetryMs = 5000;

int BitsPerCharacter(const RelayConfig& c) {
    return 1 + c.dataBits + (c.parity != 'N' ? 1 : 0) + c.stopBits;
}

uint32_t IdleMs(const RelayConfig& c) {
    if (c.gatherIdleMs > 0) return static_cast<uint32_t>(c.gatherIdleMs);
    return GatherIdleMs(c.speed, BitsPerCharacter(c));
}

int64_t UnixMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

RelayLoop::RelayLoop(RelayConfig cfg, std::string configPath, const TickClock& clock)
    : cfg_(std::move(cfg)),
      configPath_(std::move(configPath)),
      clock_(clock),
      link_(
          cfg_, [this](const uint8_t* p, size_t n) { OnHost(p, n); }, [this] { OnSubscribed(); }),
      gather_(IdleMs(cfg_)) {}

const RelayCounters& RelayLoop::Counters() {
    counters_.hostGaps = hostSequence_.Gaps();
    counters_.hostRestarts = hostSequence_.Restarts();
    counters_.reconnects = link_.Reconnects() > 0 ? link_.Reconnects() - 1 : 0;
    counters_.lastConnectUnixMs = link_.LastConnectUnixMs();
    counters_.connected = link_.Subscribed();
    counters_.bytesFromGroup = line_.WrittenBytes();
    counters_.hostBytesNoLine = hostBytesWithoutLine_ + line_.DroppedBytes();
    return counters_;
}

void RelayLoop::OpenLineWhenDue(uint32_t now) {
    if (line_.IsOpen() || TickMsLeft(now, lineRetrySince_, lineRetryWaitMs_) > 0) return;
    if (line_.Open(cfg_)) {
        std::fprintf(stderr, "norvex-relay: %s open, %u baud %d%c%d\n", cfg_.port.c_str(),
                     cfg_.speed, cfg_.dataBits, cfg_.parity, cfg_.stopBits);
        if (line_.Rs485Refused() && !lineWasOpen_)
            std::fprintf(stderr, "norvex-relay: %s offers no RS-485 mode; used as it is\n",
                         cfg_.port.c_str());
        if (lineWasOpen_) ++counters_.lineReopens;
        lineWasOpen_ = true;
        lineBackoffMs_ = 0;
        lastLineError_.clear();
        return;
    }
    if (line_.LastError() != lastLineError_) {
        std::fprintf(stderr, "norvex-relay: %s; waiting for it\n", line_.LastError().c_str());
        lastLineError_ = line_.LastError();
    }
    lineBackoffMs_ = std::min(kMaxLineRetryMs, std::max(kFirstLineRetryMs, lineBackoffMs_ * 2));
    RetryLineIn(now, lineBackoffMs_);
}

void RelayLoop::RetryLineIn(uint32_t now, uint32_t waitMs) {
    lineRetrySince_ = now;
    lineRetryWaitMs_ = waitMs;
}

void RelayLoop::LineLost(uint32_t now) {
    std::fprintf(stderr, "norvex-relay: %s: %s\n", cfg_.port.c_str(), line_.LastError().c_str());
    RetryLineIn(now, kFirstLineRetryMs);
}

void RelayLoop::ServeLine(short revents, uint32_t now) {
    if ((revents & POLLOUT) != 0 && !line_.FlushHeld()) {
        LineLost(now);
        return;
    }
    if ((revents & ~POLLOUT) != 0) ReadLine(now);
}

void RelayLoop::ReadLine(uint32_t now) {
    uint8_t buf[512];
    std::vector<std::vector<uint8_t>> ready;
    for (int round = 0; round < 16; ++round) {
        int n = line_.Read(buf, sizeof buf);
        if (n < 0) {
            LineLost(now);
            break;
        }
        if (n == 0) break;
        gather_.Add(buf, static_cast<size_t>(n), now, ready);
    }
    for (const auto& p : ready) SendPacket(p);
}

void RelayLoop::SendPacket(const std::vector<uint8_t>& bytes) {
    uint16_t number = numbers_.Take();
    if (skipNext_) {
        skipNext_ = false;
        ++counters_.hookSkipped;
        return;
    }
    std::string payload =
        relaysim::FormatClientPayload(cfg_.senderKey, number, bytes.data(), bytes.size());
    if (!link_.Publish(link_.DataTopic(), payload)) {
        ++counters_.notPublished;
        return;
    }
    ++counters_.packetsToGroup;
    counters_.bytesToGroup += bytes.size();
}

void RelayLoop::OnHost(const uint8_t* payload, size_t len) {
    relaysim::HostData data;
    if (!relaysim::ParseHostPayload(payload, len, data)) {
        std::fprintf(stderr, "norvex-relay: host payload of %zu bytes has no sequence\n", len);
        return;
    }
    hostSequence_.Note(data.sequence);
    ++counters_.packetsFromGroup;
    if (!line_.IsOpen()) {
        hostBytesWithoutLine_ += data.bytes.size();
        return;
    }
    if (!line_.Write(data.bytes.data(), data.bytes.size())) LineLost(clock_.NowMs());
}

void RelayLoop::OnSubscribed() {
    link_.Publish(link_.StatusTopic(), relaysim::FormatBaseInfo(cfg_.device, cfg_.infoText, 1, 0,
                                                                cfg_.iccid, cfg_.imei));
    link_.Publish(link_.StatusTopic(), relaysim::FormatPingAck(cfg_.device));
    lastPingMs_ = clock_.NowMs();
    std::fprintf(stderr, "norvex-relay: subscribed to group %s\n", cfg_.group.c_str());
}

// SIGHUP: the file's status values are read again; changed ones are announced at once.
void RelayLoop::Reload() {
    RelayConfig fresh = cfg_;
    std::string err;
    if (!ReadConfigFile(configPath_, fresh, err)) {
        std::fprintf(stderr, "norvex-relay: reload: %s; keeping the old values\n", err.c_str());
        return;
    }
    if (fresh.infoText == cfg_.infoText && fresh.iccid == cfg_.iccid && fresh.imei == cfg_.imei)
        return;
    cfg_.infoText = fresh.infoText;
    cfg_.iccid = fresh.iccid;
    cfg_.imei = fresh.imei;
    if (link_.Subscribed()) OnSubscribed();
}

bool RelayLoop::OnSignal(int signalFd) {
    signalfd_siginfo si{};
    while (::read(signalFd, &si, sizeof si) == static_cast<ssize_t>(sizeof si)) {
        switch (si.ssi_signo) {
            case SIGUSR1:
                std::fprintf(stderr, "%s\n", FormatRelayStats(Counters(), UnixMs()).c_str());
                break;
            case SIGUSR2:
                skipNext_ = true;
                break;
            case SIGHUP:
                Reload();
                break;
            default:
                return false;
        }
    }
    return true;
}

uint32_t RelayLoop::PingLeft(uint32_t now) const {
    return TickMsLeft(now, lastPingMs_, static_cast<uint32_t>(cfg_.pingIntervalS) * 1000u);
}

int RelayLoop::Timeout(uint32_t now) const {
    int t = link_.MsLeft(now);
    int g = gather_.MsLeft(now);
    if (g >= 0) t = std::min(t, g);
    if (!line_.IsOpen())
        t = std::min(t, static_cast<int>(TickMsLeft(now, lineRetrySince_, lineRetryWaitMs_)));
    if (link_.Subscribed()) t = std::min(t, static_cast<int>(PingLeft(now)));
    return t;
}

int RelayLoop::Run(int signalFd) {
    std::string why;
    if (!link_.Setup(why)) {
        std::fprintf(stderr, "norvex-relay: %s\n", why.c_str());
        return 1;
    }
    for (;;) {
        uint32_t now = clock_.NowMs();
        OpenLineWhenDue(now);
        pollfd fds[3] = {{signalFd, POLLIN, 0},
                         {line_.Fd(), line_.PollEvents(), 0},
                         {link_.Fd(), link_.Events(), 0}};
        int n = ::poll(fds, 3, Timeout(now));
        now = clock_.NowMs();
        if (n > 0 && fds[0].revents != 0 && !OnSignal(signalFd)) return 0;
        if (n > 0 && fds[1].revents != 0) ServeLine(fds[1].revents, now);
        std::vector<uint8_t> rest = gather_.TakeIfIdle(now);
        if (!rest.empty()) SendPacket(rest);
        link_.Service(n > 0 ? fds[2].revents : 0, now);
        if (link_.Subscribed() && PingLeft(now) == 0) {
            link_.Publish(link_.StatusTopic(), relaysim::FormatPingAck(cfg_.device));
            lastPingMs_ = now;
        }
    }
}

}  // namespace norvex::relay
