#include "support/private_display.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace norvex::test {
namespace {

using namespace std::chrono_literals;

template <typename F>
bool WaitFor(F done, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

}  // namespace

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool PrivateDisplay::Start() {
    for (int n = 70; n < 100 && display_.empty(); ++n) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (PathExists(socket) || PathExists("/tmp/.X" + std::to_string(n) + "-lock")) continue;
        const std::string name = ":" + std::to_string(n);
        if (!server_.Start({kXvfb, name, "-nolisten", "tcp", "-screen", "0", "800x600x24"}))
            return false;
        if (WaitFor([&] { return PathExists(socket); }, 10s)) {
            display_ = name;
        } else {
            server_.Stop();
        }
    }
    if (display_.empty()) return false;
    ::setenv("DISPLAY", display_.c_str(), 1);
    return true;
}

bool PrivateSessionBus::Start(const std::string& dir) {
    const std::string socket = dir + "/bus";
    const std::string address = "unix:path=" + socket;
    if (!daemon_.Start({kDaemon, "--session", "--nofork", "--nopidfile", "--address=" + address}))
        return false;
    if (!WaitFor([&] { return PathExists(socket); }, 10s)) return false;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    return true;
}

}  // namespace norvex::test
