#include "utility/utility_settings.h"

#include "platform/ports.h"
#include "platform/registry.h"

namespace klm::utility {

using platform::Hive;

std::string DriverKey(std::string_view driver_name) {
  return std::string("SOFTWARE\\Koravel Industries, Ltd.\\Quillmark\\Driver\\3.0\\") + std::string(driver_name);
}

std::vector<std::string> ParseBaudrateList(std::string_view text) {
  std::vector<std::string> out;
  while (!text.empty() && out.size() < kMaxBaudListEntries) {
    std::size_t comma = text.find(',');
    std::string_view piece = text.substr(0, comma);
    if (!piece.empty()) out.emplace_back(piece.substr(0, kTextLimit));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  out.emplace_back("0");
  return out;
}

namespace {

std::string Narrow(const std::u16string& text) {
  // Rates are ASCII digits; anything else is kept as '?' so it fails to parse.
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

}  // namespace

std::vector<std::string> ReadBaudrateList(std::string_view driver_name) {
  auto value = platform::RegQueryValue(Hive::LocalMachine, DriverKey(driver_name), "BaudrateList");
  if (!value) return {"0"};
  auto text = value->AsString();
  if (!text) return {"0"};
  std::string narrow = Narrow(*text);
  return ParseBaudrateList(std::string_view(narrow).substr(0, kTextLimit));
}

std::uint32_t ReadStoredBaudRate(std::string_view driver_name) {
  auto value = platform::RegQueryValue(Hive::LocalMachine, DriverKey(driver_name), "Baudrate");
  std::uint32_t rate = value ? value->AsDword().value_or(0) : 0;
  return rate == 0 ? 9600 : rate;
}

Status WriteStoredBaudRate(std::string_view driver_name, std::uint32_t baud_rate) {
  std::string key = DriverKey(driver_name);
  if (Status s = platform::RegCreateKey(Hive::LocalMachine, key); !s) return s;
  return platform::RegSetValue(Hive::LocalMachine, key, "Baudrate", platform::RegValue::Dword(baud_rate));
}

std::string DefaultConfigPortName(std::string_view port_name) {
  return std::string(port_name.empty() ? port_name : port_name.substr(0, port_name.size() - 1));
}

Result<std::uint32_t> ReadCurrentBaudRate(std::string_view port_name, PortKind kind, std::string_view driver_name) {
  if (kind != PortKind::Com) return ReadStoredBaudRate(driver_name);
  auto config = platform::GetDefaultCommConfig(DefaultConfigPortName(port_name));
  if (!config) return config.error();
  return config->baud_rate;
}

std::optional<std::size_t> FindBaudEntry(const std::vector<std::string>& list, std::uint32_t baud_rate) {
  std::string text = std::to_string(baud_rate);
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i].starts_with(text)) return i;
  return std::nullopt;
}

}  // namespace klm::utility
