// What the link layer and the workers reach the outside world through: the
// clock, the serial-port opener and the USB port I/O library. Production uses
// DefaultLinkServices(); tests swap single members (a clock that skips waits,
// an opener that wraps the real port to inject a fault).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "utility/clock.h"
#include "utility/serial_channel.h"
#include "utility/usb_port_io.h"

namespace klm::utility {

using SerialOpener = std::function<Result<std::unique_ptr<SerialChannel>>(const std::string& device_path)>;

struct LinkServices {
  Clock* clock = nullptr;
  SerialOpener open_serial;
  UsbPortIo* usb = nullptr;
};

// The system clock, termios ports and the device-node port I/O library.
LinkServices DefaultLinkServices();

}  // namespace klm::utility
