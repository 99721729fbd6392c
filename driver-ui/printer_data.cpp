#include "driver-ui/printer_data.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/locale.h"
#include "platform/spooler.h"
#include "platform/win_errors.h"

namespace klm::driver {

bool IsMetricCountry() {
  const std::string text = platform::UserLocale().country_code;
  int code = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), code);
  if (ec != std::errc() || end == text.data()) return false;
  return !(code == 1 || code == 2 || (code >= 50 && code <= 59) || (code >= 500 && code <= 599));
}

bool IsKnownAnsiCodePage(std::uint32_t cp) {
  return cp == 1252 || cp == 932 || cp == 936 || cp == 949 || cp == 950;
}

PrinterData DefaultPrinterData(const platform::PrinterHandle* printer) {
  PrinterData block;
  std::memset(&block, 0, sizeof block);
  block.version = kPrinterDataVersion;
  block.size = kPrinterDataSize;
  if (auto free_mem = platform::GetPrinterData(printer, "FreeMem")) {
    if (auto kb = free_mem->AsDword()) {
      // Kilobytes beyond 4 GB would wrap; the field holds at most that.
      const std::uint64_t bytes = std::uint64_t{*kb} * 1024;
      block.memory = static_cast<std::uint32_t>(
          std::clamp<std::uint64_t>(bytes, kMinPrinterMemory, 0xFFFFFFFFu));
    }
  }
  if (auto ht = platform::GetPrinterData(printer, "PrinterHT")) {
    if (auto v = ht->AsDword(); v && *v != 0) block.flags |= PD_PRINTER_HT;
  }
  if (IsMetricCountry()) block.flags |= PD_METRIC;
  if (!IsKnownAnsiCodePage(platform::AnsiCodePage())) block.flags |= PD_NON_LATIN_CP;
  return block;
}

Result<PrinterData> ReadStoredPrinterData(const platform::PrinterHandle* printer) {
  auto size = platform::GetPrinterData(printer, "PrinterDataSize");
  if (!size) return size.error();
  if (auto n = size->AsDword(); !n || *n == 0) {
    return MakeError(ERROR_FILE_NOT_FOUND, "printer data \"PrinterDataSize\" is 0 or no number");
  }
  auto data = platform::GetPrinterData(printer, "PrinterData");
  if (!data) return data.error();
  const auto& bytes = data->data;
  std::size_t take = std::min<std::size_t>(bytes.size(), kPrinterDataSize);
  if (bytes.size() >= 4) {
    const std::size_t own = std::size_t{bytes[2]} | std::size_t{bytes[3]} << 8;
    take = std::min(take, own);
  }
  PrinterData block;
  std::memset(&block, 0, sizeof block);
  std::memcpy(&block, bytes.data(), take);
  block.version = kPrinterDataVersion;
  block.size = kPrinterDataSize;
  return block;
}

PrinterData ReadPrinterData(const platform::PrinterHandle* printer) {
  if (auto stored = ReadStoredPrinterData(printer)) return *stored;
  return DefaultPrinterData(printer);
}

Status WritePrinterData(platform::PrinterHandle* printer, const PrinterData& block) {
  const std::uint32_t ht = (block.flags & PD_PRINTER_HT) ? 1 : 0;
  std::uint8_t ht_bytes[4] = {static_cast<std::uint8_t>(ht), 0, 0, 0};
  const auto* raw = reinterpret_cast<const std::uint8_t*>(&block);
  for (auto [name, value] : {
           std::pair<const char*, platform::RegValue>{"FreeMem", platform::RegValue::Dword(block.memory / 1024)},
           {"PrinterHT", platform::RegValue::Binary(ht_bytes)},
           {"PrinterDataSize", platform::RegValue::Dword(kPrinterDataSize)},
           {"PrinterData", platform::RegValue::Binary(std::span(raw, kPrinterDataSize))},
       }) {
    if (auto st = platform::SetPrinterData(printer, name, value); !st) return st;
  }
  return {};
}

}  // namespace klm::driver
