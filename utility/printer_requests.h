// The printer's requests over a serial or USB link: status request, setting
// queries, and the synchronous setting query of the main dialog. Every
// function returns within its time limit plus one port read or write.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "utility/link_services.h"
#include "utility/port_kind.h"
#include "utility/printer_commands.h"
#include "utility/serial_channel.h"

namespace klm::utility {

// What a request needs to know about the printer (a copy of the utility's
// process-wide state).
struct PrinterLink {
  std::string port_name;
  PortKind kind = PortKind::Other;
  std::uint16_t model_codes = 0xFFFF;
  std::uint32_t baud_rate = 9600;
};

// Sets the port to `baud_rate`, purges, sends switch command mode and the
// status request, and reads the 32-byte status reply within the reply budget.
Result<Reply> SerialStatusRequest(SerialChannel& port, std::uint32_t baud_rate, Clock& clock);

// Sends the status request (no command-mode switch on USB) and reads the
// reply within `timeout_ms` in all.
Result<Reply> UsbStatusRequest(UsbPortIo& usb, std::string_view port_name, std::uint32_t timeout_ms, Clock& clock);

// Writes the query (1500 ms) and reads 32 bytes within `limit_ms`; the
// value is byte 30 of the reply, which is read as it comes.
Result<std::uint8_t> SerialSettingQuery(SerialChannel& port, Setting setting, std::uint32_t limit_ms, Clock& clock);

// Status request and model check, switch command mode, then the query. A
// reply shorter than 32 bytes fails (ERROR_INVALID_DATA).
Result<std::uint8_t> UsbSettingQuery(UsbPortIo& usb, std::string_view port_name, std::uint16_t model_codes,
                                     Setting setting, std::uint32_t timeout_ms, Clock& clock);

// The main dialog's query: USB query with 1500 ms for USB ports, the whole
// serial sequence (open, line set-up at the link's rate, status request,
// model check, query within the reply budget, close) for serial ports.
// ERROR_NOT_SUPPORTED for other ports. The caller switches a COM printer to
// "FILE:" around it (see ScopedFilePort, or use QuerySettingForDialog).
Result<std::uint8_t> SynchronousQuery(const PrinterLink& link, Setting setting, const LinkServices& services);

// Error code of a reply whose model codes are not the printer's.
inline constexpr std::uint32_t kWrongModelError = ERROR_INVALID_DATA;

}  // namespace klm::utility
