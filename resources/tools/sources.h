// The human-editable sources of a resource library and how each becomes a
// resource. Errors name the file (or line) and what was expected.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "resources/dialog_template.h"

namespace klm::res::tools {

// A Qt Designer .ui file with absolutely placed widgets. `stem` is the file
// name without ".ui": digits give a numbered template, anything else a named one.
Result<DialogTemplate> DialogFromUi(std::string_view xml, std::string_view stem);

// A picture script (see README.md) rendered to the bytes of a BMP file:
// 24-bit, or 8-bit grey with "depth 8".
Result<std::vector<std::uint8_t>> PictureFromScript(std::string_view script);

struct StringSource {
  std::uint32_t id = 0;
  std::string language;
  std::string text;
};
// strings.tsv: a header "id<TAB>en<TAB>de...", then one row per id; "\n",
// "\t" and "\\" escape. Every id needs a base-language ("en") text.
Result<std::vector<StringSource>> StringsFromTsv(std::string_view tsv);

// A .menu file: "popup TEXT", "item ID TEXT", "separator", "end".
Result<MenuTemplate> MenuFromText(std::string_view text);

// The whole library of a source folder (strings.tsv, dialogs/, pictures/,
// menus/, data/; each optional), as the bytes of the library file.
Result<std::vector<std::uint8_t>> CompileLibraryFolder(const std::filesystem::path& folder);

}  // namespace klm::res::tools
