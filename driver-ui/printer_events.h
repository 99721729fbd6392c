// Printer events and driver upgrade: the installation-wide values of the
// driver's registry key are copied into each printer's printer data, the key
// is made to name the driver-information library, and the stored printer
// data block is brought to the current version.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace klm::platform {
struct PrinterHandle;
}

namespace klm::driver {

// HKEY_LOCAL_MACHINE key of the driver, followed by the driver name.
inline constexpr std::string_view kDriverKeyPrefix =
    "SOFTWARE\\Koravel Industries, Ltd.\\Quillmark\\Driver\\3.0\\";
inline constexpr std::u16string_view kInfoDllValue = u"KLM71F.DLL";

// DrvPrinterEvent's events.
inline constexpr int PRINTER_EVENT_INITIALIZE = 3;
inline constexpr int PRINTER_EVENT_CACHE_REFRESH = 5;

// The spooler's library and what the cache refresh needs of it.
inline constexpr const char* kSpoolerLibrary = "spoolss.dll";
using RevertToPrinterSelfFn = void* (*)();
using ImpersonatePrinterClientFn = int (*)(void* token);

// The value names copied from the key into printer data, in order.
inline constexpr const char* kCopiedValues[] = {
    "Status TimeOut", "Print TimeOut", "MonitorDisplay",
    "Limit Status TimeOut", "Limit Print TimeOut",
};

// The driver's key for `driver_name`; nothing for a name that could not be
// one key (empty, or holding '\').
std::optional<std::string> DriverKey(std::string_view driver_name);

// Copies the key's values into the printer's data with their own type and
// bytes (missing ones are skipped), then creates the key if needed and gives
// it "Info Dll" = "KLM71F.DLL" when it has none; an existing value is kept.
// False when the printer cannot be asked for its driver or "Info Dll" could
// not be made sure of. A value that cannot be stored (no administer access)
// is skipped.
bool CopyKeyToPrinterData(platform::PrinterHandle* printer);

// CopyKeyToPrinterData, then stores the printer data block (the stored one
// brought to version 0x0500 and 104 bytes, else the default block) with
// "FreeMem" and "PrinterHT". False when the block could not be written.
bool UpgradePrinterData(platform::PrinterHandle* printer);

// The entry points' logic; the exported functions only guard against
// exceptions. `printer_name` may be null.
int PrinterEvent(const char16_t* printer_name, int event, std::uint32_t flags, std::intptr_t param);

// DRIVER_UPGRADE_INFO_1: the printer's name and the old driver's folder.
struct DriverUpgradeInfo1 {
  const char16_t* pPrinterName;
  const char16_t* pOldDriverDirectory;
};
// Level 1 only; anything else, no info or a printer that cannot be opened
// with full access: ERROR_INVALID_PARAMETER and 0.
int UpgradePrinter(std::uint32_t level, const void* info);

}  // namespace klm::driver
