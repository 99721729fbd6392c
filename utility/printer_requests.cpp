#include "utility/printer_requests.h"

#include <array>

#include "utility/serial_link.h"

namespace klm::utility {

namespace {

Error WrongModel(const Reply& status, std::uint16_t model_codes) {
  return MakeError(kWrongModelError, "the printer reports model codes " + std::to_string(status[kSeriesCodeByte]) +
                                         "/" + std::to_string(status[kModelCodeByte]) + ", expected " +
                                         std::to_string(model_codes & 0xFF) + "/" + std::to_string(model_codes >> 8));
}

}  // namespace

Result<Reply> SerialStatusRequest(SerialChannel& port, std::uint32_t baud_rate, Clock& clock) {
  if (Status line = ConfigureLine(port, std::to_string(baud_rate)); !line) {
    (void)port.ClearErrors();
    return line.error();
  }
  std::uint32_t budget = ReplyBudgetMs(baud_rate);
  (void)port.Purge();
  std::uint32_t start = clock.TickCount();
  (void)TimedWrite(port, kSwitchCommandMode, kCommandWriteLimitMs, clock);
  if (Status w = TimedWrite(port, kStatusRequest, budget, clock); !w) return w.error();
  std::uint32_t left = Remaining(clock, start, budget);
  if (left == 0) return MakeError(ERROR_TIMEOUT, "no time left for the status reply");
  std::array<std::uint8_t, 64> buffer{};
  if (Status r = SerialSynchronisedRead(port, std::span(buffer).first(kReplySize), left, clock); !r)
    return r.error();
  Reply reply{};
  std::copy_n(buffer.begin(), kReplySize, reply.begin());
  return reply;
}

Result<Reply> UsbStatusRequest(UsbPortIo& usb, std::string_view port_name, std::uint32_t timeout_ms, Clock& clock) {
  std::uint32_t start = clock.TickCount();
  if (auto w = usb.Write(port_name, kStatusRequest, timeout_ms); !w) return w.error();
  std::uint32_t left = Remaining(clock, start, timeout_ms);
  if (left == 0) return MakeError(ERROR_TIMEOUT, "no time left for the status reply");
  Reply reply{};
  if (Status r = UsbSynchronisedRead(usb, port_name, reply, left, clock); !r) return r.error();
  return reply;
}

Result<std::uint8_t> SerialSettingQuery(SerialChannel& port, Setting setting, std::uint32_t limit_ms, Clock& clock) {
  if (Status w = TimedWrite(port, QueryCommand(setting), kCommandWriteLimitMs, clock); !w) return w.error();
  Reply reply{};
  if (Status r = TimedRead(port, reply, limit_ms, clock); !r) return r.error();
  return reply[kSettingValueByte];
}

Result<std::uint8_t> UsbSettingQuery(UsbPortIo& usb, std::string_view port_name, std::uint16_t model_codes,
                                     Setting setting, std::uint32_t timeout_ms, Clock& clock) {
  auto status = UsbStatusRequest(usb, port_name, kCommandWriteLimitMs, clock);
  if (!status) return status.error();
  if (!ModelCheck(*status, model_codes)) return WrongModel(*status, model_codes);
  (void)usb.Write(port_name, kSwitchCommandMode, kCommandWriteLimitMs);
  if (auto w = usb.Write(port_name, QueryCommand(setting), timeout_ms); !w) return w.error();
  Reply reply{};
  auto n = usb.Read(port_name, reply, timeout_ms);
  if (!n) return n.error();
  if (*n < kReplySize)
    return MakeError(ERROR_INVALID_DATA, "setting reply on port " + std::string(port_name) + " has " +
                                             std::to_string(*n) + " of 32 bytes");
  return reply[kSettingValueByte];
}

Result<std::uint8_t> SynchronousQuery(const PrinterLink& link, Setting setting, const LinkServices& services) {
  Clock& clock = *services.clock;
  if (link.kind == PortKind::Usb)
    return UsbSettingQuery(*services.usb, link.port_name, link.model_codes, setting, kCommandWriteLimitMs, clock);
  if (link.kind == PortKind::Other)
    return MakeError(ERROR_NOT_SUPPORTED, "port " + link.port_name + " takes no printer commands");

  std::uint32_t budget = ReplyBudgetMs(link.baud_rate);
  auto opened = OpenSerialPort(link.port_name, link.kind, services);
  if (!opened) return opened.error();
  ScopedSerialPort port(std::move(*opened));
  (void)port->ModemStatus();
  (void)port->Purge();
  if (Status s = ConfigureLine(*port, std::to_string(link.baud_rate)); !s) return s.error();
  if (Status s = SetRequestTimeouts(*port); !s) return s.error();
  auto status = SerialStatusRequest(*port, link.baud_rate, clock);
  if (!status) return status.error();
  if (!ModelCheck(*status, link.model_codes)) return WrongModel(*status, link.model_codes);
  (void)port->Purge();
  (void)TimedWrite(*port, kSwitchCommandMode, kCommandWriteLimitMs, clock);
  return SerialSettingQuery(*port, setting, budget, clock);
}

}  // namespace klm::utility
