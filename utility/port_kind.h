// Which kind of port a printer sits on, and how long a reply may take.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace klm::utility {

// Values as the dialogs and the stored state number them.
enum class PortKind : std::uint8_t {
  QmCom = 1,  // "QMCOMn:", serial through COMn:
  Com = 2,    // "COMn:", serial; the spooler holds it unless switched to "FILE:"
  Usb = 3,    // "USBnnn" or "QMUSBnnn", through the port I/O library
  Other = 4,  // no printer commands possible
};

// Prefixes compare without regard to case, "QMCOM" before "COM".
PortKind ClassifyPort(std::string_view port_name);

// The serial device a port name opens: "QMCOM2:" opens "COM2:", "COM1:" itself.
// Nothing for USB and other ports, which have no serial device.
std::optional<std::string> SerialDeviceName(std::string_view port_name, PortKind kind);

inline constexpr std::uint32_t kMinReplyBudgetMs = 500;
inline constexpr std::uint32_t kInitialiseReplyBudgetMs = 1500;
// Time limit for writing a command and for USB requests.
inline constexpr std::uint32_t kCommandWriteLimitMs = 1500;

// Milliseconds a 32-byte reply may take at `baud_rate`: (350000 / B * 3) / 2
// in unsigned arithmetic, at least `minimum_ms`. A rate of 0 gives the minimum.
std::uint32_t ReplyBudgetMs(std::uint32_t baud_rate, std::uint32_t minimum_ms = kMinReplyBudgetMs);

}  // namespace klm::utility
