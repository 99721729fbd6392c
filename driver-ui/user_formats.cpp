#include "driver-ui/user_formats.h"

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "platform/files.h"

namespace klm::driver {
namespace {

constexpr std::uint8_t kVersion[4] = {'2', '.', '0', '0'};

}  // namespace

std::vector<UserFormat> ParseUserFormats(std::span<const std::uint8_t> bytes) {
  std::vector<UserFormat> out;
  if (bytes.size() < kUserFormatHeaderSize) return out;
  if (std::memcmp(bytes.data(), kVersion, 4) != 0) return out;
  const std::size_t count = std::size_t{bytes[4]} | std::size_t{bytes[5]} << 8;
  const std::uint32_t record_size = std::uint32_t{bytes[6]} | std::uint32_t{bytes[7]} << 8 |
                                    std::uint32_t{bytes[8]} << 16 | std::uint32_t{bytes[9]} << 24;
  if (record_size != kUserFormatRecordSize) return out;
  const std::size_t present = (bytes.size() - kUserFormatHeaderSize) / kUserFormatRecordSize;
  const std::size_t take = std::min({count, kMaxUserFormatsRead, present});
  if (take == 0) return out;
  out.resize(take);
  std::memcpy(out.data(), bytes.data() + kUserFormatHeaderSize, take * kUserFormatRecordSize);
  // A name must end inside its field whatever the file says.
  for (auto& f : out) f.name[kUserFormatNameBytes - 1] = 0;
  return out;
}

std::vector<UserFormat> ReadUserFormats(std::optional<std::uint8_t> group,
                                        const std::filesystem::path& file) {
  auto bytes = platform::ReadWholeFile(platform::ResolveCaseInsensitive(file));
  if (!bytes) return {};
  auto records = ParseUserFormats(*bytes);
  if (group) {
    std::erase_if(records, [&](const UserFormat& f) { return (f.group & 0xFF) != *group; });
  }
  return records;
}

std::optional<MappedUserFormats> MapUserFormats(const std::filesystem::path& file) {
  std::filesystem::path dat = file;
  dat.replace_extension("DAT");
  auto bytes = platform::ReadWholeFile(platform::ResolveCaseInsensitive(dat));
  if (!bytes) return std::nullopt;
  MappedUserFormats mapped;
  std::memset(mapped.records.data(), 0xFF, sizeof mapped.records);
  const auto records = ParseUserFormats(*bytes);
  std::copy(records.begin(), records.end(), mapped.records.begin());
  mapped.count = static_cast<int>(records.size());
  return mapped;
}

std::vector<std::uint8_t> SerializeUserFormats(std::span<const UserFormat> records) {
  const std::size_t n = std::min<std::size_t>(records.size(), 0xFFFF);
  std::vector<std::uint8_t> out(kUserFormatHeaderSize + n * kUserFormatRecordSize);
  std::memcpy(out.data(), kVersion, 4);
  out[4] = static_cast<std::uint8_t>(n);
  out[5] = static_cast<std::uint8_t>(n >> 8);
  out[6] = static_cast<std::uint8_t>(kUserFormatRecordSize);
  out[7] = static_cast<std::uint8_t>(kUserFormatRecordSize >> 8);
  if (n != 0) std::memcpy(out.data() + kUserFormatHeaderSize, records.data(), n * kUserFormatRecordSize);
  return out;
}

Status WriteUserFormats(std::span<const UserFormat> records, const std::filesystem::path& file) {
  return platform::WriteFileAtomic(platform::ResolveCaseInsensitive(file),
                                   SerializeUserFormats(records));
}

std::u16string UserFormatName(const UserFormat& format) {
  const std::string_view bytes(format.name, strnlen(format.name, kUserFormatNameBytes));
  if (auto text = platform::AnsiToUtf16(bytes)) return *text;
  std::u16string latin1;
  for (unsigned char c : bytes) latin1 += static_cast<char16_t>(c);
  return latin1;
}

}  // namespace klm::driver
