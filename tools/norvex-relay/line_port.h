#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/unique_fd.h"
#include "relay_config.h"

namespace norvex::relay {

// The relay's serial line: opened exclusively, raw, at the configured speed and framing, in
// RS-485 mode where the driver offers it.  Non-blocking; the caller polls Fd().
class LinePort {
public:
    // false with LastError() set; a symlink (/dev/serial/by-id/...) is followed at every open,
    // so a replugged adapter is found under its stable name.
    bool Open(const RelayConfig& cfg);
    void Close();
    bool IsOpen() const { return static_cast<bool>(fd_); }
    int Fd() const { return fd_.Get(); }
    // Bytes read (0: none waiting), -1 when the line is gone.
    int Read(uint8_t* dst, size_t cap);
    // POLLIN, with POLLOUT while written bytes are held back.
    short PollEvents() const;
    // Hands one payload to the line: all of it, or (the line already behind by kHeldLimit) none
    // of it.  false when the line failed; it is closed then, with LastError().
    bool Write(const uint8_t* src, size_t len);
    // Writes what Write() held back, as far as the line takes it now (on POLLOUT).
    bool FlushHeld();
    // Bytes the driver has taken, and bytes that never reached it: dropped because the line was
    // behind, or held when it closed.  Both count across reopening.
    uint64_t WrittenBytes() const { return written_; }
    uint64_t DroppedBytes() const { return dropped_; }
    const std::string& LastError() const { return error_; }
    // Set after Open: RS-485 was asked for and the driver does not offer it.
    bool Rs485Refused() const { return rs485Refused_; }

    // A driver's own buffer holds about 4 KiB; as much again in ours is four seconds at 9600
    // baud.  Anything later would reach the bus after its master has given up on it.
    static constexpr size_t kHeldLimit = 4096;

private:
    bool Fail(const std::string& what, int err);
    void DropHeld();
    UniqueFd fd_;
    std::vector<uint8_t> held_;
    size_t heldAt_ = 0;  // held_[heldAt_..] still to go
    uint64_t written_ = 0;
    uint64_t dropped_ = 0;
    std::string error_;
    bool rs485Refused_ = false;
};

}  // namespace norvex::relay
