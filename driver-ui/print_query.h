// Whether a queued job may print: its DEVMODE's form must be one the printer
// has loaded (the printer value "TrayFormTable"). Missing or malformed data
// never holds a job: the answer is then "may print".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "driver-ui/devmode_layout.h"
#include "platform/spooler.h"

namespace klm::driver {

// The platform's DEVQUERYPRINT_INFO (64-bit layout).
struct DevQueryPrintInfo {
  std::uint16_t cbSize;
  std::uint16_t Level;
  void* hPrinter;               // a platform::PrinterHandle*
  const void* pDevMode;         // the job's DEVMODE, or none
  char16_t* pszErrorStr;        // receives the reason a job may not print
  std::uint32_t cchErrorStr;    // its size in characters
  std::uint32_t cchNeeded;      // characters the reason needs, terminator included
};
static_assert(offsetof(DevQueryPrintInfo, hPrinter) == 8);
static_assert(offsetof(DevQueryPrintInfo, pDevMode) == 16);
static_assert(offsetof(DevQueryPrintInfo, pszErrorStr) == 24);
static_assert(offsetof(DevQueryPrintInfo, cchErrorStr) == 32);
static_assert(offsetof(DevQueryPrintInfo, cchNeeded) == 36);
static_assert(sizeof(DevQueryPrintInfo) == 40);

enum class FormMatch {
  Form = 0,      // a spooler form fits; the DEVMODE now names it
  Custom = 1,    // custom dimensions without a form; `form` describes them
  Undecided = 2,
};

// Finds the spooler form a DEVMODE's public part stands for among `forms`
// (the enumeration order: the DEVMODE's paper size n is the n-th). A size
// matches within 1 mm either way.
FormMatch FindFormIn(std::span<const platform::FormInfo> forms, DevmodePublic& devmode,
                     platform::FormInfo& form);

// The same over the spooler's forms of `printer`.
FormMatch FindFormForDevmode(const platform::PrinterHandle* printer, DevmodePublic& devmode,
                             platform::FormInfo& form);

enum class TrayFormLookup { Loaded, NotLoaded, Malformed };

// Walks a "TrayFormTable" value: a 16-bit size, then entries of three
// terminated UTF-16 strings (tray, form, a third name) and a 16-bit flag
// word, ended by an empty tray name. Never reads past the bytes given or the
// size word; a table that runs out before its end is malformed.
TrayFormLookup FindTrayForm(std::span<const std::uint8_t> table, std::u16string_view form_name);

// The stored "TrayFormTable" when "TrayFormSize" is nonzero and equals the
// table's own size word; nothing otherwise.
std::optional<std::vector<std::uint8_t>> ReadTrayFormTable(const platform::PrinterHandle* printer);

// The reason a job of form `form_name` is held.
std::u16string FormNotLoadedMessage(std::u16string_view form_name);

// DevQueryPrintEx: true when the job may print. When it may not, the reason
// goes into the error buffer (cut to its size, always terminated) and
// cchNeeded tells its full size. The job's DEVMODE is never written.
bool DevQueryPrint(DevQueryPrintInfo* info);

}  // namespace klm::driver
