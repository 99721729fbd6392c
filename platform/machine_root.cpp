#include "platform/machine_root.h"

#include <cstdlib>

namespace klm::platform {

namespace fs = std::filesystem;

fs::path MachineRoot() {
  if (const char* root = std::getenv("KLM71_ROOT"); root && *root) return fs::path(root);
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return fs::path(xdg) / "klm71";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "klm71";
}

fs::path PrinterDriverDirectory() { return MachineRoot() / "spool" / "drivers" / "x64"; }

fs::path DriverDataDirectory() { return PrinterDriverDirectory() / "3"; }

fs::path SystemDirectory() { return MachineRoot() / "system32"; }

}  // namespace klm::platform
