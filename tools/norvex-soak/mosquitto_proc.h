#pragma once
#include <signal.h>

#include <string>

#include "child.h"

namespace norvex::soak {

// A private mosquitto on a loopback port.  It logs connections and subscriptions into a FIFO
// that the soak reads as lines come, so that each line is timed on arrival (mosquitto's own
// time stamps are whole seconds).
class MosquittoProc {
public:
    // dir holds the configuration and the log FIFO; port 0 picks a free one.
    MosquittoProc(const std::string& program, const std::string& dir, int port);
    ~MosquittoProc();

    bool Start();
    bool Listening() const;
    void Kill() { proc_.Kill(); }
    void Pause() const { proc_.Signal(SIGSTOP); }
    void Resume() const { proc_.Signal(SIGCONT); }
    bool Running() { return proc_.Poll() == -1 && proc_.Running(); }

    int Port() const { return port_; }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
    int Pid() const { return proc_.Pid(); }
    // Read end of the log FIFO (non-blocking); it never reports end of file.
    int LogFd() const { return logRead_; }

private:
    std::string program_;
    std::string conf_;
    std::string fifo_;
    int port_;
    int logRead_ = -1;
    int logKeep_ = -1;  // a writer of our own, so that a killed broker is no end of file
    Child proc_;
};

// A TCP port on 127.0.0.1 that was free a moment ago.
int FreeLoopbackPort();
// True when a TCP connect to 127.0.0.1:port succeeds at once.
bool PortAccepts(int port);
// A TCP socket bound to 127.0.0.1:port (address reuse on), not yet listening; -1 on failure.
int BindLoopback(int port);

}  // namespace norvex::soak
