#include "rig.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "stop_signal.h"

namespace norvex::soak {

namespace {

constexpr auto kTick = std::chrono::milliseconds(10);
constexpr auto kSamplePeriod = std::chrono::seconds(1);

}  // namespace

Rig::Rig(const RigOptions& o) : o_(o) {
    char tmpl[] = "/tmp/norvex-soak-XXXXXX";
    const char* d = ::mkdtemp(tmpl);
    dir_ = d != nullptr ? d : "";
}

Rig::~Rig() {
    lanes_.clear();
    groupd_.Stop();
    broker_.reset();
    std::error_code ec;
    if (!o_.keepScratch && !dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

bool Rig::Start(std::string* why) {
    if (dir_.empty()) {
        *why = "no scratch directory";
        return false;
    }
    broker_ = std::make_unique<MosquittoProc>(o_.mosquitto, dir_, 0);
    int groupPort = FreeLoopbackPort();
    if (!broker_->Start() ||
        !groupd_.Start({o_.binDir + "/tools/norvex-groupd/norvex-groupd", "serve", "--port",
                        std::to_string(groupPort), "--db", dir_ + "/groupd.db"},
                       {}, dir_ + "/groupd.log")) {
        *why = "mosquitto or norvex-groupd did not start";
        return false;
    }
    if (!Pump(std::chrono::seconds(10),
              [&] { return broker_->Listening() && PortAccepts(groupPort); })) {
        *why = "mosquitto or norvex-groupd does not listen";
        return false;
    }
    std::string service = "127.0.0.1:" + std::to_string(groupPort);
    settings_ =
        LaneSettings{o_.binDir + "/src/shell/norvexd",
                     o_.binDir + "/tools/norvex-group/norvex-group",
                     o_.binDir + "/tools/norvex-groupd/norvex-groupd",
                     o_.binDir + "/tools/relay-sim/relay-sim",
                     o_.socat,
                     dir_,
                     {"NORVEX_BROKER=" + broker_->HostPort(), "NORVEX_GROUP_SERVICE=" + service,
                      "NORVEX_ONENET_API=" + service, "NORVEX_PRODUCT_ID="},
                     o_.relayArgs,
                     o_.rate,
                     o_.devices,
                     o_.virtualPort};
    for (int i = 0; i < o_.lanes; ++i) {
        lanes_.push_back(std::make_unique<Lane>(settings_, i));
        restartDue_.emplace_back();
        restartedAt_.emplace_back();
        if (!lanes_.back()->Start(why)) return false;
    }
    return true;
}

std::optional<Clock::time_point> Rig::SubscribedAfter(size_t lane, Clock::time_point t) const {
    auto it = subscribed_.find(lanes_[lane]->GroupId());
    if (it == subscribed_.end()) return std::nullopt;
    for (auto at : it->second) {
        if (at >= t) return at;
    }
    return std::nullopt;
}

// Subscription lines read "<client id> <qos> <filter>"; the data topic is the second filter,
// so its line marks the whole SUBSCRIBE as handled.
void Rig::ReadBrokerLog(Clock::time_point now) {
    char buf[8192];
    ssize_t n;
    while ((n = ::read(broker_->LogFd(), buf, sizeof buf)) > 0) {
        logLine_.append(buf, static_cast<size_t>(n));
        size_t end;
        while ((end = logLine_.find('\n')) != std::string::npos) {
            std::string line = logLine_.substr(0, end);
            logLine_.erase(0, end + 1);
            size_t space = line.find(' ');
            if (space == std::string::npos) continue;
            std::string id = line.substr(0, space);
            std::string suffix = " /group/" + id + "/client";
            if (line.size() > suffix.size() &&
                line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0)
                subscribed_[id].push_back(now);
        }
    }
}

void Rig::WatchServices(Clock::time_point now) {
    for (size_t i = 0; i < lanes_.size(); ++i) {
        Lane& lane = *lanes_[i];
        if (lane.ServiceRunning()) {
            int status = lane.PollService();
            if (status != -1) {
                exits_.push_back({static_cast<int>(i), now, status});
                if (autoRestart_)
                    restartDue_[i] = now + std::chrono::milliseconds(
                                               static_cast<long>(o_.restartSeconds * 1000));
            }
        } else if (restartDue_[i] && now >= *restartDue_[i] && autoRestart_) {
            restartDue_[i].reset();
            if (lane.StartService()) restartedAt_[i] = now;
        }
    }
    if (now < nextSample_) return;
    nextSample_ = now + kSamplePeriod;
    for (size_t i = 0; i < lanes_.size(); ++i) {
        int pid = lanes_[i]->ServicePid();
        if (pid > 0) samples_.push_back({now, pid, SampleProcess(pid, lanes_.size() > 1)});
    }
}

bool Rig::Pump(Clock::duration limit, const std::function<bool()>& done) {
    const auto deadline = Clock::now() + limit;
    auto nextTick = Clock::now();
    std::vector<int> fds;
    std::vector<pollfd> pfds;
    for (;;) {
        if (done && done()) return true;
        if (StopRequested()) return false;
        auto now = Clock::now();
        if (now >= deadline) return false;
        if (now >= nextTick) {
            for (auto& lane : lanes_) lane->Tick(now);
            if (!lanes_.empty()) WatchServices(now);
            nextTick = now + kTick;
        }
        fds.clear();
        if (broker_) fds.push_back(broker_->LogFd());
        for (auto& lane : lanes_) lane->AddPollFds(fds);
        pfds.clear();
        for (int fd : fds) pfds.push_back({fd, POLLIN, 0});
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::min(nextTick, deadline) - now);
        int r = ::poll(pfds.data(), pfds.size(), static_cast<int>(std::max<long>(0, wait.count())));
        if (r <= 0) continue;
        now = Clock::now();
        for (const pollfd& p : pfds) {
            if (p.revents == 0) continue;
            if (broker_ && p.fd == broker_->LogFd()) {
                ReadBrokerLog(now);
                continue;
            }
            for (auto& lane : lanes_) lane->OnReadable(p.fd, now);
        }
    }
}

}  // namespace norvex::soak
