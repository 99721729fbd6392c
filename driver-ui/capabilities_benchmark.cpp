// What a capability query costs on the shipped catalogue with 100 custom
// formats and 20 user formats, and how much of that is the bare catalogue
// read (loading the paper-data library, reading, unloading).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "driver-ui/capabilities.h"
#include "driver-ui/paper_catalogue.h"
#include "driver-ui/user_formats.h"
#include "paper-data/paper_data_install.h"
#include "paper-data/qmd_compile.h"
#include "paper-data/test_fixtures.h"
#include "platform/files.h"
#include "platform/machine_root.h"
#include "platform/spooler.h"

namespace klm::driver {
namespace {

namespace fs = std::filesystem;

std::string CustomSource() {
  std::vector<paperdata::SourcePaper> papers;
  for (int i = 0; i < 100; ++i) {
    papers.push_back(paperdata::testing::SamplePaper(
        u"custom " + std::u16string(1, u'A' + i % 26) + std::u16string(1, u'a' + i / 26),
        static_cast<std::int16_t>(513 + i)));
  }
  return *paperdata::FormatSource(paperdata::testing::SampleHeader(), papers, 1252);
}

// One machine root for the run: the shipped catalogue, 100 custom formats,
// the resource library, 20 user formats and a printer "LM-7100".
platform::PrinterHandle* Printer() {
  static platform::PrinterHandle* printer = [] {
    std::string pattern = (fs::temp_directory_path() / "klm71-bench-XXXXXX").string();
    setenv("KLM71_ROOT", mkdtemp(pattern.data()), 1);
    setenv("KLM71_ADMIN", "1", 1);
    const char* env_bin = std::getenv("KLM71_BUILD_BIN");
    const fs::path bin = env_bin ? env_bin : KLM71_TEST_BIN_DIR;
    const fs::path data = platform::DriverDataDirectory();
    if (!paperdata::InstallPaperData(data, bin, fs::path(KLM71_SOURCE_DIR) / "data")) std::abort();
    auto outcome = paperdata::CompileSource(paperdata::SourceText(CustomSource(), 1252), "custom");
    if (!outcome.qmd || !platform::WriteFileAtomic(data / "klm71ed.qmd", paperdata::SerializeQmd(*outcome.qmd))) {
      std::abort();
    }
    fs::copy_file(bin / "KLM71r.dll", data / "KLM71r.dll", fs::copy_options::overwrite_existing);
    std::vector<UserFormat> formats(20);
    for (std::size_t i = 0; i < formats.size(); ++i) {
      std::memset(&formats[i], 0, sizeof formats[i]);
      std::snprintf(formats[i].name, sizeof formats[i].name, "Format %zu", i + 1);
      formats[i].base_paper_id = i % 2 ? 345 : 366;
      formats[i].length_hundredth_mm = static_cast<std::uint32_t>(3000 + 100 * i);
    }
    if (!WriteUserFormats(formats)) std::abort();
    platform::DriverInfo driver;
    driver.name = "Koravel LM-7100";
    driver.data_file = (data / "klm71ad.qmd").string();
    driver.config_file = (data / "KLM71ui.so").string();
    if (!platform::AddPrinterDriver(driver) ||
        !platform::AddPrinter({"LM-7100", driver.name, "COM1:", platform::PRINTER_ATTRIBUTE_LOCAL})) {
      std::abort();
    }
    return *platform::OpenPrinter("LM-7100");
  }();
  return printer;
}

void BM_ReadCatalogueStandalone(benchmark::State& state) {
  for (auto _ : state) {
    auto catalogue = ReadCatalogueStandalone(Printer());
    if (!catalogue || (*catalogue)->catalogue.count < 120) state.SkipWithError("catalogue not read");
    benchmark::DoNotOptimize(catalogue);
  }
}
BENCHMARK(BM_ReadCatalogueStandalone)->Unit(benchmark::kMicrosecond);

// Arg 0: the index; arg 1: with a buffer.
void BM_DeviceCapabilities(benchmark::State& state) {
  const auto index = static_cast<std::uint16_t>(state.range(0));
  const bool buffered = state.range(1) != 0;
  const std::int32_t count = DeviceCapabilities(Printer(), u"LM-7100", index, nullptr, {});
  if (count < 0) {
    state.SkipWithError("capability failed");
    return;
  }
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(count) * kPaperNameChars * sizeof(char16_t) + 64);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        DeviceCapabilities(Printer(), u"LM-7100", index, buffered ? buffer.data() : nullptr, {}));
  }
  state.counters["papers"] = count;
}
BENCHMARK(BM_DeviceCapabilities)
    ->Args({DC_PAPERS, 0})
    ->Args({DC_PAPERS, 1})
    ->Args({DC_PAPERNAMES, 1})
    ->Args({DC_SIZE, 0})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace klm::driver

BENCHMARK_MAIN();
