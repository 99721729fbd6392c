#include "driver-ui/printer_events.h"

#include "driver-ui/library_state.h"
#include "driver-ui/printer_data.h"
#include "platform/codepage.h"
#include "platform/machine_root.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "platform/win_errors.h"

namespace klm::driver {
namespace {

using platform::Hive;

std::string NameOf(const char16_t* text) {
  return text ? platform::Utf16ToUtf8(text) : std::string();
}

// The library is unloaded whatever way the event ends.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(platform::Module* m) : m_(m) {}
  ~LoadedLibrary() { if (m_) (void)platform::FreeModule(m_); }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;
  platform::Module* get() const { return m_; }
 private:
  platform::Module* m_;
};

// Administer access is what storing printer data needs; a caller who cannot
// have it still gets the key's "Info Dll" made sure of.
Result<platform::PrinterHandle*> OpenForCopy(const std::string& name) {
  auto full = platform::OpenPrinter(name, platform::PRINTER_ALL_ACCESS);
  if (full) return full;
  return platform::OpenPrinter(name, platform::PRINTER_ACCESS_DEFAULT);
}

bool RefreshCache(const std::string& printer_name) {
  auto loaded = platform::LoadModule(platform::SystemDirectory() / kSpoolerLibrary);
  if (!loaded) return false;
  LoadedLibrary library(*loaded);
  auto revert = reinterpret_cast<RevertToPrinterSelfFn>(platform::GetSymbol(library.get(), "RevertToPrinterSelf"));
  auto impersonate =
      reinterpret_cast<ImpersonatePrinterClientFn>(platform::GetSymbol(library.get(), "ImpersonatePrinterClient"));
  if (revert == nullptr || impersonate == nullptr) return false;

  void* token = revert();
  if (auto opened = OpenForCopy(printer_name)) {
    platform::ScopedPrinter printer(*opened);
    CopyKeyToPrinterData(printer.get());
  }
  // The caller's identity comes back before the event ends, whatever the copy did.
  if (token != nullptr) impersonate(token);
  return true;
}

}  // namespace

std::optional<std::string> DriverKey(std::string_view driver_name) {
  if (driver_name.empty() || driver_name.find('\\') != std::string_view::npos) return std::nullopt;
  std::string key(kDriverKeyPrefix);
  key += driver_name;
  return key;
}

bool CopyKeyToPrinterData(platform::PrinterHandle* printer) {
  auto info = platform::GetPrinter(printer);
  if (!info) return false;
  const auto key = DriverKey(info->driver);
  if (!key) return false;

  for (const char* name : kCopiedValues) {
    auto value = platform::RegQueryValue(Hive::LocalMachine, *key, name);
    if (!value) continue;
    (void)platform::SetPrinterData(printer, name, *value);
  }

  if (!platform::RegCreateKey(Hive::LocalMachine, *key)) return false;
  if (platform::RegQueryValue(Hive::LocalMachine, *key, "Info Dll")) return true;
  return platform::RegSetValue(Hive::LocalMachine, *key, "Info Dll",
                               platform::RegValue::String(kInfoDllValue))
      .ok();
}

bool UpgradePrinterData(platform::PrinterHandle* printer) {
  CopyKeyToPrinterData(printer);
  // The stored block comes back at version 0x0500 and 104 bytes, its own
  // bytes kept up to the least of its size field, its length and 104.
  const PrinterData block = ReadPrinterData(printer);
  return WritePrinterData(printer, block).ok();
}

int PrinterEvent(const char16_t* printer_name, int event, std::uint32_t /*flags*/, std::intptr_t /*param*/) {
  switch (event) {
    case PRINTER_EVENT_INITIALIZE: {
      auto opened = platform::OpenPrinter(NameOf(printer_name), platform::PRINTER_ALL_ACCESS);
      if (opened) {
        platform::ScopedPrinter printer(*opened);
        UpgradePrinterData(printer.get());
      }
      return 1;
    }
    case PRINTER_EVENT_CACHE_REFRESH:
      return RefreshCache(NameOf(printer_name)) ? 1 : 0;
    default:
      return 1;
  }
}

int UpgradePrinter(std::uint32_t level, const void* info) {
  const auto* upgrade = static_cast<const DriverUpgradeInfo1*>(info);
  if (level != 1 || upgrade == nullptr || upgrade->pPrinterName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto opened = platform::OpenPrinter(NameOf(upgrade->pPrinterName), platform::PRINTER_ALL_ACCESS);
  if (!opened) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  platform::ScopedPrinter printer(*opened);
  std::lock_guard<std::mutex> hold(UpgradeLock());
  return UpgradePrinterData(printer.get()) ? 1 : 0;
}

}  // namespace klm::driver
