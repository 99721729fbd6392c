#include "utility/port_kind.h"

#include <algorithm>
#include <cctype>

namespace klm::utility {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
         });
}

}  // namespace

PortKind ClassifyPort(std::string_view port_name) {
  if (StartsWithNoCase(port_name, "QMCOM")) return PortKind::QmCom;
  if (StartsWithNoCase(port_name, "COM")) return PortKind::Com;
  if (StartsWithNoCase(port_name, "USB") || StartsWithNoCase(port_name, "QMUSB")) return PortKind::Usb;
  return PortKind::Other;
}

std::optional<std::string> SerialDeviceName(std::string_view port_name, PortKind kind) {
  switch (kind) {
    case PortKind::QmCom: return std::string(port_name.substr(2));
    case PortKind::Com: return std::string(port_name);
    default: return std::nullopt;
  }
}

std::uint32_t ReplyBudgetMs(std::uint32_t baud_rate, std::uint32_t minimum_ms) {
  if (baud_rate == 0) return minimum_ms;
  std::uint32_t budget = (350000u / baud_rate * 3u) >> 1;
  return std::max(budget, minimum_ms);
}

}  // namespace klm::utility
