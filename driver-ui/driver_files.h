// Files of the driver in the printer-driver directory and its folder "3":
// the stored settings, the user label formats, the resource library, the help.
#pragma once

#include <filesystem>

#include "platform/result.h"

namespace klm::platform {
struct Module;
struct PrinterHandle;
}

namespace klm::driver {

// "\3\beKLM71.dat": the "Default Setting" profile.
std::filesystem::path DefaultSettingsFile();
// "\3\KLM71v.dat": the user label formats.
std::filesystem::path UserFormatsFile();
// "\3\KLM71v.org": the shipped user label formats.
std::filesystem::path ShippedUserFormatsFile();

// "\3\KLM71r.dll" recorded as data (none of its code runs); the caller frees
// it with platform::FreeModule. ERROR_MOD_NOT_FOUND when none is installed.
Result<platform::Module*> LoadResourceLibrary();

// The help file of the printer's driver, else the driver directory's "KLM71v.chm".
std::filesystem::path HelpFilePath(const platform::PrinterHandle* printer);

}  // namespace klm::driver
