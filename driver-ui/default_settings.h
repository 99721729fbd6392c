// The installation-wide defaults in "\3\beKLM71.dat", section "Default
// Setting": decimal integers that overlay the driver's default DEVMODE.
#pragma once

#include <filesystem>

#include "driver-ui/devmode_layout.h"
#include "driver-ui/driver_files.h"
#include "driver-ui/paper_catalogue.h"

namespace klm::driver {

inline constexpr const char* kDefaultSection = "Default Setting";

// Overlays every key present on `devmode`, each read with the field's current
// value as default (a missing file changes nothing). "PaperSize" resolves a
// user label format through `user_formats`. A "YResolution" of 0 or below is
// ignored, as no length could be converted with it.
void ReadDefaultSettings(Devmode& devmode, const PaperCatalogue& catalogue,
                         const std::filesystem::path& file = DefaultSettingsFile(),
                         const std::filesystem::path& user_formats = UserFormatsFile());

// When "SaveSetting" asks for it: writes the DEVMODE's values as the new
// defaults if the sheet was accepted (`applied`), then resets "SaveSetting"
// to 0 either way. True when the values were written.
bool SaveDefaultSettings(const DevmodePublic* pub, const PrivDevmode* priv,
                         const PaperCatalogue& catalogue, bool applied,
                         const std::filesystem::path& file = DefaultSettingsFile());

}  // namespace klm::driver
