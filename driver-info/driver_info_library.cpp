// KLM71F: reads the driver's paper data once, while it is being loaded, and
// answers MyDeviceCapabilities from memory afterwards. When the paper data
// cannot be read the load is refused, so the loading program's load fails.
#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "driver-info/device_info.h"
#include "driver-info/device_tables.h"
#include "paper-data/paper_data_reader.h"
#include "platform/machine_root.h"
#include "platform/module.h"

namespace {

using klm::driverinfo::DeviceTables;

// Written only by attach and detach, which the loader serialises; read-only
// in between, so calls from any thread need no lock.
std::optional<DeviceTables> g_tables;

// The driver directory is asked for into 244 bytes, leaving room for
// "\3\KLM71i3.dll" in a 260-byte path.
constexpr std::size_t kDriverDirectoryLimit = 244;
constexpr const char* kPaperDataFile = "klm71ad.qmd";

klm::Result<DeviceTables> ReadTables() {
  const std::string directory = klm::platform::PrinterDriverDirectory().string();
  if (directory.empty() || directory.size() >= kDriverDirectoryLimit)
    return klm::MakeError(klm::ERROR_PATH_NOT_FOUND, "no usable printer-driver directory");
  constexpr std::array<std::uint32_t, 1> kLevels = {klm::paperdata::kPaperLevel1};
  // A relative name: the paper-data library looks for it in the driver's data folder.
  auto snapshot = klm::paperdata::ReadPaperDataA(
      klm::platform::DriverDataDirectory() / klm::paperdata::kLibraryName32, kPaperDataFile,
      kLevels);
  if (!snapshot) return snapshot.error();
  if (!snapshot->model_ok)
    return klm::MakeError(klm::ERROR_INVALID_DATA, "the model record could not be read");
  const klm::paperdata::PaperLevelData& level = snapshot->levels.front();
  // The reader fills a level only when count and needed are nonzero and the
  // needed size holds count whole records.
  if (!level.filled)
    return klm::MakeError(klm::ERROR_INVALID_DATA, "the paper catalogue could not be read");
  const auto papers = klm::paperdata::RecordsOf<klm::paperdata::PaperRecord1>(level);
  return klm::driverinfo::BuildDeviceTables(snapshot->model, papers);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int KlmDllMain(klm::platform::Module*,
                                                                 std::uint32_t reason) {
  try {
    if (reason == klm::platform::kDllProcessAttach) {
      g_tables.reset();
      auto tables = ReadTables();
      if (!tables) return 0;
      g_tables = std::move(*tables);
    } else if (reason == klm::platform::kDllProcessDetach) {
      g_tables.reset();
    }
    return 1;
  } catch (const std::exception&) {
    // Out of memory while building the tables: refuse the load.
    g_tables.reset();
    return 0;
  }
}

extern "C" __attribute__((visibility("default"))) std::int32_t MyDeviceCapabilities(
    const char* /*device*/, const char* /*port*/, std::uint16_t index, char* output,
    const klm::driverinfo::DevModeA* devmode) {
  // Loaded without its attach routine (not through the module loader): nothing to answer from.
  static const DeviceTables kEmpty{};
  return klm::driverinfo::AnswerCapability(g_tables ? *g_tables : kEmpty, index, output, devmode);
}

// The export must keep the shape callers bind it as.
static_assert(std::is_same_v<decltype(&MyDeviceCapabilities),
                             klm::driverinfo::MyDeviceCapabilitiesFunction>);
