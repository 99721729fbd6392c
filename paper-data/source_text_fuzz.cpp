// Source text reader and compiler on arbitrary bytes. Whatever reads must
// write and read back the same; whatever compiles must survive the compiled
// file's own reader unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "paper-data/qmd_compile.h"
#include "paper-data/qmd_file.h"
#include "paper-data/source_text.h"

using namespace klm::paperdata;

namespace {
constexpr std::uint32_t kCodePage = 1252;  // fixed: no machine store in the loop

void Check(bool condition) {
  if (!condition) std::abort();
}

std::vector<SourcePaper> ReadAll(const SourceText& text) {
  std::vector<SourcePaper> papers;
  for (int k = 0; k <= kMaxListPapers; ++k) {
    SourcePaper p;
    PaperReadOutcome outcome = ReadSourcePaper(text, k, p, 0, k);
    if (!outcome.read) break;
    papers.push_back(p);
  }
  return papers;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const SourceText text(std::string(reinterpret_cast<const char*>(data), size), kCodePage);
  SourceHeader header;
  const bool header_complete = ReadSourceHeader(text, header);
  const std::vector<SourcePaper> papers = ReadAll(text);

  auto written = FormatSource(header, papers, kCodePage);
  if (written) {
    const SourceText again(*written, kCodePage);
    SourceHeader header2;
    Check(ReadSourceHeader(again, header2) == header_complete);
    if (header_complete) Check(header2 == header);
    Check(ReadAll(again) == papers);
  }

  CompileOutcome outcome = CompileSource(text, "fuzz");
  if (outcome.qmd) {
    const auto bytes = SerializeQmd(*outcome.qmd);
    auto parsed = ParseQmd(bytes);
    Check(parsed.ok());
    Check(SerializeQmd(*parsed) == bytes);
  }
  return 0;
}
