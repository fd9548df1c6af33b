#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "bridge/byte_queue.h"
#include "bridge/net_port.h"
#include "common/unique_fd.h"

namespace norvex {

// Bytes for the application that the line has not taken yet wait up to this much.
inline constexpr size_t kPortHoldBytes = 64 * 1024;

// The network-side serial port: one tty (a real adapter or the far end of a pty pair), opened
// exclusively, 115200 8N1, raw, no flow control.  Only the engine thread touches it.
//
// Non-blocking throughout: Read() takes what is waiting and never waits, Write() waits in poll()
// for the port to take everything.  The engine writes with WriteNoWait() instead, which hands the
// line what it takes and keeps the rest, up to kPortHoldBytes, for FlushOutput(): an application
// that does not read costs bytes beyond that (dropped and counted), never a stalled engine.
// A port that goes away (an unplugged USB adapter, the other end of a pty closed) shows as -1
// from Read() or Write(); poll() on Fd() then reports POLLHUP/POLLERR, so a caller that sees
// those must call Read() to learn the port is gone rather than poll again.
class SerialPort final : public NetPort {
public:
    SerialPort() = default;
    ~SerialPort() override;
    SerialPort(SerialPort&& other) noexcept;
    SerialPort& operator=(SerialPort&& other) noexcept;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // A name beginning with "/" is a path; any other name ("ttyUSB0", "pts/3") lives under /dev.
    // Fails at once, with LastError() set, when the port does not exist, is not a tty, is held
    // by another program (or another descriptor of this one), or rejects the line settings.
    // Bytes that were waiting before the open are discarded.  An open port is closed first.
    bool Open(const std::string& name);
    void Close();
    bool IsOpen() const { return static_cast<bool>(fd_); }
    // For poll(): POLLIN when bytes are waiting, POLLOUT while written bytes are held back.
    int Fd() const override { return fd_.Get(); }
    short PollEvents() const override;

    // Bytes waiting in the input queue; -1 when the port failed or is not open.
    int InputCount() override;
    // Up to len bytes of what is waiting: the count read, 0 when nothing is waiting, -1 when the
    // port failed (EIO, hang-up) or is not open.
    int Read(uint8_t* dst, size_t len) override;
    // Writes all len bytes (after what WriteNoWait() held back), continuing partial writes and
    // waiting while the port's output queue is full, for at most 2000 + 2000 x len ms.  Returns
    // len, or -1 on a port failure or when the time is up (some bytes may have gone out by then).
    int Write(const uint8_t* src, size_t len) override;
    // Writes what the line takes now, after what was held back before; holds the rest while
    // there is room and drops (and counts) what finds none.  Returns len, or -1 on a port
    // failure.
    int WriteNoWait(const uint8_t* src, size_t len) override;
    int FlushOutput() override;
    uint64_t DroppedBytes() const override { return dropped_; }
    size_t HeldBytes() const { return held_.Size(); }

    // Why the last operation failed, for the user; empty after a success of Open().
    const std::string& LastError() const override { return lastError_; }
    // The errno of the last failure (0 when the failure had no errno, e.g. a time-out is
    // ETIMEDOUT).
    int LastErrno() const { return lastErrno_; }
    // The path the port was (or would have been) opened under.
    const std::string& Path() const { return path_; }

private:
    int Fail(const std::string& what, int err);
    // Writes from src until the line takes no more: the count written, or -1.
    ssize_t WriteNow(const uint8_t* src, size_t len);

    UniqueFd fd_;
    std::string path_;
    std::string lastError_;
    int lastErrno_ = 0;
    ByteQueue held_{kPortHoldBytes};  // written, not yet taken by the line
    uint64_t dropped_ = 0;            // found no room in held_
};

// "/dev/ttyS0" stays as it is; "ttyS0" becomes "/dev/ttyS0".
std::string SerialDevicePath(const std::string& name);

}  // namespace norvex
