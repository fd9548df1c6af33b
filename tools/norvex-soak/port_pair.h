#pragma once
#include <memory>
#include <string>
#include <vector>

namespace norvex::soak {

// The serial-port pair one service sits on: the application's end, which the soak opens, and
// whatever the service is given for its own end.  One small piece, so that a pair made by the
// service itself can take the place of an external one.
class PortPair {
public:
    virtual ~PortPair() = default;
    // Brings the pair up; true once the application's end can be opened.
    virtual bool Start() = 0;
    // The pair disappears under both ends at once.
    virtual void HangUp() = 0;
    // True when the service makes the pair: the application's end exists only while it runs.
    virtual bool ServiceHeld() const { return false; }
    virtual std::string AppPath() const = 0;
    // The network-side port the group is configured with.
    virtual std::string NetPath() const = 0;
    // Extra service arguments for its end (none when the configuration names it).
    virtual std::vector<std::string> ServiceArgs() const { return {}; }
    // The process holding the pair, 0 when the service holds it.
    virtual int Pid() const = 0;
};

// Two linked ptys made by socat: socat pty,raw,echo=0,link=APP pty,raw,echo=0,link=NET.
std::unique_ptr<PortPair> MakeSocatPortPair(const std::string& socat, const std::string& dir,
                                            int index);
// The service's built-in virtual port, linked in dir.
std::unique_ptr<PortPair> MakeVirtualPortPair(const std::string& dir, int index);

}  // namespace norvex::soak
