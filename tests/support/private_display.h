#pragma once
#include <string>

#include "support/child_process.h"

namespace norvex::test {

// A private Xvfb on the first free display from :70; DISPLAY names it once started.
class PrivateDisplay {
public:
    static constexpr char kXvfb[] = "/usr/bin/Xvfb";
    bool Start();
    const std::string& Name() const { return display_; }

private:
    ChildProcess server_;
    std::string display_;
};

// A private D-Bus session bus; DBUS_SESSION_BUS_ADDRESS names it once started.
class PrivateSessionBus {
public:
    static constexpr char kDaemon[] = "/usr/bin/dbus-daemon";
    // dir: where the bus's socket goes (a scratch directory of the test).
    bool Start(const std::string& dir);

private:
    ChildProcess daemon_;
};

bool PathExists(const std::string& path);

}  // namespace norvex::test
