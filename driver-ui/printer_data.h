// The printer-wide data block stored as the printer value "PrinterData"
// (its byte count in "PrinterDataSize"), and the locale facts it records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/result.h"

namespace klm::platform {
struct PrinterHandle;
}

namespace klm::driver {

inline constexpr std::uint16_t kPrinterDataVersion = 0x0500;
inline constexpr std::uint16_t kPrinterDataSize = 104;

// Flags of the block.
inline constexpr std::uint32_t PD_METRIC = 0x1;       // the user's country is metric
inline constexpr std::uint32_t PD_PRINTER_HT = 0x2;   // printer value "PrinterHT" nonzero
inline constexpr std::uint32_t PD_NON_LATIN_CP = 0x4; // ANSI code page outside the known five

// "FreeMem" below this many bytes is raised to it.
inline constexpr std::uint32_t kMinPrinterMemory = 102400;

struct PrinterData {
  std::uint16_t version;
  std::uint16_t size;
  std::uint32_t flags;
  std::uint32_t memory;  // bytes
  std::uint8_t reserved[92];
};
static_assert(sizeof(PrinterData) == kPrinterDataSize);
static_assert(offsetof(PrinterData, flags) == 4);
static_assert(offsetof(PrinterData, memory) == 8);

// False when the user's country code is 1, 2, 50-59 or 500-599, or cannot be read.
bool IsMetricCountry();

// True for the code pages 1252, 932, 936, 949 and 950.
bool IsKnownAnsiCodePage(std::uint32_t code_page);

// The block a printer has before anything was stored, from "FreeMem",
// "PrinterHT" and the user's locale.
PrinterData DefaultPrinterData(const platform::PrinterHandle* printer);

// The stored block: ERROR_FILE_NOT_FOUND when "PrinterDataSize" is missing or
// 0 or "PrinterData" is missing. A short or long stored block is taken up to
// the least of its own size field, its stored length and 104 bytes, into a
// zeroed block that then carries version 0x0500 and size 104.
Result<PrinterData> ReadStoredPrinterData(const platform::PrinterHandle* printer);

// The stored block, else the default block; either normalised as above.
PrinterData ReadPrinterData(const platform::PrinterHandle* printer);

// Stores "FreeMem" (kilobytes), "PrinterHT" (4 bytes, 0 or 1),
// "PrinterDataSize" 104 and "PrinterData". Needs administer access.
Status WritePrinterData(platform::PrinterHandle* printer, const PrinterData& block);

}  // namespace klm::driver
