// "klm71 devmode": look inside stored DEVMODEs and write the driver default.
#pragma once

#include <CLI/CLI.hpp>

#include "tools/klm71/output.h"

namespace klm::cli {

// Adds "devmode show FILE" and "devmode default PRINTER --out FILE"; a
// failure sets `rc` to 1 after naming what went wrong on stderr.
void AddDevmodeCommands(CLI::App& app, const Output& out, int& rc);

}  // namespace klm::cli
