// The one way the deliverables read paper data: load the paper-data library,
// initialise its table, open the file, read the model and the papers at the
// levels asked for, close and unload, in every case. Each caller then applies
// its own acceptance rule to what came back.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "paper-data/qmd_records.h"
#include "platform/result.h"

namespace klm::paperdata {

struct PaperLevelData {
  std::uint32_t level = 0;
  bool query_ok = false;              // the size query answered nonzero
  std::uint32_t query_error = 0;      // last error after the size query
  std::uint32_t needed = 0;           // bytes, from the size query
  std::uint32_t count = 0;            // records, from the size query
  bool filled = false;                // the second call filled `bytes`
  std::uint32_t fill_error = 0;       // why not, when it was tried
  std::vector<std::uint8_t> bytes;    // count records of RecordSize(level) bytes
};

struct PaperDataSnapshot {
  bool model_ok = false;
  ModelRecord model{};
  std::vector<PaperLevelData> levels;  // in the order asked for
};

// Library missing (ERROR_MOD_NOT_FOUND), entry missing (ERROR_PROC_NOT_FOUND),
// Initialize refused or QMD_Open refused (its last error) fail the read; the
// library is unloaded again in every case. A level is filled only when the
// size query gave a nonzero count and needed >= count x record size (computed
// in 64 bits), so walking count records never leaves the buffer.
Result<PaperDataSnapshot> ReadPaperDataW(const std::filesystem::path& library,
                                         std::u16string_view qmd_path,
                                         std::span<const std::uint32_t> levels);
Result<PaperDataSnapshot> ReadPaperDataA(const std::filesystem::path& library,
                                         std::string_view ansi_qmd_path,
                                         std::span<const std::uint32_t> levels);

// The records of a filled level, copied out of the packed buffer.
template <typename Record>
std::vector<Record> RecordsOf(const PaperLevelData& data) {
  std::vector<Record> out;
  if (!data.filled || RecordSize(data.level) != sizeof(Record)) return out;
  out.resize(data.count);
  std::memcpy(out.data(), data.bytes.data(), std::size_t{data.count} * sizeof(Record));
  return out;
}

}  // namespace klm::paperdata
