// Where the machine's state lives. Every process of the package finds the same
// root, so they all see one registry, one spooler and one driver directory.
#pragma once

#include <filesystem>

namespace klm::platform {

// The folder KLM71_ROOT names, else $XDG_DATA_HOME/klm71, else
// ~/.local/share/klm71. Read anew on every call (tests switch roots).
std::filesystem::path MachineRoot();

// The printer-driver directory of the local machine (default environment).
// Its subfolder "3" holds the driver's libraries, programs and data files.
std::filesystem::path PrinterDriverDirectory();

// The driver's data folder: PrinterDriverDirectory() / "3".
std::filesystem::path DriverDataDirectory();

// The system directory, where the spooler's own libraries live.
std::filesystem::path SystemDirectory();

}  // namespace klm::platform
