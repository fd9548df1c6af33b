#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace norvex {

// The network-side port as the engine sees it: a serial tty (SerialPort) or a pseudo-terminal
// the service made itself (VirtualPort).  Engine thread only.
class NetPort {
public:
    virtual ~NetPort() = default;

    // Descriptors the engine sleeps on in poll(): Fd() with the events PollEvents() names (0:
    // nothing to wait for on it now), and WatchFd() (or -1) for POLLIN, after which the engine
    // calls OnWatchReady().  A virtual port with no program attached waits on its watch instead
    // of its terminal, which would report a hang-up without end.
    virtual int Fd() const = 0;
    virtual short PollEvents() const = 0;
    virtual int WatchFd() const { return -1; }
    virtual void OnWatchReady() {}

    // Bytes waiting; -1 when the port failed.
    virtual int InputCount() = 0;
    // Up to len waiting bytes: the count, 0 when none, -1 when the port failed.
    virtual int Read(uint8_t* dst, size_t len) = 0;
    // Hands all len bytes to the port: len, or -1 when the port failed (the run ends).  A
    // virtual port drops (and counts) what no program can receive instead of failing.
    virtual int Write(const uint8_t* src, size_t len) = 0;
    // The same without ever waiting, which is what the engine uses: what the application does
    // not take at once waits in a bounded buffer; beyond it bytes are dropped and counted.  A
    // port whose Write() never waits needs nothing else.
    virtual int WriteNoWait(const uint8_t* src, size_t len) { return Write(src, len); }
    // Writes what an earlier Write() held back, as far as the port takes it now (call it when
    // poll() reports POLLOUT): 0, or -1 when the port failed.
    virtual int FlushOutput() { return 0; }
    // Bytes dropped so far because no program had the port open or its queue was full.
    virtual uint64_t DroppedBytes() const { return 0; }

    // Why the last operation failed, for the user.
    virtual const std::string& LastError() const = 0;
};

// Opens the port the configuration names: "pty:PATH" makes a virtual port linked at PATH;
// anything else is a serial tty (a path, or a name under /dev).  nullptr on failure, with the
// reason in *error.
std::unique_ptr<NetPort> OpenNetPort(const std::string& name, std::string* error);
// The same, with the access rules a virtual port's terminal is given (a tty ignores them).
struct VirtualPortOptions {
    std::string group;     // a group name or number; empty: the terminal's group is left alone
    uint32_t mode = 0600;  // permission bits of the terminal (at most 0777)
};
std::unique_ptr<NetPort> OpenNetPort(const std::string& name, const VirtualPortOptions& options,
                                     std::string* error);

}  // namespace norvex
