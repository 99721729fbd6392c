// The machine's registry: keys and typed values, names compared without
// regard to case. Key paths use '\' between names and are relative to a hive.
// Every change is one transaction of the machine store: other processes see
// it at once and a crash loses nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace klm::platform {

enum class Hive : std::uint8_t { LocalMachine = 0, CurrentUser = 1 };

enum class RegType : std::uint32_t {
  None = 0, Sz = 1, ExpandSz = 2, Binary = 3, Dword = 4, MultiSz = 7,
};

// A value as stored: its type and its raw bytes. Strings are UTF-16LE with a
// terminating zero, as the platform stores them ("KLM71F.DLL" is 22 bytes).
struct RegValue {
  RegType type = RegType::None;
  std::vector<std::uint8_t> data;

  static RegValue Dword(std::uint32_t value);
  static RegValue String(std::u16string_view text);
  static RegValue StringUtf8(std::string_view text);
  static RegValue Binary(std::span<const std::uint8_t> bytes);

  // The DWORD when the value is REG_DWORD (or 4 binary bytes); else nothing.
  std::optional<std::uint32_t> AsDword() const;
  // The text of a REG_SZ / REG_EXPAND_SZ up to its first zero.
  std::optional<std::u16string> AsString() const;
};

bool RegKeyExists(Hive hive, std::string_view key);
// Creates the key and any missing parents; succeeds if it exists already.
Status RegCreateKey(Hive hive, std::string_view key);
// ERROR_FILE_NOT_FOUND when the key or the value is missing.
Result<RegValue> RegQueryValue(Hive hive, std::string_view key, std::string_view name);
// The key must exist (ERROR_FILE_NOT_FOUND otherwise), as with an open key.
Status RegSetValue(Hive hive, std::string_view key, std::string_view name, const RegValue& value);
Status RegDeleteValue(Hive hive, std::string_view key, std::string_view name);
// Deletes the key with its subkeys and values.
Status RegDeleteKey(Hive hive, std::string_view key);
// Value names in the order they were first set.
Result<std::vector<std::string>> RegListValues(Hive hive, std::string_view key);
Result<std::vector<std::string>> RegListSubkeys(Hive hive, std::string_view key);

}  // namespace klm::platform
