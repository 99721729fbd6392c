// The printer registration command file: ESC "i" "U" "w", a count byte and one
// 127-byte entry per paper format, built from the paper-data library's level-4
// and level-1 records of the same papers, paired by index.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "paper-data/paper_data_reader.h"
#include "paper-data/qmd_records.h"
#include "platform/result.h"

namespace klm::converter {

inline constexpr std::array<std::uint8_t, 4> kRegisterCommand = {0x1B, 0x69, 0x55, 0x77};
inline constexpr std::size_t kFileHeaderSize = 5;  // command and count byte
inline constexpr std::size_t kEntrySize = 127;
// The count byte cannot describe more.
inline constexpr std::uint32_t kMaxEntries = 255;

using Entry = std::array<std::uint8_t, kEntrySize>;

// (tenths + 5) / 10, truncated toward zero: 1015 -> 102, 1014 -> 101, -7 -> 0.
std::int32_t RoundTenthsToMm(std::int16_t tenths);

// One entry; `pin_offset_left` is the level-1 record's wPinOffsetLeft.
Entry BuildEntry(const paperdata::PaperRegRecord& reg, std::uint16_t pin_offset_left);

// The whole file. Refused (ERROR_INVALID_DATA, nothing to write) when either
// level was not filled, when the levels report different counts, when there
// is no paper, or when there are more papers than the count byte can hold.
Result<std::vector<std::uint8_t>> BuildRegistrationFile(const paperdata::PaperLevelData& level4,
                                                        const paperdata::PaperLevelData& level1);

}  // namespace klm::converter
