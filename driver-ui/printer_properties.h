// The printer-properties page: the printer-wide settings (status and print
// time-outs, the status-monitor display, the media-setting switch) as one
// page of option items in the common property sheet, and buttons that start
// the printer utility and the paper-format editor. The values live in the
// printer's data; the driver's registry key supplies fall-backs.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "driver-ui/document_properties.h"

namespace klm::platform {
struct PrinterHandle;
}

namespace klm::driver {

// The page's items, by the user data they carry.
inline constexpr std::uintptr_t kItemStatusTimeOut = 26;
inline constexpr std::uintptr_t kItemPrintTimeOut = 27;
inline constexpr std::uintptr_t kItemUtility = 28;
inline constexpr std::uintptr_t kItemMonitorDisplay = 42;
inline constexpr std::uintptr_t kItemCustomLabel = 43;
inline constexpr std::uintptr_t kItemSetMedia = 44;

// Ranges and fall-backs of the values.
inline constexpr std::uint32_t kStatusTimeOutMin = 1, kStatusTimeOutMax = 100, kStatusTimeOutDefault = 5;
inline constexpr std::uint32_t kPrintTimeOutMin = 60, kPrintTimeOutMax = 300, kPrintTimeOutDefault = 120;
inline constexpr std::uint32_t kMonitorDisplayStates = 3;

struct PrinterSettings {
  std::uint32_t statusTimeOut = kStatusTimeOutDefault;
  std::uint32_t printTimeOut = kPrintTimeOutDefault;
  std::uint32_t monitorDisplay = 0;
  std::uint32_t setMedia = 0;
  bool operator==(const PrinterSettings&) const = default;
};

// What the page starts with: each time-out and the monitor display from the
// printer's data, else from the driver's key, else the fall-backs above;
// the set-media switch from printer data only (0 unless a 4-byte value).
// Every value is brought into the page's range: a time-out is clamped, a
// monitor display of 3 or more reads as 0, a set-media switch as 0 or 1.
PrinterSettings ReadPrinterSettings(const platform::PrinterHandle* printer, std::u16string_view driver_name);

// The key's "CustomLabel" is 1: the page shows the custom-label button.
bool ShowsCustomLabel(std::u16string_view driver_name);

// "TrayFormTable" of a driver without trays: its size (4), then the end mark.
inline constexpr std::array<std::uint8_t, 4> kEmptyTrayFormTable = {4, 0, 0, 0};

// Programs the buttons start from the driver's folder "3".
inline constexpr const char* kUtilityProgram = "KLM71ut.exe";
inline constexpr const char* kLabelEditorProgram = "KLM71ct.exe";

// DrvDevicePropertySheets: INIT builds the page on a new context and adds
// it through the service; GET_INFO_HEADER, SET_RESULT (result 1 stores the
// four values as printer data) and DESTROY follow. -1 for a context the
// service did not get from us, a printer without forms, or any other reason.
std::int32_t DevicePropertySheets(PropSheetUiInfo* info, std::intptr_t param);

// PrinterProperties: marks the printer's data with "Permission" (a failing
// write makes the page read-only) and runs the sheet. True only when the
// sheet ran and was accepted.
bool PrinterProperties(void* window, platform::PrinterHandle* printer);

}  // namespace klm::driver
