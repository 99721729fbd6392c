// The desktop of the machine stand-in: programs and documents through the
// platform's shell "open". Help needs a window and lives in the Qt shell
// (ui/qt/qt_shell.h); here it answers ERROR_NOT_SUPPORTED (ERROR_FILE_NOT_FOUND
// for a missing book).
#pragma once

#include "ui/prompts.h"

namespace klm::ui {

class PlatformShell : public Shell {
 public:
  Status Open(const std::string& file, const std::string& parameters, const std::filesystem::path& directory,
              int show = SW_SHOWDEFAULT_VALUE) override;
  Status ShowHelp(const std::filesystem::path& book, std::uint32_t context) override;
  void CloseHelp() override {}

 private:
  static constexpr int SW_SHOWDEFAULT_VALUE = 10;
};

}  // namespace klm::ui
