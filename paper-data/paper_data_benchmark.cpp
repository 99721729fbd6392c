// What every capability query and every sheet pays to read the catalogue:
// load the library, open the preset file (plus 100 custom formats), read the
// model and the papers, close, unload. Also the editor's side: reading and
// compiling a source of 100 custom formats.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "paper-data/paper_data_install.h"
#include "paper-data/paper_data_reader.h"
#include "paper-data/qmd_compile.h"
#include "paper-data/test_fixtures.h"
#include "platform/files.h"
#include "platform/machine_root.h"
#include "platform/module.h"

namespace klm::paperdata {
namespace {

namespace fs = std::filesystem;

std::string CustomSource() {
  std::vector<SourcePaper> papers;
  for (int i = 0; i < 100; ++i) {
    papers.push_back(testing::SamplePaper(u"custom " + std::u16string(1, u'A' + i % 26) +
                                              std::u16string(1, u'a' + i / 26),
                                          static_cast<std::int16_t>(513 + i)));
  }
  return *FormatSource(testing::SampleHeader(), papers, 1252);
}

// One machine root for the whole run, with the shipped catalogue installed
// and 100 custom formats compiled beside it.
const fs::path& DataDir() {
  static const fs::path dir = [] {
    std::string pattern = (fs::temp_directory_path() / "klm71-bench-XXXXXX").string();
    setenv("KLM71_ROOT", mkdtemp(pattern.data()), 1);
    const char* bin = std::getenv("KLM71_BUILD_BIN");
    const fs::path data = platform::DriverDataDirectory();
    if (!InstallPaperData(data, bin ? bin : KLM71_TEST_BIN_DIR,
                          fs::path(KLM71_SOURCE_DIR) / "data")) {
      std::abort();
    }
    auto outcome = CompileSource(SourceText(CustomSource(), 1252), "custom");
    if (!outcome.qmd) std::abort();
    const auto bytes = SerializeQmd(*outcome.qmd);
    if (!platform::WriteFileAtomic(data / "klm71ed.qmd", bytes)) std::abort();
    return data;
  }();
  return dir;
}

void BM_LoadOpenEnumerateClose(benchmark::State& state) {
  const fs::path library = DataDir() / "KLM71i6.dll";
  const std::uint32_t levels[] = {static_cast<std::uint32_t>(state.range(0))};
  for (auto _ : state) {
    auto read = ReadPaperDataW(library, u"klm71ad.qmd", levels);
    if (!read || read->levels[0].count < 120) state.SkipWithError("catalogue not read");
    benchmark::DoNotOptimize(read);
  }
}
BENCHMARK(BM_LoadOpenEnumerateClose)->Arg(5)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);

// The same with the library already loaded: what open/enumerate/close cost.
void BM_OpenEnumerateClose(benchmark::State& state) {
  auto module = platform::LoadModule(DataDir() / "KLM71i6.dll");
  if (!module) {
    state.SkipWithError("library not loaded");
    return;
  }
  auto init = reinterpret_cast<QmdInitializeWFn>(platform::GetSymbol(*module, kInitializeWName));
  PaperDataTable table{};
  table.size = sizeof table;
  init(&table);
  std::vector<std::uint8_t> buffer;
  for (auto _ : state) {
    QmdHandle handle = nullptr;
    table.QMD_Open(&handle, u"klm71ad.qmd");
    std::uint32_t needed = 0, count = 0;
    table.QMD_EnumPapers(handle, 5, nullptr, 0, &needed, &count);
    buffer.resize(needed);
    table.QMD_EnumPapers(handle, 5, buffer.data(), needed, &needed, &count);
    table.QMD_Close(handle);
    benchmark::DoNotOptimize(buffer.data());
  }
  (void)platform::FreeModule(*module);
}
BENCHMARK(BM_OpenEnumerateClose)->Unit(benchmark::kMicrosecond);

// The editor's start: every section of a source of 100 custom formats.
void BM_ReadCustomSource(benchmark::State& state) {
  const std::string text = CustomSource();
  for (auto _ : state) {
    SourceText source(text, 1252);
    int k = 0;
    for (SourcePaper p; ReadSourcePaper(source, k, p, 0, k).read; ++k) {
    }
    if (k != 100) state.SkipWithError("not all sections read");
  }
}
BENCHMARK(BM_ReadCustomSource)->Unit(benchmark::kMicrosecond);

void BM_CompileCustomSource(benchmark::State& state) {
  const std::string text = CustomSource();
  for (auto _ : state) {
    auto outcome = CompileSource(SourceText(text, 1252), "custom");
    if (!outcome.qmd) state.SkipWithError("did not compile");
    benchmark::DoNotOptimize(SerializeQmd(*outcome.qmd));
  }
}
BENCHMARK(BM_CompileCustomSource)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace klm::paperdata

BENCHMARK_MAIN();
