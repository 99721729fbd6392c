// The serial and USB channels as the requests use them: opening a printer's
// serial port, line set-up, writes and reads bounded by a time limit, and the
// synchronised read that finds a status reply in the byte stream.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "utility/link_services.h"
#include "utility/port_kind.h"
#include "utility/serial_channel.h"

namespace klm::utility {

// An open serial port whose error state is cleared before it closes, on
// every way out of a serial sequence.
class ScopedSerialPort {
 public:
  explicit ScopedSerialPort(std::unique_ptr<SerialChannel> port) : port_(std::move(port)) {}
  ~ScopedSerialPort() { Close(); }
  ScopedSerialPort(ScopedSerialPort&&) = default;
  ScopedSerialPort& operator=(ScopedSerialPort&&) = delete;
  SerialChannel& operator*() { return *port_; }
  SerialChannel* operator->() { return port_.get(); }
  void Close() {
    if (port_) (void)port_->ClearErrors();
    port_.reset();
  }
 private:
  std::unique_ptr<SerialChannel> port_;
};

// Opens the serial device of a QMCOM or COM port through the port map.
// ERROR_FILE_NOT_FOUND for USB and other ports, which have no serial device.
Result<std::unique_ptr<SerialChannel>> OpenSerialPort(std::string_view port_name, PortKind kind,
                                                      const LinkServices& services);

// The mode text for a rate: "9600,n,8,1,p".
std::string ModeText(std::string_view rate_text);

// Reads the port's settings, sets the handshake (DTR handshake, DSR output
// flow, one stop bit), applies the mode text for `rate_text`, sets the result.
// The error says which step failed: `step` receives 0 (settings unreadable),
// 1 (mode text refused) or 2 (settings not applied).
Status ConfigureLine(SerialChannel& port, std::string_view rate_text, int* step = nullptr);

// Read interval 20 ms, read and write total constants 100 ms; the multipliers
// keep the port's values.
Status SetRequestTimeouts(SerialChannel& port);

// Writes all of `bytes`, retrying failed or short writes, until `limit_ms`
// has passed since the call began. ERROR_TIMEOUT when not all went out.
Status TimedWrite(SerialChannel& port, std::span<const std::uint8_t> bytes, std::uint32_t limit_ms, Clock& clock);

// Reads until the buffer is full or `limit_ms` has passed; succeeds only when
// exactly the buffer's size arrived.
Status TimedRead(SerialChannel& port, std::span<std::uint8_t> buffer, std::uint32_t limit_ms, Clock& clock);

// One read of the byte source behind a synchronised read: at most `buffer`'s
// size bytes within at most `limit_ms`. A failed read counts as an empty one.
using ChunkReader = std::function<Result<std::size_t>(std::span<std::uint8_t> buffer, std::uint32_t limit_ms)>;

// Reads until `limit_ms` passes or a reply that begins with 80 20 42 is held
// in full. Bytes before the header are dropped; without a header all but the
// last two bytes held are dropped. Each read asks for at most the free space
// of a 256-byte work buffer and at most the time left. On success `out`
// (at most 256 bytes) holds the reply, header first; ERROR_TIMEOUT otherwise.
Status SynchronisedRead(const ChunkReader& read, std::span<std::uint8_t> out, std::uint32_t limit_ms, Clock& clock);

// The synchronised read over a serial port and over a USB port.
Status SerialSynchronisedRead(SerialChannel& port, std::span<std::uint8_t> out, std::uint32_t limit_ms, Clock& clock);
Status UsbSynchronisedRead(UsbPortIo& usb, std::string_view port_name, std::span<std::uint8_t> out,
                           std::uint32_t limit_ms, Clock& clock);

}  // namespace klm::utility
