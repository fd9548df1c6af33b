#include <unistd.h>

#include "port_pair.h"

namespace norvex::soak {

namespace {

// The service's own virtual port: norvexd makes the pseudo-terminal and links it at the path
// the group's network-side port names ("pty:PATH"); the application opens PATH once the service
// is up.  Nothing else holds the pair, so it cannot be hung up from outside.
class VirtualPortPair : public PortPair {
public:
    VirtualPortPair(const std::string& dir, int index)
        : link_(dir + "/ttyVirtual" + std::to_string(index)) {}

    bool Start() override {
        ::unlink(link_.c_str());  // a link left by an earlier run would be refused
        return true;
    }
    void HangUp() override {}
    bool ServiceHeld() const override { return true; }
    std::string AppPath() const override { return link_; }
    std::string NetPath() const override { return "pty:" + link_; }
    int Pid() const override { return 0; }

private:
    std::string link_;
};

}  // namespace

std::unique_ptr<PortPair> MakeVirtualPortPair(const std::string& dir, int index) {
    return std::make_unique<VirtualPortPair>(dir, index);
}

}  // namespace norvex::soak
