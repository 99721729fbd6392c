// Which device a port name stands for, and the serial ports' default line
// settings. Port names compare without regard to case; a trailing ':' is
// ignored ("COM1:" and "com1" are one port).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace klm::platform {

// The device node mapped to a port (a tty for COMn, a USB printer node for
// USBnnn). ERROR_UNKNOWN_PORT when the port is not mapped.
Result<std::string> PortDevice(std::string_view port_name);

// Maps (or re-maps) a port to a device path. The device need not exist yet.
Status MapPort(std::string_view port_name, std::string_view device);
Status UnmapPort(std::string_view port_name);

struct PortMapping {
  std::string port;    // as first given, without the trailing ':'
  std::string device;
};
Result<std::vector<PortMapping>> ListPorts();

// A serial port's default configuration, as the port's own settings dialog
// would keep it. A port never configured answers the defaults below.
struct SerialDefaults {
  std::uint32_t baud_rate = 9600;
  std::uint8_t data_bits = 8;
  char parity = 'n';      // n, e, o, m, s
  std::uint8_t stop_bits = 1;
  char handshake = 'p';   // p hardware, x XON/XOFF, n none
};
Result<SerialDefaults> GetDefaultCommConfig(std::string_view port_name);
Status SetDefaultCommConfig(std::string_view port_name, const SerialDefaults& config);

}  // namespace klm::platform
