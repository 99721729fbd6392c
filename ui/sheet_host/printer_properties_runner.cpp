#include "ui/sheet_host/printer_properties_runner.h"

#include <string>

#include "platform/machine_root.h"
#include "platform/module.h"
#include "platform/spooler.h"
#include "platform/system.h"
#include "platform/win_errors.h"

namespace klm::ui::sheet {

Result<bool> RunPrinterProperties(std::string_view printer_name) {
  // An administrator may change the settings; anyone else sees them.
  const std::uint32_t access =
      platform::IsAdministrator() ? platform::PRINTER_ACCESS_ADMINISTER : platform::PRINTER_ACCESS_USE;
  auto opened = platform::OpenPrinter(printer_name, access);
  if (!opened) return opened.error();
  platform::ScopedPrinter printer(*opened);

  std::filesystem::path library = platform::DriverDataDirectory() / "KLM71ui.dll";
  if (auto driver = platform::GetPrinterDriver(printer.get()); driver && !driver->config_file.empty())
    library = driver->config_file;
  auto module = platform::LoadModule(library);
  if (!module) return module.error();
  using PrinterPropertiesFn = int (*)(void* window, void* printer);
  auto entry = reinterpret_cast<PrinterPropertiesFn>(platform::GetSymbol(*module, "PrinterProperties"));
  if (entry == nullptr) {
    (void)platform::FreeModule(*module);
    return MakeError(ERROR_PROC_NOT_FOUND, library.string() + " has no PrinterProperties");
  }
  const bool accepted = entry(nullptr, printer.get()) != 0;
  (void)platform::FreeModule(*module);
  return accepted;
}

}  // namespace klm::ui::sheet
