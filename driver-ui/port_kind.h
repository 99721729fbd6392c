// What kind of port a printer sits on, as the dialogs and the status
// monitor tell the ports apart.
#pragma once

#include <cstdint>
#include <string_view>

namespace klm::platform {
struct PrinterHandle;
}

namespace klm::driver {

inline constexpr std::uint32_t PORT_KIND_OTHER = 0x10000;
inline constexpr std::uint32_t PORT_KIND_USB = 0x20000;     // "USB...", "QMUSB..."
inline constexpr std::uint32_t PORT_KIND_QMLAN = 0x80000;
inline constexpr std::uint32_t PORT_KIND_COM = 0x100000;
inline constexpr std::uint32_t PORT_KIND_QMCOM = 0x200000;
inline constexpr std::uint32_t PORT_KIND_LPT = 0x400000;
inline constexpr std::uint32_t PORT_KIND_KVSPL = 0x1000000;

// The kind of `port_name` by its prefix, compared without regard to case;
// PORT_KIND_OTHER for any other name and for an empty one.
std::uint32_t PortKind(std::string_view port_name);

// True when the printer's port is not a USB port (also when it has no port
// name); false when the printer cannot be asked.
bool IsNotUsbPort(const platform::PrinterHandle* printer);

// The machine key under which the standard TCP/IP port monitor lists its ports.
inline constexpr std::string_view kStandardTcpIpPortsKey =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";

// True when the standard TCP/IP port monitor has a key for `port_name`. A
// name that could not be one key (empty, or holding '\') is no such port.
bool IsStandardTcpIpPort(std::string_view port_name);

}  // namespace klm::driver
