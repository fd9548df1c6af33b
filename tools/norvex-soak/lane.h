#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child.h"
#include "port_pair.h"
#include "record_stream.h"

namespace norvex::soak {

// Where the programs are and what every lane shares.
struct LaneSettings {
    std::string norvexd, norvexGroup, norvexGroupd, relaySim, socat;
    std::string dir;                     // scratch directory
    std::vector<std::string> env;        // broker, group service
    std::vector<std::string> relayArgs;  // relay misbehaviour
    int rate = 2000;                     // bytes per second each way
    int devices = 1;                     // relays registered in the group
    bool virtualPort = false;            // the service makes the pair itself
};

// One service on its own port pair with its own relay, and numbered traffic both ways:
// "up" from the application's end of the port to the relay, "down" from the relay to the
// application's end.
class Lane {
public:
    Lane(const LaneSettings& s, int index);
    ~Lane();
    Lane(const Lane&) = delete;
    Lane& operator=(const Lane&) = delete;

    // Creates the group, brings up the port pair and the relay, starts the service.
    bool Start(std::string* why);

    void Tick(Clock::time_point now);
    // The descriptors to wait on for input (fd, owner slot 0: port, 1: relay's output).
    void AddPollFds(std::vector<int>& fds) const;
    void OnReadable(int fd, Clock::time_point now);

    bool StartService();
    // The wait status once the service has ended, otherwise -1.
    int PollService() { return service_.Poll(); }
    bool ServiceRunning() const { return service_.Running(); }
    int ServicePid() const { return service_.Pid(); }
    int RelayPid() const { return relay_.Pid(); }
    int PortPid() const { return port_->Pid(); }

    // The application closes its end and keeps it closed until OpenApp.
    void CloseApp();
    bool OpenApp();
    void HangUpPort() { port_->HangUp(); }
    bool RestartPort();

    const std::string& GroupId() const { return groupId_; }
    RecordSource& UpSource() { return upSource_; }
    RecordSource& DownSource() { return downSource_; }
    RecordChecker& Up() { return up_; }
    RecordChecker& Down() { return down_; }
    std::string ServiceLog() const { return serviceLog_; }

private:
    bool CreateGroup(std::string* why);
    bool StartRelay();
    void DropApp();
    void Write(int fd, RecordSource& source, std::vector<uint8_t>& pending, double& credit,
               double seconds, Clock::time_point now);

    const LaneSettings& s_;
    int index_;
    std::string groupId_;
    std::string config_;
    std::string upFifo_, downFifo_;
    std::string serviceLog_;
    std::unique_ptr<PortPair> port_;
    int app_ = -1;                   // the application's end of the port
    bool appWanted_ = false;         // reopened whenever it can be, after the port went away
    int upRead_ = -1, upKeep_ = -1;  // relay's host data out
    int downWrite_ = -1;             // relay's data in
    Child relay_;
    Child service_;
    RecordSource upSource_, downSource_;
    RecordChecker up_{upSource_}, down_{downSource_};
    std::vector<uint8_t> upPending_, downPending_;
    double upCredit_ = 0, downCredit_ = 0;
    std::optional<Clock::time_point> lastTick_;
};

}  // namespace norvex::soak
