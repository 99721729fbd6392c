// The compiled QMD file: a model record and the paper records of one source
// text, with a version and a checksum. Layout in paper-data/README.md.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "paper-data/qmd_records.h"
#include "platform/result.h"

namespace klm::paperdata {

inline constexpr std::uint16_t kQmdFormatVersion = 1;
inline constexpr std::uint32_t kQmdHeaderSize = 32;
// More papers than any source may hold (Paper00..Paper99); a larger count is
// damage, not data.
inline constexpr std::uint32_t kQmdMaxPapers = 100;

// One paper as the file stores it: the level-5 and the level-4 record. Level 1
// is derived from level 5.
// The records are packed (alignment 1); the alignment here keeps their UTF-16
// fields on even addresses in a vector of papers.
struct CompiledPaper {
  alignas(8) PaperRecord record{};
  alignas(8) PaperRegRecord reg{};
};

struct CompiledQmd {
  ModelRecord model{};
  std::vector<CompiledPaper> papers;
};

// The file's bytes. Never fails for a catalogue of at most kQmdMaxPapers.
std::vector<std::uint8_t> SerializeQmd(const CompiledQmd& qmd);

// Refuses (ERROR_INVALID_DATA, with the reason) anything that is not exactly a
// file SerializeQmd could have written: wrong magic, version, sizes, count,
// checksum, or a text field without its terminator.
Result<CompiledQmd> ParseQmd(std::span<const std::uint8_t> bytes);

// Level-1 record of a level-5 record.
PaperRecord1 ToLevel1(const PaperRecord& record);

// IEEE CRC-32 (the zlib polynomial), continued from `crc`.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

}  // namespace klm::paperdata
