#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace norvex {

// Opens and closes of the terminal by other programs since the last look.
struct TerminalUse {
    int opens = 0;
    int closes = 0;
    bool lost = false;  // the kernel dropped notices: the counts are incomplete
};

// A pseudo-terminal made for one user program: the service keeps the master, the program
// opens the slave.  The service also holds the slave open itself, so that the terminal lives
// (and keeps its raw 115200 8N1 settings) while no program has it, and the master never reports
// a hang-up; who else opens it is learnt from an inotify watch on the slave device.
// Linux only.  Engine thread only.
class PtyTerminal {
public:
    PtyTerminal() = default;
    ~PtyTerminal();
    PtyTerminal(const PtyTerminal&) = delete;
    PtyTerminal& operator=(const PtyTerminal&) = delete;

    // mode: permission bits of the slave; gid: its group, or -1 to keep the one it got.
    // False with *error set when any step fails; nothing stays open then.
    bool Open(uint32_t mode, int64_t gid, std::string* error);
    void Close();

    int MasterFd() const { return master_; }
    int WatchFd() const { return watch_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Takes the waiting notices off the watch; never blocks.
    TerminalUse ReadUse();
    // Discards what waits for the program (bytes it did not read before it closed); returns
    // how many bytes that was.
    size_t DiscardUnread();

private:
    int master_ = -1;
    int keeper_ = -1;  // our own slave descriptor
    int watch_ = -1;   // inotify
    std::string slavePath_;
};

// A group name or number as a gid; -1 when no such group exists.
int64_t GroupIdOf(const std::string& group);

}  // namespace norvex
