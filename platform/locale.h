// The user's locale items the package reads. Defaults come from the POSIX
// locale of the process; the machine store may override each item.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace klm::platform {

struct LocaleInfo {
  std::string country_code;        // telephone country code as text, "49", "1"
  std::string measure_system;      // "0" metric, "1" U.S.
  std::string decimal_separator;   // ".", ","
  std::string country_abbrev;      // three letters, "DEU", "USA"
  std::string language_abbrev;     // three letters, "DEU", "ENU"
  std::uint32_t ansi_code_page = 1252;
};

// Never fails: a missing or unreadable override falls back to the POSIX value.
LocaleInfo UserLocale();

// Item names: "country", "measure", "decimal", "country-abbrev",
// "language-abbrev", "codepage". An empty value removes the override.
Status SetLocaleOverride(std::string_view item, std::string_view value);

// Shortcut for UserLocale().ansi_code_page.
std::uint32_t AnsiCodePage();

}  // namespace klm::platform
