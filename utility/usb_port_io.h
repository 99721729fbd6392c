// The port I/O library for USB printers: write and read by port name, each
// with a time-out. The stand-in finds the device node through the machine
// store's port map (USB001 -> a USB printer node, or the simulator's node)
// and opens it for every call, as the library does.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/result.h"

namespace klm::utility {

class UsbPortIo {
 public:
  virtual ~UsbPortIo() = default;
  // Bytes written within `timeout_ms`; ERROR_TIMEOUT when not all fit in time.
  virtual Result<std::size_t> Write(std::string_view port_name, std::span<const std::uint8_t> bytes,
                                    std::uint32_t timeout_ms) = 0;
  // Waits up to `timeout_ms` for the first byte, then takes what follows
  // without a pause longer than 20 ms, up to the buffer's size. ERROR_TIMEOUT
  // when nothing came; ERROR_UNKNOWN_PORT when the port is not mapped.
  virtual Result<std::size_t> Read(std::string_view port_name, std::span<std::uint8_t> buffer,
                                   std::uint32_t timeout_ms) = 0;
};

// The stand-in over device nodes. Shared by every thread (it keeps no state).
UsbPortIo& DeviceNodePortIo();

}  // namespace klm::utility
