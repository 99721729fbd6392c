#include "platform/locale.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <strings.h>

#include "platform/store.h"

namespace klm::platform {

namespace {

using store::Statement;

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

// The ANSI code page a Windows machine of that language would use.
std::uint32_t CodePageFor(const std::string& language, const std::string& country) {
  if (language == "ja") return 932;
  if (language == "ko") return 949;
  if (language == "zh") return (country == "TW" || country == "HK" || country == "MO") ? 950 : 936;
  if (language == "ru" || language == "uk" || language == "bg" || language == "sr") return 1251;
  if (language == "pl" || language == "cs" || language == "sk" || language == "hu" || language == "ro" ||
      language == "hr" || language == "sl")
    return 1250;
  if (language == "el") return 1253;
  if (language == "tr") return 1254;
  if (language == "he") return 1255;
  if (language == "ar") return 1256;
  return 1252;
}

// Defaults from the process's POSIX locale. The C locale stands for a plain
// U.S. English machine.
LocaleInfo PosixLocale() {
  LocaleInfo info{"1", "1", ".", "USA", "ENU", 1252};
  locale_t loc = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return info;
  const char* prefix = nl_langinfo_l(_NL_TELEPHONE_INT_PREFIX, loc);
  if (prefix && *prefix) {
    info.country_code = prefix;
    const char* measurement = nl_langinfo_l(_NL_MEASUREMENT_MEASUREMENT, loc);
    info.measure_system = (measurement && measurement[0] == 2) ? "1" : "0";
    if (const char* radix = nl_langinfo_l(RADIXCHAR, loc); radix && *radix) info.decimal_separator = radix;
    std::string country = Upper(nl_langinfo_l(_NL_ADDRESS_COUNTRY_AB2, loc));
    if (const char* ab3 = nl_langinfo_l(_NL_ADDRESS_COUNTRY_AB3, loc); ab3 && *ab3) info.country_abbrev = ab3;
    std::string language = nl_langinfo_l(_NL_ADDRESS_LANG_AB, loc);
    if (!language.empty()) {
      // Two letters of the language and one of the country, as "ENU", "DEU".
      info.language_abbrev = Upper(language) + (country.empty() ? std::string("X") : country.substr(0, 1));
      if (language == "en" && country == "GB") info.language_abbrev = "ENG";
    }
    info.ansi_code_page = CodePageFor(language, country);
  }
  freelocale(loc);
  return info;
}

}  // namespace

LocaleInfo UserLocale() {
  // The process's POSIX locale does not change under it; the overrides in
  // the store may, so only they are read on every call.
  static const LocaleInfo posix = PosixLocale();
  LocaleInfo info = posix;
  (void)store::Read([&](sqlite3* db) -> Status {
    Statement q(db, "SELECT item, value FROM locale_overrides");
    while (q.Step() == SQLITE_ROW) {
      std::string item = q.Text(0), value = q.Text(1);
      if (strcasecmp(item.c_str(), "country") == 0) info.country_code = value;
      else if (strcasecmp(item.c_str(), "measure") == 0) info.measure_system = value;
      else if (strcasecmp(item.c_str(), "decimal") == 0) info.decimal_separator = value;
      else if (strcasecmp(item.c_str(), "country-abbrev") == 0) info.country_abbrev = value;
      else if (strcasecmp(item.c_str(), "language-abbrev") == 0) info.language_abbrev = value;
      else if (strcasecmp(item.c_str(), "codepage") == 0) {
        std::uint32_t cp = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), cp);
        if (ec == std::errc() && end == value.data() + value.size() && cp != 0) info.ansi_code_page = cp;
      }
    }
    return {};
  });
  return info;
}

Status SetLocaleOverride(std::string_view item, std::string_view value) {
  static constexpr const char* kItems[] = {"country", "measure", "decimal", "country-abbrev", "language-abbrev",
                                           "codepage"};
  bool known = std::any_of(std::begin(kItems), std::end(kItems), [&](const char* k) {
    return item.size() == std::strlen(k) && strncasecmp(k, item.data(), item.size()) == 0;
  });
  if (!known) return MakeError(ERROR_INVALID_PARAMETER, "unknown locale item \"" + std::string(item) + "\"");
  if (item == "measure" && !value.empty() && value != "0" && value != "1")
    return MakeError(ERROR_INVALID_PARAMETER, "measure must be 0 (metric) or 1 (U.S.), not \"" + std::string(value) + "\"");
  if (item == "codepage" && !value.empty()) {
    std::uint32_t cp = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), cp);
    if (ec != std::errc() || end != value.data() + value.size() || cp == 0)
      return MakeError(ERROR_INVALID_PARAMETER, "codepage must be a number such as 1252, not \"" + std::string(value) + "\"");
  }
  return store::Write([&](sqlite3* db) -> Status {
    if (value.empty()) {
      Statement del(db, "DELETE FROM locale_overrides WHERE item=?1");
      del.Bind(1, item);
      if (del.Step() != SQLITE_DONE) return store::DatabaseError(db, "removing a locale override");
      return {};
    }
    Statement up(db, "INSERT INTO locale_overrides(item, value) VALUES (?1, ?2) "
                     "ON CONFLICT(item) DO UPDATE SET value=excluded.value");
    up.Bind(1, item).Bind(2, value);
    if (up.Step() != SQLITE_DONE) return store::DatabaseError(db, "setting a locale override");
    return {};
  });
}

std::uint32_t AnsiCodePage() { return UserLocale().ansi_code_page; }

}  // namespace klm::platform
