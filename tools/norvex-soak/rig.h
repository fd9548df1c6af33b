#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "child.h"
#include "lane.h"
#include "mosquitto_proc.h"
#include "proc_stats.h"

namespace norvex::soak {

struct RigOptions {
    std::string binDir;  // the build tree
    std::string mosquitto = "/usr/sbin/mosquitto";
    std::string socat = "/usr/bin/socat";
    bool virtualPort = false;  // the service's own port in place of a socat pair
    int lanes = 1;
    int rate = 2000;
    int devices = 1;
    std::vector<std::string> relayArgs;
    double restartSeconds = 5;  // as the systemd unit's RestartSec
    bool keepScratch = false;
};

// One exit of a service that the rig noticed, and whether it was brought back.
struct ServiceExit {
    int lane = 0;
    Clock::time_point at;
    int status = 0;
};

// A sample of a service's process, with the process it was taken from.
struct ServiceSample {
    Clock::time_point at;
    int pid = 0;
    ProcSample proc;
};

// Everything of a run: the broker, the group service, the lanes, and the loop that keeps
// traffic going while the caller waits for something.
class Rig {
public:
    explicit Rig(const RigOptions& o);
    ~Rig();

    bool Start(std::string* why);
    // Runs traffic until done() holds or limit passes; true when done() held.
    bool Pump(Clock::duration limit, const std::function<bool()>& done = {});

    MosquittoProc& Broker() { return *broker_; }
    Lane& LaneAt(size_t i) { return *lanes_[i]; }
    size_t LaneCount() const { return lanes_.size(); }
    // The first time after t that the broker logged the subscription of lane's data topic.
    std::optional<Clock::time_point> SubscribedAfter(size_t lane, Clock::time_point t) const;

    // Restarts an ended service after the restart pause, as systemd does for a failure.
    void SetAutoRestart(bool on) { autoRestart_ = on; }
    const std::vector<ServiceExit>& Exits() const { return exits_; }
    std::optional<Clock::time_point> LastRestart(size_t lane) const { return restartedAt_[lane]; }
    const std::vector<ServiceSample>& Samples() const { return samples_; }
    const std::string& Scratch() const { return dir_; }

private:
    void ReadBrokerLog(Clock::time_point now);
    void WatchServices(Clock::time_point now);

    RigOptions o_;
    std::string dir_;
    LaneSettings settings_;
    std::unique_ptr<MosquittoProc> broker_;
    Child groupd_;
    std::vector<std::unique_ptr<Lane>> lanes_;
    std::string logLine_;
    std::map<std::string, std::vector<Clock::time_point>> subscribed_;  // by client id
    bool autoRestart_ = true;
    std::vector<ServiceExit> exits_;
    std::vector<std::optional<Clock::time_point>> restartDue_;
    std::vector<std::optional<Clock::time_point>> restartedAt_;
    std::vector<ServiceSample> samples_;
    Clock::time_point nextSample_{};
};

}  // namespace norvex::soak
