#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "bridge/net_port.h"
#include "bridge/serial_port.h"

namespace norvex {

// A serial tty as the engine's network-side port: SerialPort, unchanged, behind NetPort.
class SerialNetPort final : public NetPort {
  public:
    explicit SerialNetPort(SerialPort port) : port_(std::move(port)) {}

    int Fd() const override { return port_.Fd(); }
    short PollEvents() const override;
    int InputCount() override { return port_.InputCount(); }
    int Read(uint8_t* dst, size_t len) override { return port_.Read(dst, len); }
    int Write(const uint8_t* src, size_t len) override { return port_.Write(src, len); }
    const std::string& LastError() const override { return port_.LastError(); }

  private:
    SerialPort port_;
};

}  // namespace norvex
