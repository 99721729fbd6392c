// The print spooler: printers, their printer data, installed drivers and the
// forms list. Kept in the machine store so every process sees one spooler.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/result.h"

namespace klm::platform {

// Access rights of OpenPrinter, with the platform's values.
inline constexpr std::uint32_t PRINTER_ACCESS_ADMINISTER = 0x4;
inline constexpr std::uint32_t PRINTER_ACCESS_USE = 0x8;
inline constexpr std::uint32_t PRINTER_ALL_ACCESS = 0xF000C;
inline constexpr std::uint32_t PRINTER_ACCESS_DEFAULT = 0;  // use

// Printer attributes (PRINTER_ATTRIBUTE_*).
inline constexpr std::uint32_t PRINTER_ATTRIBUTE_LOCAL = 0x40;
inline constexpr std::uint32_t PRINTER_ATTRIBUTE_NETWORK = 0x10;
inline constexpr std::uint32_t PRINTER_ATTRIBUTE_ENABLE_BIDI = 0x800;

// An open printer. Owned by the caller; close with ClosePrinter. Valid in
// every module of the process (the stand-in is one shared library).
struct PrinterHandle;

// ERROR_INVALID_PRINTER_NAME when no printer has that name (compared without
// regard to case); ERROR_ACCESS_DENIED when administer access is asked for by
// someone who is not an administrator (IsAdministrator()).
Result<PrinterHandle*> OpenPrinter(std::string_view name, std::uint32_t access = PRINTER_ACCESS_USE);
void ClosePrinter(PrinterHandle* printer);
// The access the handle was opened with.
std::uint32_t PrinterAccess(const PrinterHandle* printer);

// Closes on scope exit.
class ScopedPrinter {
 public:
  explicit ScopedPrinter(PrinterHandle* p = nullptr) : p_(p) {}
  ~ScopedPrinter() { if (p_) ClosePrinter(p_); }
  ScopedPrinter(const ScopedPrinter&) = delete;
  ScopedPrinter& operator=(const ScopedPrinter&) = delete;
  PrinterHandle* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
 private:
  PrinterHandle* p_;
};

// What the info levels 2, 4, 5 and 9 deliver, in one record. Level 4 reads
// name and attributes, level 5 name, port and attributes, level 9 the
// per-user default DEVMODE.
struct PrinterInfo {
  std::string name;
  std::string port;
  std::string driver;
  std::string comment;
  std::string location;
  std::uint32_t attributes = PRINTER_ATTRIBUTE_LOCAL;
  std::vector<std::uint8_t> devmode;        // printer default (level 2), may be empty
  std::vector<std::uint8_t> user_devmode;   // per-user default (level 9), may be empty
};

Result<PrinterInfo> GetPrinter(const PrinterHandle* printer);
// Replaces the printer's port (as SetPrinter level 2/5 would).
Status SetPrinterPort(PrinterHandle* printer, std::string_view port);
Status SetPrinterDevmode(PrinterHandle* printer, std::span<const std::uint8_t> devmode);
Status SetUserDevmode(PrinterHandle* printer, std::span<const std::uint8_t> devmode);

// Printer data. ERROR_FILE_NOT_FOUND when the value is missing; setting needs
// a handle with administer access (ERROR_ACCESS_DENIED otherwise).
Result<RegValue> GetPrinterData(const PrinterHandle* printer, std::string_view name);
Status SetPrinterData(PrinterHandle* printer, std::string_view name, const RegValue& value);
Result<std::vector<std::string>> ListPrinterData(const PrinterHandle* printer);

// Driver info levels 2 and 3 in one record. File fields hold full native paths.
struct DriverInfo {
  std::string name;
  std::string environment = "Windows x64";
  std::string driver_path;
  std::string data_file;
  std::string config_file;
  std::string help_file;   // empty when the driver has none
  std::vector<std::string> dependent_files;
};
Result<DriverInfo> GetPrinterDriver(const PrinterHandle* printer);

struct FormInfo {
  std::string name;
  std::uint32_t flags = 0;       // 0 user form, 1 built in
  std::int32_t width_um = 0;     // micrometres
  std::int32_t height_um = 0;
  std::int32_t left_um = 0, top_um = 0, right_um = 0, bottom_um = 0;  // imageable area
};
// The standard forms first, then added forms in the order they were added.
Result<std::vector<FormInfo>> EnumForms(const PrinterHandle* printer = nullptr);

// Local printers in the order they were added.
Result<std::vector<PrinterInfo>> EnumLocalPrinters();

// --- Administration: what an installer or the spooler's own tools do. ---
struct PrinterSpec {
  std::string name;
  std::string driver;
  std::string port;
  std::uint32_t attributes = PRINTER_ATTRIBUTE_LOCAL;
};
// ERROR_ALREADY_EXISTS for a name in use; ERROR_UNKNOWN_PRINTER_DRIVER when
// the driver is not installed.
Status AddPrinter(const PrinterSpec& printer);
Status DeletePrinter(std::string_view name);
// Adds or replaces a driver.
Status AddPrinterDriver(const DriverInfo& driver);
Result<std::vector<DriverInfo>> EnumPrinterDrivers();
Status AddForm(const FormInfo& form);
Status DeleteForm(std::string_view name);

}  // namespace klm::platform
