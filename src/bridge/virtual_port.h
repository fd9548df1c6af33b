#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "bridge/net_port.h"
#include "bridge/pty_terminal.h"

namespace norvex {

// A network-side port the service makes itself: a pseudo-terminal, raw 115200 8N1, found by the
// user's program through a symbolic link.  The program may open and close the link as often as
// it likes: that is no failure of the port.  What it writes is read whether it still has the
// terminal open or not.  Bytes for the program go out only while some program has the terminal
// open and its queue has room; the rest is dropped and counted, as on a line nobody listens to,
// so the engine never waits for a program.  A program that opens the terminal receives only
// what arrives after it opened.  Engine thread only.
class VirtualPort final : public NetPort {
public:
    // nullptr with *error set (naming linkPath) when the terminal or the link cannot be made.
    static std::unique_ptr<VirtualPort> Open(const std::string& linkPath,
                                             const VirtualPortOptions& options, std::string* error);
    ~VirtualPort() override;  // removes the link if it still points at this terminal

    int Fd() const override { return terminal_.MasterFd(); }
    short PollEvents() const override;
    int WatchFd() const override { return terminal_.WatchFd(); }
    void OnWatchReady() override;

    int InputCount() override;
    int Read(uint8_t* dst, size_t len) override;
    int Write(const uint8_t* src, size_t len) override;
    uint64_t DroppedBytes() const override { return dropped_; }
    const std::string& LastError() const override { return lastError_; }

    // Some program has the terminal open (as far as the watch has told).
    bool Attached() const { return openers_ > 0; }
    const std::string& TerminalPath() const { return terminal_.SlavePath(); }
    const std::string& LinkPath() const { return linkPath_; }

private:
    VirtualPort() = default;
    int Fail(const char* what, int err);

    PtyTerminal terminal_;
    std::string linkPath_;
    int openers_ = 0;       // programs other than ours holding the terminal
    uint64_t dropped_ = 0;  // bytes for the program that nobody could take
    std::string lastError_;
};

}  // namespace norvex
