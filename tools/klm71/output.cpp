#include "tools/klm71/output.h"

#include <charconv>

#include "platform/codepage.h"

namespace klm::cli {

std::string Hex(std::span<const std::uint8_t> bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : bytes) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

std::string Utf8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

namespace {
const char* TypeName(platform::RegType type) {
  switch (type) {
    case platform::RegType::Sz: return "REG_SZ";
    case platform::RegType::ExpandSz: return "REG_EXPAND_SZ";
    case platform::RegType::Binary: return "REG_BINARY";
    case platform::RegType::Dword: return "REG_DWORD";
    case platform::RegType::MultiSz: return "REG_MULTI_SZ";
    default: return "REG_NONE";
  }
}
}  // namespace

nlohmann::json ValueJson(const platform::RegValue& value) {
  nlohmann::json j{{"type", TypeName(value.type)}, {"size", value.data.size()}};
  if (value.type == platform::RegType::Dword && value.AsDword()) j["value"] = *value.AsDword();
  else if (auto text = value.AsString()) j["value"] = Utf8(*text);
  else j["value"] = Hex(value.data);
  return j;
}

std::string ValueText(const platform::RegValue& value) {
  std::string text = TypeName(value.type);
  if (value.type == platform::RegType::Dword && value.AsDword()) return text + " " + std::to_string(*value.AsDword());
  if (auto s = value.AsString()) return text + " \"" + Utf8(*s) + "\"";
  return text + " " + Hex(value.data) + " (" + std::to_string(value.data.size()) + " bytes)";
}

Result<platform::RegValue> ParseValue(const ValueArgs& args) {
  int given = !args.dword.empty() + !args.sz.empty() + !args.binary.empty();
  if (given != 1) return MakeError(ERROR_INVALID_PARAMETER, "give exactly one of --dword, --sz, --binary");
  if (!args.dword.empty()) {
    std::string_view text = args.dword;
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2), base = 16;
    std::uint32_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
      return MakeError(ERROR_INVALID_PARAMETER, "--dword needs a 32-bit number, not \"" + args.dword + "\"");
    return platform::RegValue::Dword(v);
  }
  if (!args.sz.empty()) return platform::RegValue::StringUtf8(args.sz);
  if (args.binary.size() % 2)
    return MakeError(ERROR_INVALID_PARAMETER, "--binary needs an even number of hex digits");
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < args.binary.size(); i += 2) {
    std::uint8_t b = 0;
    auto [end, ec] = std::from_chars(args.binary.data() + i, args.binary.data() + i + 2, b, 16);
    if (ec != std::errc() || end != args.binary.data() + i + 2)
      return MakeError(ERROR_INVALID_PARAMETER, "--binary: \"" + args.binary.substr(i, 2) + "\" is not a hex byte");
    bytes.push_back(b);
  }
  return platform::RegValue::Binary(bytes);
}

}  // namespace klm::cli
