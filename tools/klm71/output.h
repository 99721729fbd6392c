// How the command prints: readable lines for people, JSON for scripts.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <span>
#include <string>

#include "platform/registry.h"

namespace klm::cli {

struct Output {
  bool json = false;
};

std::string Hex(std::span<const std::uint8_t> bytes);
// A registry or printer-data value as JSON: {"type": "REG_DWORD", "value": 5}.
nlohmann::json ValueJson(const platform::RegValue& value);
// The same value as one readable line: "REG_DWORD 5".
std::string ValueText(const platform::RegValue& value);

// Parses "--dword 5" / "--sz text" / "--binary 0a0b" into a value.
struct ValueArgs {
  std::string dword;
  std::string sz;
  std::string binary;
};
Result<platform::RegValue> ParseValue(const ValueArgs& args);

std::string Utf8(std::u16string_view text);

}  // namespace klm::cli
