#include "ui/platform_shell.h"

#include "platform/files.h"
#include "platform/process.h"

namespace klm::ui {

Status PlatformShell::Open(const std::string& file, const std::string& parameters,
                           const std::filesystem::path& directory, int /*show*/) {
  return platform::ShellOpen(file, parameters, directory.string());
}

Status PlatformShell::ShowHelp(const std::filesystem::path& book, std::uint32_t) {
  std::error_code ec;
  if (!std::filesystem::exists(platform::ResolveCaseInsensitive(book), ec))
    return MakeError(ERROR_FILE_NOT_FOUND, "help book " + book.string() + " is missing");
  return MakeError(ERROR_NOT_SUPPORTED, "help needs the windowed shell");
}

}  // namespace klm::ui
