// A serial port as the communications interface offers it: line settings,
// time-outs, purge, error clearing, modem status, reads and writes that honour
// the time-outs. One backend drives a tty through termios; tests may wrap it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace klm::utility {

// The line settings of a port (the fields of a device-control block the
// utility sets).
struct LineSettings {
  std::uint32_t baud_rate = 9600;
  std::uint8_t data_bits = 8;
  char parity = 'n';             // n, e, o, m, s
  std::uint8_t stop_bits = 1;    // 1 or 2
  bool rts_cts = false;          // hardware handshake
  bool xon_xoff = false;
  bool dtr_handshake = false;    // DTR control set to handshake
  bool dsr_out_flow = false;     // DSR output flow control
  bool operator==(const LineSettings&) const = default;
};

// Applies a mode text such as "9600,n,8,1,p" (rate, parity, data bits, stop
// bits, optional handshake p / x / n) on top of `base`. ERROR_INVALID_PARAMETER
// naming the text when any piece cannot be read; `base` is then untouched.
Result<LineSettings> ApplyModeText(std::string_view mode, LineSettings base);

// Time-outs in milliseconds with the platform's meaning: a read ends when
// `read_total_multiplier` * length + `read_total_constant` has passed, or when
// more than `read_interval` passes between two bytes; a write likewise with its
// own pair. Zero total fields mean no total limit.
struct CommTimeouts {
  std::uint32_t read_interval = 0;
  std::uint32_t read_total_multiplier = 0;
  std::uint32_t read_total_constant = 0;
  std::uint32_t write_total_multiplier = 0;
  std::uint32_t write_total_constant = 0;
};

class SerialChannel {
 public:
  virtual ~SerialChannel() = default;
  virtual Result<LineSettings> GetSettings() = 0;
  // ERROR_INVALID_PARAMETER for a rate or form the port cannot take.
  virtual Status SetSettings(const LineSettings& settings) = 0;
  virtual Result<CommTimeouts> GetTimeouts() = 0;
  virtual Status SetTimeouts(const CommTimeouts& timeouts) = 0;
  // Drops pending and buffered data in both directions.
  virtual Status Purge() = 0;
  // Clears the port's error state so the next transfer can proceed.
  virtual Status ClearErrors() = 0;
  // The modem lines (TIOCM_* bits); pseudo-terminals have none and fail.
  virtual Result<std::uint32_t> ModemStatus() = 0;
  // Bytes read within the read time-outs, possibly 0. Fails when the line is
  // gone, after waiting out the total time-out so that callers do not spin.
  virtual Result<std::size_t> Read(std::span<std::uint8_t> buffer) = 0;
  // Bytes written within the write time-outs, possibly fewer than asked.
  virtual Result<std::size_t> Write(std::span<const std::uint8_t> bytes) = 0;
};

// Opens an existing tty for reading and writing without sharing: a second
// open of the same device fails with ERROR_ACCESS_DENIED while this one lives.
// ERROR_FILE_NOT_FOUND when the device does not exist.
Result<std::unique_ptr<SerialChannel>> OpenTermiosChannel(const std::string& device_path);

}  // namespace klm::utility
