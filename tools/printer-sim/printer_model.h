// The LM-7100 as the simulator plays it: a parser that cuts the byte stream
// into commands, and the printer's settings with the reply to each command.
// No I/O here; the engine feeds bytes in and writes replies out.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace klm::printer_sim {

enum class CommandKind : std::uint8_t {
  SwitchCommandMode,   // 1B 69 61 01
  StatusRequest,       // 1B 69 53
  QuerySetting,        // 1B 69 55 {61|70} 01
  SetSetting,          // 1B 69 55 {61|70} 00 nn
  SetBaudRate,         // 1B 69 42 lo hi
  RegisterFormats,     // 1B 69 55 77 n, then n entries of 127 bytes
};

std::string_view CommandName(CommandKind kind);

struct Command {
  CommandKind kind;
  std::vector<std::uint8_t> bytes;  // exactly as received
};

inline constexpr std::size_t kFormatEntrySize = 127;
using FormatEntry = std::array<std::uint8_t, kFormatEntrySize>;

// Cuts a byte stream into commands. Bytes that start no known command are
// dropped one by one; a command split across reads is kept until complete.
class CommandParser {
 public:
  // Appends `bytes` and returns the commands completed by them.
  std::vector<Command> Feed(std::span<const std::uint8_t> bytes);
  // Forgets a partial command (the line changed under it).
  void Reset() { pending_.clear(); }
  std::size_t dropped() const { return dropped_; }

 private:
  std::vector<std::uint8_t> pending_;
  std::size_t dropped_ = 0;
};

struct PrinterSettings {
  std::uint32_t baud_rate = 9600;
  std::uint8_t series_code = '5';
  std::uint8_t model_code = '1';
  std::uint8_t command_system = 0;  // 0, 1 or 3
  std::uint8_t power_on = 1;        // 0 or 1
};

// The printer's state and answers. Setting commands take effect only once
// switch command mode has been received.
class PrinterModel {
 public:
  explicit PrinterModel(PrinterSettings settings = {}) : settings_(settings) {}

  // The reply the printer sends (empty when it sends none). A baud-rate
  // change answers at the old rate and takes effect after the reply.
  std::vector<std::uint8_t> Handle(const Command& command);

  const PrinterSettings& settings() const { return settings_; }
  bool command_mode() const { return command_mode_; }
  const std::vector<FormatEntry>& formats() const { return formats_; }
  void set_formats(std::vector<FormatEntry> formats) { formats_ = std::move(formats); }
  // Set when the last command was a complete registration.
  bool formats_changed() const { return formats_changed_; }

  // The 32-byte status reply: 80 20 42, series code, model code.
  std::array<std::uint8_t, 32> StatusReply() const;

 private:
  PrinterSettings settings_;
  bool command_mode_ = false;
  bool formats_changed_ = false;
  std::vector<FormatEntry> formats_;
};

// Rates the printer can be switched to (and a pseudo-terminal can carry).
bool IsSupportedRate(std::uint32_t baud_rate);

// A registration command file: ESC "i" "U" "w", count, entries. Nothing when
// the bytes are not one.
std::optional<std::vector<FormatEntry>> ParseRegistration(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> BuildRegistration(const std::vector<FormatEntry>& formats);

}  // namespace klm::printer_sim
