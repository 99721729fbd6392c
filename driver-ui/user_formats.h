// User label formats: "\3\KLM71v.dat" (and the shipped "\3\KLM71v.org"), a
// 10-byte header ("2.00", u16 count, u32 record size 142) and 142-byte
// records. A format is selected in a DEVMODE as paper size 317 + its position.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "driver-ui/driver_files.h"
#include "driver-ui/unaligned_int.h"
#include "platform/result.h"

namespace klm::driver {

inline constexpr std::size_t kUserFormatHeaderSize = 10;
inline constexpr std::uint32_t kUserFormatRecordSize = 142;
inline constexpr std::size_t kMaxUserFormatsRead = 23;
inline constexpr int kFirstUserFormatId = 317;  // dmPaperSize of the first format
inline constexpr int kLastUserFormatId = 336;   // 20 formats per paper group
inline constexpr std::size_t kUserFormatNameBytes = 128;

struct UserFormat {
  char name[kUserFormatNameBytes];  // ANSI code page, byte 127 always 0 once read
  std::uint16_t group;              // the PaperGroup the format belongs to (low byte)
  UnalignedI32 base_paper_id;       // a catalogue nPaperSize
  UnalignedU32 length_hundredth_mm;
  UnalignedU32 feed_hundredth_mm;
};
static_assert(sizeof(UserFormat) == kUserFormatRecordSize);
static_assert(offsetof(UserFormat, group) == 128);
static_assert(offsetof(UserFormat, base_paper_id) == 130);
static_assert(offsetof(UserFormat, length_hundredth_mm) == 134);
static_assert(offsetof(UserFormat, feed_hundredth_mm) == 138);

// The records a file's bytes hold: none unless the header is "2.00" with
// record size 142; at most the header's count, 23, and what the bytes hold.
std::vector<UserFormat> ParseUserFormats(std::span<const std::uint8_t> bytes);

// The file's records in order; with `group`, only those whose group's low
// byte equals it. A missing or malformed file gives none.
std::vector<UserFormat> ReadUserFormats(std::optional<std::uint8_t> group,
                                        const std::filesystem::path& file = UserFormatsFile());

// 23 records prefilled with 0xFF bytes and how many of them were read.
struct MappedUserFormats {
  std::array<UserFormat, kMaxUserFormatsRead> records;
  int count = 0;
};

// The ".DAT" file of `file` (its extension replaced), read as ReadUserFormats
// does; nothing when it cannot be read.
std::optional<MappedUserFormats> MapUserFormats(const std::filesystem::path& file = UserFormatsFile());

// The file's bytes for these records.
std::vector<std::uint8_t> SerializeUserFormats(std::span<const UserFormat> records);

// Replaces the file atomically (a temporary in the same folder renamed into
// place), so a failure leaves the previous formats intact.
Status WriteUserFormats(std::span<const UserFormat> records,
                        const std::filesystem::path& file = UserFormatsFile());

// The name as UTF-16; bytes the ANSI code page cannot convert are taken as Latin-1.
std::u16string UserFormatName(const UserFormat& format);

}  // namespace klm::driver
