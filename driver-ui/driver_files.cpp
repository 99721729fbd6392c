#include "driver-ui/driver_files.h"

#include "platform/files.h"
#include "platform/machine_root.h"
#include "platform/module.h"
#include "platform/spooler.h"

namespace klm::driver {
namespace {

// Names are found whatever their case, as the driver's files always were.
std::filesystem::path InDataFolder(const char* name) {
  return platform::ResolveCaseInsensitive(platform::DriverDataDirectory() / name);
}

}  // namespace

std::filesystem::path DefaultSettingsFile() { return InDataFolder("beKLM71.dat"); }
std::filesystem::path UserFormatsFile() { return InDataFolder("KLM71v.dat"); }
std::filesystem::path ShippedUserFormatsFile() { return InDataFolder("KLM71v.org"); }

Result<platform::Module*> LoadResourceLibrary() {
  return platform::LoadModuleAsData(platform::DriverDataDirectory() / "KLM71r.dll");
}

std::filesystem::path HelpFilePath(const platform::PrinterHandle* printer) {
  if (printer != nullptr) {
    if (auto driver = platform::GetPrinterDriver(printer); driver && !driver->help_file.empty()) {
      return platform::FromWindowsPath(driver->help_file);
    }
  }
  return platform::ResolveCaseInsensitive(platform::PrinterDriverDirectory() / "KLM71v.chm");
}

}  // namespace klm::driver
