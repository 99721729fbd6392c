#include "converter/registration_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "converter/command_line.h"

namespace klm::converter {
namespace {

using paperdata::PaperLevelData;
using paperdata::PaperRecord1;
using paperdata::PaperRegRecord;

// A record whose byte k holds (k * 7 + 3) & 0xFF, so that every copied byte
// shows where it came from.
PaperRegRecord PatternRecord() {
  PaperRegRecord reg;
  auto* bytes = reinterpret_cast<std::uint8_t*>(&reg);
  for (std::size_t k = 0; k < sizeof reg; ++k) bytes[k] = static_cast<std::uint8_t>(k * 7 + 3);
  return reg;
}

TEST(RegistrationEntry, CopiesEveryFieldFromItsPlace) {
  const PaperRegRecord reg = PatternRecord();
  const auto* src = reinterpret_cast<const std::uint8_t*>(&reg);
  const Entry entry = BuildEntry(reg, 0xBEEF);

  // {entry offset, bytes, record offset}: straight copies from the record.
  struct Copy {
    std::size_t entry, size, record;
  };
  std::vector<Copy> copies = {{0, 1, 0x9A},   {1, 1, 0x9C},   {5, 1, 0x9D},   {8, 2, 0x88},
                              {10, 2, 0x8C},  {12, 1, 0x9E},  {13, 2, 0x9F},  {15, 2, 0xA1},
                              {17, 2, 0xA3},  {19, 2, 0xA5},  {21, 2, 0xA7},  {77, 16, 0xE5},
                              {93, 16, 0xF5}, {109, 2, 0x105}, {111, 2, 0x107}, {113, 2, 0x109},
                              {115, 4, 0x10B}, {119, 4, 0x10F}, {123, 4, 0x113}};
  // The six preset blocks: byte 0 and the four values at source 2..9.
  for (std::size_t k = 0; k < 6; ++k) {
    copies.push_back({23 + 9 * k, 1, 0xA9 + 10 * k});
    copies.push_back({24 + 9 * k, 8, 0xAB + 10 * k});
  }
  std::vector<bool> covered(kEntrySize, false);
  for (const Copy& c : copies) {
    for (std::size_t i = 0; i < c.size; ++i) {
      EXPECT_EQ(entry[c.entry + i], src[c.record + i]) << "entry byte " << c.entry + i;
      covered[c.entry + i] = true;
    }
  }
  // Converted fields and the level-1 pin offset.
  EXPECT_EQ(entry[2], static_cast<std::uint8_t>(RoundTenthsToMm(reg.nPaperWidth)));
  const std::int32_t length_mm = RoundTenthsToMm(reg.nPaperLength);
  EXPECT_EQ(entry[3], static_cast<std::uint8_t>(length_mm));
  EXPECT_EQ(entry[4], static_cast<std::uint8_t>(length_mm >> 8));
  EXPECT_EQ(entry[6], 0xEF);
  EXPECT_EQ(entry[7], 0xBE);
  for (std::size_t i : {2, 3, 4, 6, 7}) covered[i] = true;
  for (std::size_t i = 0; i < kEntrySize; ++i) EXPECT_TRUE(covered[i]) << "entry byte " << i;
}

TEST(RegistrationEntry, RoundsTenthsToMillimetresTowardZero) {
  struct Case {
    std::int16_t tenths;
    std::int32_t mm;
    std::uint8_t byte2;
    std::uint16_t bytes3_4;
  };
  const Case cases[] = {
      {1015, 102, 102, 102},     {1014, 101, 101, 101}, {-7, 0, 0, 0},
      {-15, -1, 0xFF, 0xFFFF},   {0, 0, 0, 0},          {4, 0, 0, 0},
      {5, 1, 1, 1},              {2555, 256, 0x00, 256}, {32767, 3277, 0xCD, 3277},
      {-32768, -3276, 0x34, static_cast<std::uint16_t>(-3276)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tenths);
    EXPECT_EQ(RoundTenthsToMm(c.tenths), c.mm);
    PaperRegRecord reg{};
    reg.nPaperWidth = c.tenths;
    reg.nPaperLength = c.tenths;
    const Entry entry = BuildEntry(reg, 0);
    EXPECT_EQ(entry[2], c.byte2);
    EXPECT_EQ(entry[3] | entry[4] << 8, c.bytes3_4);
  }
}

template <typename Record>
PaperLevelData Level(std::uint32_t level, std::uint32_t count, bool filled = true) {
  PaperLevelData data;
  data.level = level;
  data.count = count;
  data.needed = count * sizeof(Record);
  data.query_ok = true;
  data.filled = filled && count != 0;
  if (data.filled) {
    data.bytes.assign(data.needed, 0);
    for (std::uint32_t i = 0; i < count; ++i) {
      if constexpr (std::is_same_v<Record, PaperRegRecord>) {
        data.bytes[i * sizeof(Record) + offsetof(PaperRegRecord, byHeadDivide)] =
            static_cast<std::uint8_t>(i + 1);
      } else {
        const auto pin = static_cast<std::uint16_t>(1000 + i);
        std::memcpy(&data.bytes[i * sizeof(Record) + 216], &pin, 2);
      }
    }
  }
  return data;
}

TEST(RegistrationFile, PairsRecordsByIndexAfterTheHeader) {
  auto file = BuildRegistrationFile(Level<PaperRegRecord>(4, 3), Level<PaperRecord1>(1, 3));
  ASSERT_TRUE(file) << file.error().message;
  ASSERT_EQ(file->size(), 386u);
  EXPECT_EQ(std::vector<std::uint8_t>(file->begin(), file->begin() + 5),
            (std::vector<std::uint8_t>{0x1B, 'i', 'U', 'w', 3}));
  for (std::size_t i = 0; i < 3; ++i) {
    const std::uint8_t* entry = file->data() + 5 + 127 * i;
    EXPECT_EQ(entry[0], i + 1);
    EXPECT_EQ(entry[6] | entry[7] << 8, 1000 + i);
  }
}

TEST(RegistrationFile, WritesOnlyWhatTheCountByteCanDescribe) {
  struct Case {
    const char* what;
    PaperLevelData level4, level1;
    std::size_t size;  // 0: refused
  };
  const Case cases[] = {
      {"one paper", Level<PaperRegRecord>(4, 1), Level<PaperRecord1>(1, 1), 5 + 127},
      {"255 papers", Level<PaperRegRecord>(4, 255), Level<PaperRecord1>(1, 255), 5 + 255 * 127},
      {"256 papers", Level<PaperRegRecord>(4, 256), Level<PaperRecord1>(1, 256), 0},
      {"no paper", Level<PaperRegRecord>(4, 0), Level<PaperRecord1>(1, 0), 0},
      {"more registration records", Level<PaperRegRecord>(4, 3), Level<PaperRecord1>(1, 2), 0},
      {"fewer registration records", Level<PaperRegRecord>(4, 2), Level<PaperRecord1>(1, 3), 0},
      {"level 4 not read", Level<PaperRegRecord>(4, 3, false), Level<PaperRecord1>(1, 3), 0},
      {"level 1 not read", Level<PaperRegRecord>(4, 3), Level<PaperRecord1>(1, 3, false), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto file = BuildRegistrationFile(c.level4, c.level1);
    if (c.size == 0) {
      EXPECT_FALSE(file);
      continue;
    }
    ASSERT_TRUE(file) << file.error().message;
    EXPECT_EQ(file->size(), c.size);
    EXPECT_EQ((*file)[4], static_cast<std::uint8_t>(c.level1.count));
  }
}

TEST(RegistrationFile, RefusesRecordsShorterThanTheirLevel) {
  // A level that claims to be filled but holds fewer bytes than count records.
  PaperLevelData level4 = Level<PaperRegRecord>(4, 2);
  level4.bytes.resize(sizeof(PaperRegRecord) + 10);
  EXPECT_FALSE(BuildRegistrationFile(level4, Level<PaperRecord1>(1, 2)));
}

TEST(CommandLine, TakesPathsAsTyped) {
  struct Case {
    std::string argument;
    std::optional<std::string> path;
  };
  const Case cases[] = {
      {"C:\\tmp\\a.qmd", "C:\\tmp\\a.qmd"},
      {"\"C:\\Program Files\\a.qmd\"", "C:\\Program Files\\a.qmd"},
      {"\"\"", "\"\""},
      {"\"a\"", "a"},
      {"\"a", "\"a"},
      {"a\"", "a\""},
      {std::string(258, 'x'), std::string(258, 'x')},
      {std::string(259, 'x'), std::nullopt},
      {"\"" + std::string(256, 'x') + "\"", std::string(256, 'x')},
      {"\"" + std::string(257, 'x') + "\"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument.substr(0, 40));
    EXPECT_EQ(TakePathArgument(c.argument), c.path);
  }
}

}  // namespace
}  // namespace klm::converter
