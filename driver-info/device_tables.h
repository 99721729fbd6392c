// KLM71F's answers, held in memory: the model's codes and defaults and the
// papers in three groups (types 138/139, then 8/11, then the rest), each
// paper as a derived entry and a clip entry. Built once from the paper data,
// then only read.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "driver-info/device_info.h"
#include "paper-data/qmd_records.h"
#include "platform/result.h"

namespace klm::driverinfo {

// One paper with X across the printed page and Y along it; lengths in 0.1 mm
// ("tenth_mm") or in dots at 300 dpi ("dots").
struct DerivedPaper {
  std::int16_t paper_id = 0;
  std::int16_t x_dots = 0;
  std::int16_t y_dots = 0;
  std::int16_t x_tenth_mm = 0;
  std::int16_t y_tenth_mm = 0;
  std::int16_t x_offset_dots = 0;
  std::int16_t y_offset_dots = 0;
  std::int16_t printable_x_dots = 0;
  std::int16_t printable_y_dots = 0;
  std::int16_t printable_x_tenth_mm = 0;
  std::int16_t printable_y_tenth_mm = 0;
  std::array<char, 50> metric_name{};  // ANSI, NUL-terminated
  std::array<char, 50> inch_name{};
  std::uint32_t kind_flags = 0;
  std::int16_t print_id = 0;   // the base paper of a split format
  std::uint8_t part_count = 1;
};

struct ClipEntry {
  std::uint32_t flags = 0;
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Clip flags: ability bit 0x8 gives kClipAbility; any clip value not 0 gives
// kClipValues, and with the ability bit also kClipAbilityValues.
inline constexpr std::uint32_t kClipAbility = 0x200;
inline constexpr std::uint32_t kClipAbilityValues = 0x400;
inline constexpr std::uint32_t kClipValues = 0x1000;

struct PaperGroup {
  std::vector<DerivedPaper> papers;
  std::vector<ClipEntry> clips;  // one per paper, same order
};

enum GroupIndex { kGroupA = 0, kGroupB = 1, kGroupC = 2 };

struct DeviceTables {
  std::uint8_t series_code = 0;
  std::uint8_t model_code = 0;
  std::int16_t default_length_dots = 0;
  std::int16_t default_length_tenth_mm = 0;
  std::uint16_t resolution_dpi = 0;  // the model's Y resolution
  std::array<PaperGroup, 3> groups;  // A, B, C: every list answers in this order

  std::int32_t PaperCount() const;
};

// Which group a paper type falls in.
GroupIndex GroupOf(std::int16_t type);

// The derived entry of one paper under the model's defaults. A paper with
// ability bit 0x2 lies across: X takes the length values, Y the width values.
DerivedPaper DerivePaper(const paperdata::PaperRecord1& paper, const DeviceTables& model);
ClipEntry DeriveClip(const paperdata::PaperRecord1& paper);

// ERROR_INVALID_DATA when a group would hold more papers than its 16-bit count.
Result<DeviceTables> BuildDeviceTables(const paperdata::ModelRecord& model,
                                       std::span<const paperdata::PaperRecord1> papers);

// The answer of MyDeviceCapabilities for `index`, writing list answers to
// `output` when it is not null (which must then hold them all).
std::int32_t AnswerCapability(const DeviceTables& tables, std::uint16_t index, char* output,
                              const DevModeA* devmode);

// UTF-16 name to ANSI, at most 49 bytes and a NUL, cut at a character
// boundary; a character the code page lacks becomes '?'.
std::array<char, 50> AnsiName(std::u16string_view name);

}  // namespace klm::driverinfo
