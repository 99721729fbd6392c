// A paper-data library for the converter's tests that reports what the real
// one never does: levels that disagree on the count, more papers than a count
// byte holds, a needed size too small for the count. Set up by environment:
//   KLM71_FAKE_PAPERS="<level-4 count>,<level-1 count>"
//   KLM71_FAKE_SHORT="<level>"  needed size one byte short at that level
// Paper i carries i in byHeadDivide (level 4) and wPinOffsetLeft (level 1).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "paper-data/qmd_records.h"

namespace {

using namespace klm::paperdata;

int g_open_handle;

std::uint32_t CountOf(std::uint32_t level) {
  const char* papers_text = std::getenv("KLM71_FAKE_PAPERS");
  if (papers_text == nullptr) return 0;
  const std::string text = papers_text;
  const auto comma = text.find(',');
  if (comma == std::string::npos) return 0;
  return static_cast<std::uint32_t>(
      std::stoul(level == kPaperLevel4 ? text.substr(0, comma) : text.substr(comma + 1)));
}

std::uint32_t NeededOf(std::uint32_t level, std::uint32_t count) {
  const char* short_level = std::getenv("KLM71_FAKE_SHORT");
  const std::uint32_t bytes = count * RecordSize(level);
  if (short_level != nullptr && *short_level != '\0' && std::stoul(short_level) == level && bytes > 0) return bytes - 1;
  return bytes;
}

std::int32_t Open(QmdHandle* handle, const char*) {
  *handle = &g_open_handle;
  return 1;
}

std::int32_t Close(QmdHandle) { return 1; }

std::int32_t GetModel(QmdHandle, std::uint32_t, void* buffer, std::uint32_t size,
                      std::uint32_t* needed) {
  *needed = sizeof(ModelRecord);
  if (buffer == nullptr || size < sizeof(ModelRecord)) return 0;
  ModelRecord model{};
  model.bySeriesCode = '5';
  model.byModelCode = '1';
  std::memcpy(buffer, &model, sizeof model);
  return 1;
}

std::int32_t EnumPapers(QmdHandle, std::uint32_t level, void* buffer, std::uint32_t size,
                        std::uint32_t* needed, std::uint32_t* count) {
  const std::uint32_t n = CountOf(level);
  *count = n;
  *needed = NeededOf(level, n);
  if (buffer == nullptr || size < *needed) return 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  // Only whole records that fit the needed size are written.
  for (std::uint32_t i = 0; (i + 1) * RecordSize(level) <= size && i < n; ++i) {
    if (level == kPaperLevel4) {
      PaperRegRecord reg{};
      reg.byHeadDivide = static_cast<std::uint8_t>(i);
      std::memcpy(out + i * sizeof reg, &reg, sizeof reg);
    } else {
      PaperRecord1 paper{};
      paper.head.wPinOffsetLeft = static_cast<std::uint16_t>(i);
      std::memcpy(out + i * sizeof paper, &paper, sizeof paper);
    }
  }
  return 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t QMD_InitializeA(
    PaperDataTableA* table) {
  if (table == nullptr || table->size != sizeof(PaperDataTableA)) return 0;
  table->QMD_Open = &Open;
  table->QMD_Close = &Close;
  table->QMD_GetModel = &GetModel;
  table->QMD_EnumPapers = &EnumPapers;
  return 1;
}
