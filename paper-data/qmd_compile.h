// Turns a QMD source text into the compiled catalogue, checking every value
// the records need. Stricter than the editor's reader: a value that is not a
// number, or that does not fit its field, is a problem, not a 0.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "paper-data/qmd_file.h"
#include "paper-data/source_text.h"

namespace klm::paperdata {

struct CompileOutcome {
  std::optional<CompiledQmd> qmd;     // set only when there is no problem
  std::vector<std::string> problems;  // "file: [section] key: what is wrong"
  std::vector<std::string> notes;     // harmless findings (ignored sections)
};

// `file_label` names the source in the messages.
CompileOutcome CompileSource(const SourceText& text, std::string_view file_label);

// The level-5 and level-4 records of one paper read by ReadSourcePaper; each
// problem names the key.
struct PaperBuild {
  CompiledPaper paper;
  std::vector<std::pair<std::string, std::string>> problems;  // key, what
};
// Texts are in `code_page` (0: the user's ANSI code page).
PaperBuild BuildPaperRecords(const SourcePaper& paper, std::uint32_t code_page = 0);

// A whole number as written in a source: optional sign, decimal digits or 0x
// and hexadecimal digits, nothing else.
std::optional<long long> StrictNumber(std::string_view text);

}  // namespace klm::paperdata
