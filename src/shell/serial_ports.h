#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace norvex {

// One serial port as the port choosers list it.
struct SerialPortEntry {
    std::string deviceName;  // the kernel driver behind it ("cdc_acm", "serial8250"), or the
                             // resolved path of a port named in NORVEX_SERIAL_PORTS
    std::string portName;    // what the service opens: "/dev/serial/by-id/usb-FTDI_A1-if00",
                             // "/dev/ttyS0", "/tmp/ttyV0"
    std::string kernelName;  // the node a link portName leads to ("/dev/ttyUSB0"); empty when
                             // portName is the node itself

    bool operator==(const SerialPortEntry&) const = default;
};

inline constexpr size_t kMaxSerialPorts = 256;

// The kernel's serial devices under sysfsRoot/class/tty (USB and ACM adapters, the ttyS ports
// with a real UART behind them, and the tntN null-modem pairs) in natural name order, then the
// character devices matching the colon-separated paths or globs of `extraPatterns` (the value
// of NORVEX_SERIAL_PORTS), each pattern's matches in name order.  A kernel device is named
// "devRoot/NAME", or by its link in devRoot/serial/by-id when it has one: ttyUSB numbers change
// when adapters are plugged in again, the by-id names do not.  At most 256 entries; whatever
// cannot be read is skipped.
std::vector<SerialPortEntry> EnumSerialPorts(const std::string& sysfsRoot,
                                             const std::string& devRoot,
                                             const std::string& extraPatterns);

// The same for this machine: /sys and /dev, with the patterns of NORVEX_SERIAL_PORTS as the
// option reader found them (SiteEnv::extraSerialPorts).
std::vector<SerialPortEntry> EnumSerialPorts(const std::string& extraPatterns);

}  // namespace norvex
