#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

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
    void Close() { fd_.Close(); }
    bool IsOpen() const { return static_cast<bool>(fd_); }
    int Fd() const { return fd_.Get(); }
    // Bytes read (0: none waiting), -1 when the line is gone.
    int Read(uint8_t* dst, size_t cap);
    // Writes all bytes, waiting in poll() for at most limitMs; false when the line is gone or
    // will not take them.
    bool Write(const uint8_t* src, size_t len, int limitMs);
    const std::string& LastError() const { return error_; }
    // Set after Open: RS-485 was asked for and the driver does not offer it.
    bool Rs485Refused() const { return rs485Refused_; }

private:
    bool Fail(const std::string& what, int err);
    UniqueFd fd_;
    std::string error_;
    bool rs485Refused_ = false;
};

}  // namespace norvex::relay
