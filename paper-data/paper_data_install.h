// Placing the paper data of a build into a driver's folder "3": the library
// under both install names, the compiler, the compiled preset and custom
// files and the shipped data files.
#pragma once

#include <filesystem>

#include "platform/result.h"

namespace klm::paperdata {

// `data_dir`: the driver's folder "3" (created when missing). `bin_dir`: where
// the build put KLM71i6.so, KLM71pc and libklm71_platform.so (placed too: the
// compiler runs on its own). `share_dir`: the shipped files of
// data/ (klm71ad.txt, klm71ed.txt, KLM71v.org, beKLM71.dat).
// Library, compiler, presets and KLM71v.org are always replaced. The custom
// formats (klm71ed.txt, klm71ed.qmd) and beKLM71.dat are the user's once
// installed: an existing copy is kept. Fails on the first file that cannot be
// placed, or when a source text does not compile (the message holds the
// compiler's first problem).
Status InstallPaperData(const std::filesystem::path& data_dir, const std::filesystem::path& bin_dir,
                        const std::filesystem::path& share_dir);

}  // namespace klm::paperdata
