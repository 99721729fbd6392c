#include "paper-data/qmd_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "paper-data/qmd_compile.h"
#include "paper-data/test_fixtures.h"
#include "platform/testing/temp_root.h"

namespace klm::paperdata {
namespace {

CompiledQmd SampleQmd() {
  CompiledQmd qmd;
  qmd.model.bySeriesCode = '5';
  qmd.model.byModelCode = '1';
  CopyToField(u"Koravel LM-7100", qmd.model.dmDeviceName);
  qmd.model.nDefaultPaperSize = 366;
  for (std::int16_t id : {513, 514}) {
    PaperBuild build = BuildPaperRecords(testing::SamplePaper(u"label", id));
    EXPECT_TRUE(build.problems.empty());
    qmd.papers.push_back(build.paper);
  }
  return qmd;
}

// Writes the checksum anew, so that a test reaches the checks behind it.
void Reseal(std::vector<std::uint8_t>& bytes) {
  std::uint32_t crc = Crc32(std::span(bytes).first(12));
  crc = Crc32(std::span(bytes).subspan(16), crc);
  std::memcpy(bytes.data() + 12, &crc, 4);
}

TEST(QmdFile, RoundTripGivesTheSameBytes) {
  klm::testing::TempRoot root;
  const auto bytes = SerializeQmd(SampleQmd());
  ASSERT_EQ(bytes.size(), 32u + 118u + 2u * (272u + 279u));
  auto parsed = ParseQmd(bytes);
  ASSERT_TRUE(parsed) << parsed.error().message;
  EXPECT_EQ(SerializeQmd(*parsed), bytes);
  EXPECT_EQ(+parsed->papers[1].record.head.nPaperSize, 514);
}

TEST(QmdFile, EveryTruncationAndEveryBitFlipIsRefused) {
  klm::testing::TempRoot root;
  const auto bytes = SerializeQmd(SampleQmd());
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    auto parsed = ParseQmd(std::span(bytes).first(n));
    ASSERT_FALSE(parsed) << "truncated to " << n;
    EXPECT_EQ(+parsed.error().code, ERROR_INVALID_DATA);
  }
  auto copy = bytes;
  for (std::size_t i = 0; i < copy.size(); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      copy[i] ^= static_cast<std::uint8_t>(1u << bit);
      ASSERT_FALSE(ParseQmd(copy)) << "byte " << i << " bit " << bit;
      copy[i] = bytes[i];
    }
  }
}

TEST(QmdFile, ConsistentButImpossibleContentsAreRefused) {
  klm::testing::TempRoot root;
  struct Case {
    const char* what;
    void (*damage)(std::vector<std::uint8_t>&);
  };
  const Case cases[] = {
      {"newer version", [](std::vector<std::uint8_t>& b) { b[4] = 2; }},
      {"name without terminator",
       [](std::vector<std::uint8_t>& b) {
         for (std::size_t i = 0; i < 64; i += 2) b[32 + 118 + i] = 'x';
       }},
      {"model name without terminator",
       [](std::vector<std::uint8_t>& b) {
         for (std::size_t i = 0; i < 64; i += 2) b[32 + 2 + i] = 'x';
       }},
      {"count beyond the limit, size to match",
       [](std::vector<std::uint8_t>& b) {
         const std::uint32_t count = kQmdMaxPapers + 1;
         const std::uint32_t size = 32 + 118 + count * 551;
         b.resize(size);
         std::memcpy(b.data() + 20, &count, 4);
         std::memcpy(b.data() + 8, &size, 4);
       }},
  };
  for (const Case& c : cases) {
    auto bytes = SerializeQmd(SampleQmd());
    c.damage(bytes);
    Reseal(bytes);
    EXPECT_FALSE(ParseQmd(bytes)) << c.what;
  }
}

TEST(QmdFile, LevelOneMovesTheTailFields) {
  PaperRecord r{};
  r.head.nVirtualOffsetX = 5;
  r.nCompatiblePaperSizes = 346;
  r.dwPaperAbility01 = 0x2;
  r.dwPaperAbility02 = 0x7;
  const PaperRecord1 r1 = ToLevel1(r);
  std::uint8_t raw[252];
  std::memcpy(raw, &r1, sizeof raw);
  std::int16_t compatible;
  std::uint32_t ability;
  std::memcpy(&compatible, raw + 236, 2);
  std::memcpy(&ability, raw + 244, 4);
  EXPECT_EQ(compatible, 346);
  EXPECT_EQ(ability, 0x2u);
  EXPECT_EQ(+r1.dwPaperAbility02, 0x7u);
}

}  // namespace
}  // namespace klm::paperdata
