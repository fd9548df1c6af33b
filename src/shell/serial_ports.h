#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace norvex {

// One serial port as the port choosers list it.
struct SerialPortEntry {
    std::string deviceName;  // the kernel driver behind it ("cdc_acm", "serial8250"), or the
                             // resolved path of a port named in NORVEX_SERIAL_PORTS
    std::string portName;    // what the service opens: "/dev/ttyUSB0", "/tmp/ttyV0"

    bool operator==(const SerialPortEntry&) const = default;
};

inline constexpr size_t kMaxSerialPorts = 256;

// The kernel's serial devices under sysfsRoot/class/tty (USB and ACM adapters, and the ttyS
// ports with a real UART behind them) as "/dev/NAME", in natural name order, then the
// character devices matching the colon-separated paths or globs of `extraPatterns` (the
// value of NORVEX_SERIAL_PORTS), each pattern's matches in name order.  At most 256 entries;
// whatever cannot be read is skipped.
std::vector<SerialPortEntry> EnumSerialPorts(const std::string& sysfsRoot,
                                             const std::string& extraPatterns);

// The same for this machine: /sys and the environment's NORVEX_SERIAL_PORTS.
std::vector<SerialPortEntry> EnumSerialPorts();

}  // namespace norvex
