#include "lane.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "stop_signal.h"

namespace norvex::soak {

namespace {

constexpr double kMaxBurstSeconds = 0.05;  // a stalled writer does not catch up in one go

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool RunToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& env,
              const std::string& output) {
    Child c;
    if (!c.Start(argv, env, output)) return false;
    int status = c.WaitFor(std::chrono::seconds(30));
    return status == 0;
}

}  // namespace

Lane::Lane(const LaneSettings& s, int index)
    : s_(s),
      index_(index),
      config_(s.dir + "/lane" + std::to_string(index) + ".cfg"),
      upFifo_(s.dir + "/up" + std::to_string(index)),
      downFifo_(s.dir + "/down" + std::to_string(index)),
      serviceLog_(s.dir + "/norvexd" + std::to_string(index) + ".log"),
      port_(s.virtualPort ? MakeVirtualPortPair(s.dir, index)
                          : MakeSocatPortPair(s.socat, s.dir, index)) {}

Lane::~Lane() {
    service_.Stop();
    relay_.Stop();
    for (int fd : {app_, upRead_, upKeep_, downWrite_}) {
        if (fd >= 0) ::close(fd);
    }
}

bool Lane::CreateGroup(std::string* why) {
    std::string out = s_.dir + "/group" + std::to_string(index_) + ".out";
    // norvex-group takes no password on its command line
    std::string passwordFile = s_.dir + "/password" + std::to_string(index_) + ".txt";
    std::ofstream(passwordFile) << "soak42\n";
    if (!RunToEnd(
            {s_.norvexGroup, "create", "--name", "Soak " + std::to_string(index_),
             "--password-file", passwordFile, "--config", config_, "--net-port", port_->NetPath()},
            s_.env, out)) {
        *why = "norvex-group create failed (see " + out + ")";
        return false;
    }
    groupId_ = FirstLine(out);
    for (int d = 1; d <= s_.devices && !StopRequested(); ++d) {
        std::string id = std::to_string(d);
        if (!RunToEnd(
                {s_.norvexGroupd, "add-device", groupId_, id, "8986" + std::to_string(1000000 + d),
                 "86" + std::to_string(2000000 + d), "--db", s_.dir + "/groupd.db"},
                {}, out)) {
            *why = "norvex-groupd add-device failed";
            return false;
        }
    }
    return !groupId_.empty();
}

bool Lane::Start(std::string* why) {
    if (!port_->Start()) {
        *why = "the port pair did not come up";
        return false;
    }
    if (!CreateGroup(why)) return false;
    ::mkfifo(upFifo_.c_str(), 0600);
    ::mkfifo(downFifo_.c_str(), 0600);
    upRead_ = ::open(upFifo_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    upKeep_ = ::open(upFifo_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    // read-write, so that the open does not wait for the relay; only the relay reads it
    downWrite_ = ::open(downFifo_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    // a service-held port exists only once the service runs; Tick opens it then
    if (upRead_ < 0 || upKeep_ < 0 || downWrite_ < 0 || (!OpenApp() && !port_->ServiceHeld())) {
        *why = "cannot open the pipes or the application's port";
        return false;
    }
    if (!StartRelay()) {
        *why = "relay-sim did not start";
        return false;
    }
    if (!StartService()) {
        *why = "norvexd did not start";
        return false;
    }
    return true;
}

bool Lane::StartRelay() {
    std::vector<std::string> argv = {s_.relaySim, "--group",   groupId_,     "--devids",
                                     "1",         "--no-echo", "--ping-ms",  "5000",
                                     "--data-in", downFifo_,   "--host-out", upFifo_};
    argv.insert(argv.end(), s_.relayArgs.begin(), s_.relayArgs.end());
    return relay_.Start(argv, s_.env, s_.dir + "/relay" + std::to_string(index_) + ".log");
}

bool Lane::StartService() {
    std::vector<std::string> argv = {s_.norvexd, "--config", config_};
    for (const auto& a : port_->ServiceArgs()) argv.push_back(a);
    return service_.Start(argv, s_.env, serviceLog_);
}

bool Lane::OpenApp() {
    appWanted_ = true;
    if (app_ >= 0) return true;
    app_ = ::open(port_->AppPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (app_ < 0) return false;
    termios t{};
    if (::tcgetattr(app_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(app_, TCSANOW, &t);
    }
    return true;
}

void Lane::CloseApp() {
    appWanted_ = false;
    DropApp();
}

void Lane::DropApp() {
    if (app_ >= 0) ::close(app_);
    app_ = -1;
    upPending_.clear();  // what was not written never existed for the checker
}

bool Lane::RestartPort() {
    CloseApp();
    return port_->Start() && OpenApp();
}

void Lane::Write(int fd, RecordSource& source, std::vector<uint8_t>& pending, double& credit,
                 double seconds, Clock::time_point now) {
    credit = std::min(credit + seconds * s_.rate, kMaxBurstSeconds * s_.rate + kRecordSize);
    if (fd < 0) return;
    if (pending.empty()) {
        auto count = static_cast<size_t>(credit / kRecordSize);
        credit -= static_cast<double>(count * kRecordSize);
        source.Produce(count, now, pending);
    }
    while (!pending.empty()) {
        ssize_t n = ::write(fd, pending.data(), pending.size());
        if (n <= 0) break;
        pending.erase(pending.begin(), pending.begin() + n);
    }
}

void Lane::Tick(Clock::time_point now) {
    double seconds = lastTick_ ? std::chrono::duration<double>(now - *lastTick_).count() : 0;
    lastTick_ = now;
    // the service's own port comes back with the service (after a restart)
    if (app_ < 0 && appWanted_ && port_->ServiceHeld()) OpenApp();
    Write(app_, upSource_, upPending_, upCredit_, seconds, now);
    Write(downWrite_, downSource_, downPending_, downCredit_, seconds, now);
}

void Lane::AddPollFds(std::vector<int>& fds) const {
    if (app_ >= 0) fds.push_back(app_);
    fds.push_back(upRead_);
}

void Lane::OnReadable(int fd, Clock::time_point now) {
    if (fd < 0 || (fd != app_ && fd != upRead_)) return;
    uint8_t buf[8192];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
        (fd == app_ ? down_ : up_).Take(buf, static_cast<size_t>(n), now);
    } else if (fd == app_ && (n == 0 || (errno != EAGAIN && errno != EINTR))) {
        DropApp();  // the pair went away under us
    }
}

}  // namespace norvex::soak
