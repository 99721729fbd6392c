#include "tools/printer-sim/printer_model.h"

#include <algorithm>

namespace klm::printer_sim {

namespace {

constexpr std::uint8_t kEsc = 0x1B, kI = 0x69;

// Length of the command that starts `b` (which begins with ESC), 0 when more
// bytes are needed to tell, nothing when it is no command.
std::optional<std::size_t> CommandLength(std::span<const std::uint8_t> b) {
  if (b.size() < 2) return 0;
  if (b[1] != kI) return std::nullopt;
  if (b.size() < 3) return 0;
  switch (b[2]) {
    case 0x53: return 3;                                  // S
    case 0x61: return 4;                                  // a 01
    case 0x42: return 5;                                  // B lo hi
    case 0x55:                                            // U
      if (b.size() < 4) return 0;
      if (b[3] == 0x77) {                                 // w n entries
        if (b.size() < 5) return 0;
        return 5 + std::size_t{b[4]} * kFormatEntrySize;
      }
      if (b[3] != 0x61 && b[3] != 0x70) return std::nullopt;
      if (b.size() < 5) return 0;
      if (b[4] == 0x01) return 5;
      if (b[4] == 0x00) return 6;
      return std::nullopt;
    default: return std::nullopt;
  }
}

CommandKind KindOf(std::span<const std::uint8_t> b) {
  switch (b[2]) {
    case 0x53: return CommandKind::StatusRequest;
    case 0x61: return CommandKind::SwitchCommandMode;
    case 0x42: return CommandKind::SetBaudRate;
    default:
      if (b[3] == 0x77) return CommandKind::RegisterFormats;
      return b[4] == 0x01 ? CommandKind::QuerySetting : CommandKind::SetSetting;
  }
}

constexpr std::uint32_t kRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

}  // namespace

std::string_view CommandName(CommandKind kind) {
  switch (kind) {
    case CommandKind::SwitchCommandMode: return "switch command mode";
    case CommandKind::StatusRequest: return "status request";
    case CommandKind::QuerySetting: return "query setting";
    case CommandKind::SetSetting: return "set setting";
    case CommandKind::SetBaudRate: return "set baud rate";
    case CommandKind::RegisterFormats: return "register paper formats";
  }
  return "?";
}

bool IsSupportedRate(std::uint32_t baud_rate) {
  return std::find(std::begin(kRates), std::end(kRates), baud_rate) != std::end(kRates);
}

std::vector<Command> CommandParser::Feed(std::span<const std::uint8_t> bytes) {
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  std::vector<Command> out;
  std::size_t pos = 0;
  while (pos < pending_.size()) {
    if (pending_[pos] != kEsc) {
      ++pos;
      ++dropped_;
      continue;
    }
    auto rest = std::span<const std::uint8_t>(pending_).subspan(pos);
    auto length = CommandLength(rest);
    if (!length) {
      ++pos;
      ++dropped_;
      continue;
    }
    if (*length == 0 || *length > rest.size()) break;
    out.push_back({KindOf(rest), std::vector<std::uint8_t>(rest.begin(), rest.begin() + *length)});
    pos += *length;
  }
  pending_.erase(pending_.begin(), pending_.begin() + pos);
  return out;
}

std::array<std::uint8_t, 32> PrinterModel::StatusReply() const {
  std::array<std::uint8_t, 32> r{};
  r[0] = 0x80;
  r[1] = 0x20;
  r[2] = 0x42;
  r[3] = settings_.series_code;
  r[4] = settings_.model_code;
  return r;
}

std::vector<std::uint8_t> PrinterModel::Handle(const Command& c) {
  formats_changed_ = false;
  const auto& b = c.bytes;
  switch (c.kind) {
    case CommandKind::SwitchCommandMode:
      command_mode_ = true;
      return {};
    case CommandKind::StatusRequest: {
      auto r = StatusReply();
      return {r.begin(), r.end()};
    }
    case CommandKind::QuerySetting: {
      if (!command_mode_) return {};
      auto r = StatusReply();
      r[30] = b[3] == 0x61 ? settings_.command_system : settings_.power_on;
      return {r.begin(), r.end()};
    }
    case CommandKind::SetSetting:
      if (!command_mode_) return {};
      if (b[3] == 0x61 && (b[5] == 0 || b[5] == 1 || b[5] == 3)) settings_.command_system = b[5];
      if (b[3] == 0x70 && b[5] <= 1) settings_.power_on = b[5];
      return {};
    case CommandKind::SetBaudRate: {
      if (!command_mode_) return {};
      auto r = StatusReply();
      std::uint32_t rate = (std::uint32_t{b[3]} | std::uint32_t{b[4]} << 8) * 100;
      if (IsSupportedRate(rate)) settings_.baud_rate = rate;
      return {r.begin(), r.end()};
    }
    case CommandKind::RegisterFormats:
      if (auto formats = ParseRegistration(b)) {
        formats_ = std::move(*formats);
        formats_changed_ = true;
      }
      return {};
  }
  return {};
}

std::optional<std::vector<FormatEntry>> ParseRegistration(std::span<const std::uint8_t> bytes) {
  static constexpr std::uint8_t kHead[] = {0x1B, 0x69, 0x55, 0x77};
  if (bytes.size() < 5 || !std::equal(std::begin(kHead), std::end(kHead), bytes.begin())) return std::nullopt;
  std::size_t count = bytes[4];
  if (bytes.size() != 5 + count * kFormatEntrySize) return std::nullopt;
  std::vector<FormatEntry> out(count);
  for (std::size_t i = 0; i < count; ++i)
    std::copy_n(bytes.begin() + 5 + i * kFormatEntrySize, kFormatEntrySize, out[i].begin());
  return out;
}

std::vector<std::uint8_t> BuildRegistration(const std::vector<FormatEntry>& formats) {
  std::vector<std::uint8_t> out{0x1B, 0x69, 0x55, 0x77, static_cast<std::uint8_t>(formats.size() & 0xFF)};
  for (const auto& f : formats) out.insert(out.end(), f.begin(), f.end());
  return out;
}

}  // namespace klm::printer_sim
