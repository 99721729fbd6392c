#include "utility/serial_link.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/ports.h"
#include "utility/printer_commands.h"

namespace klm::utility {

namespace {

constexpr std::size_t kWorkBufferSize = 256;

}  // namespace

Result<std::unique_ptr<SerialChannel>> OpenSerialPort(std::string_view port_name, PortKind kind,
                                                      const LinkServices& services) {
  auto device_name = SerialDeviceName(port_name, kind);
  if (!device_name)
    return MakeError(ERROR_FILE_NOT_FOUND, "port " + std::string(port_name) + " is not a serial port");
  auto path = platform::PortDevice(*device_name);
  if (!path) return path.error();
  return services.open_serial(*path);
}

std::string ModeText(std::string_view rate_text) { return std::string(rate_text) + ",n,8,1,p"; }

Status ConfigureLine(SerialChannel& port, std::string_view rate_text, int* step) {
  auto set_step = [&](int s) { if (step) *step = s; };
  auto current = port.GetSettings();
  if (!current) return set_step(0), current.error();
  LineSettings base = *current;
  base.dtr_handshake = true;
  base.dsr_out_flow = true;
  base.stop_bits = 1;
  auto settings = ApplyModeText(ModeText(rate_text), base);
  if (!settings) return set_step(1), settings.error();
  Status set = port.SetSettings(*settings);
  if (!set) return set_step(2), set;
  return {};
}

Status SetRequestTimeouts(SerialChannel& port) {
  auto timeouts = port.GetTimeouts();
  if (!timeouts) return timeouts.error();
  CommTimeouts t = *timeouts;
  t.read_interval = 20;
  t.read_total_constant = 100;
  t.write_total_constant = 100;
  return port.SetTimeouts(t);
}

Status TimedWrite(SerialChannel& port, std::span<const std::uint8_t> bytes, std::uint32_t limit_ms, Clock& clock) {
  std::uint32_t start = clock.TickCount();
  std::size_t done = 0;
  while (done < bytes.size()) {
    auto n = port.Write(bytes.subspan(done));
    if (n) done += *n;
    if (done < bytes.size() && clock.TickCount() - start >= limit_ms) break;
  }
  if (done < bytes.size())
    return MakeError(ERROR_TIMEOUT, "wrote " + std::to_string(done) + " of " + std::to_string(bytes.size()) +
                                        " bytes in " + std::to_string(limit_ms) + " ms");
  return {};
}

Status TimedRead(SerialChannel& port, std::span<std::uint8_t> buffer, std::uint32_t limit_ms, Clock& clock) {
  std::uint32_t start = clock.TickCount();
  std::size_t got = 0;
  while (got < buffer.size()) {
    auto n = port.Read(buffer.subspan(got));
    if (n) got += *n;
    if (got < buffer.size() && clock.TickCount() - start >= limit_ms) break;
  }
  if (got != buffer.size())
    return MakeError(ERROR_TIMEOUT, "read " + std::to_string(got) + " of " + std::to_string(buffer.size()) +
                                        " bytes in " + std::to_string(limit_ms) + " ms");
  return {};
}

Status SynchronisedRead(const ChunkReader& read, std::span<std::uint8_t> out, std::uint32_t limit_ms, Clock& clock) {
  const std::size_t wanted = std::min(out.size(), kWorkBufferSize);
  std::array<std::uint8_t, kWorkBufferSize> work{};
  std::size_t held = 0;
  bool found = false;
  std::uint32_t start = clock.TickCount();
  for (;;) {
    std::uint32_t left = Remaining(clock, start, limit_ms);
    if (left == 0) break;
    auto n = read(std::span(work).subspan(held), left);
    if (n) held += std::min(*n, work.size() - held);
    if (!found && held >= kStatusHeader.size()) {
      auto it = std::search(work.begin(), work.begin() + held, kStatusHeader.begin(), kStatusHeader.end());
      std::size_t drop = it != work.begin() + held ? static_cast<std::size_t>(it - work.begin()) : held - 2;
      found = it != work.begin() + held;
      std::memmove(work.data(), work.data() + drop, held - drop);
      held -= drop;
    }
    if (found && held >= wanted) break;
  }
  if (!found || held < wanted)
    return MakeError(ERROR_TIMEOUT, "no complete reply within " + std::to_string(limit_ms) + " ms (" +
                                        std::to_string(held) + " bytes held)");
  std::copy_n(work.begin(), wanted, out.begin());
  return {};
}

Status SerialSynchronisedRead(SerialChannel& port, std::span<std::uint8_t> out, std::uint32_t limit_ms, Clock& clock) {
  // A serial read is bounded by the port's own time-outs (100 ms total).
  return SynchronisedRead([&](std::span<std::uint8_t> buf, std::uint32_t) { return port.Read(buf); }, out, limit_ms,
                          clock);
}

Status UsbSynchronisedRead(UsbPortIo& usb, std::string_view port_name, std::span<std::uint8_t> out,
                           std::uint32_t limit_ms, Clock& clock) {
  return SynchronisedRead([&](std::span<std::uint8_t> buf, std::uint32_t left) { return usb.Read(port_name, buf, left); },
                          out, limit_ms, clock);
}

}  // namespace klm::utility
