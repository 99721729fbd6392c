#include "driver-ui/port_kind.h"

#include <string>

#include "platform/registry.h"
#include "platform/spooler.h"

namespace klm::driver {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

struct Prefix {
  std::string_view text;
  std::uint32_t kind;
};

// Tried in this order; none of the prefixes is the start of a later one.
constexpr Prefix kPrefixes[] = {
    {"USB", PORT_KIND_USB},   {"QMUSB", PORT_KIND_USB},     {"QMLAN", PORT_KIND_QMLAN},
    {"COM", PORT_KIND_COM},   {"QMCOM", PORT_KIND_QMCOM},   {"LPT", PORT_KIND_LPT},
    {"KVSPL", PORT_KIND_KVSPL},
};

}  // namespace

std::uint32_t PortKind(std::string_view port_name) {
  for (const auto& p : kPrefixes) {
    if (StartsWithNoCase(port_name, p.text)) return p.kind;
  }
  return PORT_KIND_OTHER;
}

bool IsNotUsbPort(const platform::PrinterHandle* printer) {
  auto info = platform::GetPrinter(printer);
  if (!info) return false;
  return PortKind(info->port) != PORT_KIND_USB;
}

bool IsStandardTcpIpPort(std::string_view port_name) {
  if (port_name.empty() || port_name.find('\\') != std::string_view::npos) return false;
  std::string key(kStandardTcpIpPortsKey);
  key += '\\';
  key += port_name;
  return platform::RegKeyExists(platform::Hive::LocalMachine, key);
}

}  // namespace klm::driver
