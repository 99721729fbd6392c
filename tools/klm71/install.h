// Lays the package into the machine root, as the package's installer would.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/result.h"

namespace klm::cli {

inline constexpr const char* kDriverName = "Koravel LM-7100";
inline constexpr const char* kDriverKey = "SOFTWARE\\Koravel Industries, Ltd.\\Quillmark\\Driver\\3.0\\Koravel LM-7100";

struct InstallReport {
  std::vector<std::string> placed;    // installed file names
  std::vector<std::string> skipped;   // "name: why"
};

// `package_dir` holds the built programs and libraries; its sibling
// share/klm71 the data files and resource libraries.
Result<InstallReport> Install(const std::filesystem::path& package_dir);

// The folder of the running program (where the built package lies).
std::filesystem::path ProgramDirectory();

}  // namespace klm::cli
