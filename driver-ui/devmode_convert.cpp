#include "driver-ui/devmode_convert.h"

#include <cstring>
#include <span>
#include <string>

#include "driver-ui/devmode_copy.h"
#include "driver-ui/devmode_init.h"
#include "driver-ui/paper_catalogue.h"
#include "platform/codepage.h"
#include "platform/spooler.h"
#include "platform/win_errors.h"

namespace klm::driver {
namespace {

// A foreign DEVMODE as far as its own header reaches.
std::span<const std::uint8_t> ForeignDevmode(const void* devmode) {
  if (devmode == nullptr) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(devmode);
  const auto header = ReadDevmodeHeader(std::span(bytes, kDevmodeHeaderSize));
  const std::size_t size = std::max<std::size_t>(kDevmodeHeaderSize,
                                                 std::size_t{header->size} + header->driver_extra);
  return std::span(bytes, size);
}

int DriverDefault(const char16_t* printer_name, std::uint8_t* output) {
  if (printer_name == nullptr) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return 0;
  }
  auto opened = platform::OpenPrinter(platform::Utf16ToUtf8(printer_name));
  if (!opened) {
    SetLastError(opened.error().code);
    return 0;
  }
  platform::ScopedPrinter printer(*opened);
  auto info = platform::GetPrinter(printer.get());
  if (!info) {
    SetLastError(info.error().code);
    return 0;
  }
  auto catalogue = ReadCatalogueStandalone(printer.get());
  static const PaperCatalogue kNone;
  Devmode dm;
  InitDevmode(dm, platform::Utf8ToUtf16(info->driver), catalogue ? (*catalogue)->catalogue : kNone);
  std::memcpy(output, &dm, kDriverDevmodeSize);
  if (!catalogue) {
    SetLastError(catalogue.error().code);
    return 0;
  }
  return 1;
}

}  // namespace

int ConvertDevmode(const char16_t* printer_name, const void* input, void* output,
                   std::int32_t* size, std::uint32_t mode) {
  auto* out = static_cast<std::uint8_t*>(output);
  const bool needs_full = mode == CDM_CONVERT351 || mode == CDM_DRIVER_DEFAULT;
  if (size == nullptr) {
    SetLastError(out == nullptr ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (out == nullptr) {
    // Without an output the call is a size query: say what is needed.
    if (needs_full) *size = static_cast<std::int32_t>(kDriverDevmodeSize);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (mode == CDM_CONVERT) {
    const std::size_t available = *size > 0 ? static_cast<std::size_t>(*size) : 0;
    if (available < kDevmodeHeaderSize || input == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    const auto header = ReadDevmodeHeader(std::span<const std::uint8_t>(out, kDevmodeHeaderSize));
    const std::size_t wanted = std::size_t{header->size} + header->driver_extra;
    if (wanted > available || CopyDevmode(ForeignDevmode(input), std::span(out, wanted)) < 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    *size = static_cast<std::int32_t>(wanted);
    return 1;
  }
  if (!needs_full) return 0;
  if (*size < static_cast<std::int32_t>(kDriverDevmodeSize)) {
    *size = static_cast<std::int32_t>(kDriverDevmodeSize);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  *size = static_cast<std::int32_t>(kDriverDevmodeSize);
  if (mode == CDM_CONVERT351) return 0;
  return DriverDefault(printer_name, out);
}

}  // namespace klm::driver
