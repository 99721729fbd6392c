#include "driver-ui/paper_catalogue.h"

#include <gtest/gtest.h>

#include <vector>

#include "driver-ui/driver_test_fixtures.h"
#include "platform/machine_root.h"

namespace klm::driver {
namespace {

using testing::Model;
using testing::Paper;

struct OffsetCase {
  const char* what;
  std::int16_t vx, vy, width, width_res, image_width_res, length, length_res, pin_left, pin_right;
  // expected
  std::int16_t e_width, e_width_res, e_phys_x, e_vx, e_length, e_length_res, e_phys_y;
  std::uint16_t e_pin_left, e_pin_right;
};

TEST(VirtualOffsets, FollowTheRulesForEachSign) {
  const OffsetCase cases[] = {
      // (1212 x 1016 x 10 / 1200 + 5) / 10 = 1026
      {"positive x widens the paper", 6, 0, 1016, 1200, 1165, 1528, 1805, 82, 49,
       1026, 1212, 24, 6, 1528, 1805, 18, 82, 49},
      {"positive x with width dots 0 moves only the offset", 6, 0, 1016, 0, 1165, 1528, 1805, 82, 49,
       1016, 0, 24, 6, 1528, 1805, 18, 82, 49},
      {"products beyond 32 bits", 1000, 0, 10000, 20000, 1165, 0, 0, 82, 49,
       11000, 22000, 1018, 1000, 0, 0, 18, 82, 49},
      {"negative x within the left pin offset", -5, 0, 1016, 1200, 1165, 1528, 1805, 10, 49,
       1016, 1200, 18, 0, 1528, 1805, 18, 5, 54},
      {"negative x beyond the left pin offset", -5, 0, 1016, 1200, 1165, 1528, 1805, 3, 49,
       1016, 1200, 18, -2, 1528, 1805, 18, 0, 1296 - 1165},
      // (1813 x 1528 x 10 / 1805 + 5) / 10 = 1535
      {"positive y lengthens the paper", 0, 4, 1016, 1200, 1165, 1528, 1805, 82, 49,
       1016, 1200, 18, 0, 1535, 1813, 22, 82, 49},
      {"positive y with length dots 0 moves only the offset", 0, 4, 1016, 1200, 1165, 0, 0, 82, 49,
       1016, 1200, 18, 0, 0, 0, 22, 82, 49},
      {"negative y changes nothing", 0, -4, 1016, 1200, 1165, 1528, 1805, 82, 49,
       1016, 1200, 18, 0, 1528, 1805, 18, 82, 49},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PaperRecord p = Paper(366, c.width, c.length);
    auto& h = p.head;
    h.nPaperWidthRes = c.width_res;
    h.nImageAreaWidthRes = c.image_width_res;
    h.nPaperLengthRes = c.length_res;
    h.nPhysicalOffsetX = h.nPhysicalOffsetY = 18;
    h.wPinOffsetLeft = c.pin_left;
    h.wPinOffsetRight = c.pin_right;
    h.nVirtualOffsetX = c.vx;
    h.nVirtualOffsetY = c.vy;
    AdjustVirtualOffsets(p);
    EXPECT_EQ(h.nPaperWidth, c.e_width);
    EXPECT_EQ(h.nPaperWidthRes, c.e_width_res);
    EXPECT_EQ(h.nPhysicalOffsetX, c.e_phys_x);
    EXPECT_EQ(h.nVirtualOffsetX, c.e_vx);
    EXPECT_EQ(h.nPaperLength, c.e_length);
    EXPECT_EQ(h.nPaperLengthRes, c.e_length_res);
    EXPECT_EQ(h.nPhysicalOffsetY, c.e_phys_y);
    EXPECT_EQ(h.wPinOffsetLeft, c.e_pin_left);
    EXPECT_EQ(h.wPinOffsetRight, c.e_pin_right);
  }
}

TEST(PaperEntries, GroupAndKindDependOnSeriesAndType) {
  struct Case { std::uint8_t series; std::int16_t type; std::uint8_t group, kind; };
  const Case cases[] = {{'0', 2, 1, 1}, {'3', 5, 1, 2}, {'0', 11, 0, 0}, {'5', 2, 0, 0}, {'5', 5, 0, 0}};
  for (const auto& c : cases) {
    const PaperEntry e = MakeEntry(Paper(400, 620, 0, c.type), 3, c.series);
    EXPECT_EQ(e.Group, c.group) << c.series << " " << c.type;
    EXPECT_EQ(e.Kind, c.kind) << c.series << " " << c.type;
    EXPECT_EQ(e.Index, 3);
  }
}

TEST(PaperEntries, PaperLyingAcrossExchangesWidthAndLength) {
  PaperRecord p = Paper(380, 620, 1000);
  p.head.wSplit = 0x0102;  // only the low byte counts
  const PaperEntry upright = MakeEntry(p, 0, '5');
  EXPECT_EQ(upright.Orientation, 1);
  EXPECT_EQ(upright.Width, 620);
  EXPECT_EQ(upright.Split, 2);
  EXPECT_EQ(upright.MarginDots, upright.WidthDots - upright.ImageWidthDots);

  p.dwPaperAbility01 = kPaperLiesAcross;
  const PaperEntry across = MakeEntry(p, 0, '5');
  EXPECT_EQ(across.Orientation, 2);
  EXPECT_EQ(across.Width, 1000);
  EXPECT_EQ(across.ImageWidth, p.head.nImageAreaLength);
  EXPECT_EQ(across.WidthDots, p.head.nPaperLengthRes);
  EXPECT_EQ(across.Length, 620);
  EXPECT_EQ(across.LengthDots, p.head.nPaperWidthRes);
  EXPECT_EQ(across.MarginDots, p.head.nPaperLengthRes - p.head.nImageAreaLengthRes);
}

TEST(PaperEntries, ImageWiderThanPaperLeavesNoMargin) {
  PaperRecord p = Paper(380, 620, 0);
  p.head.nImageAreaWidthRes = static_cast<std::int16_t>(p.head.nPaperWidthRes + 10);
  EXPECT_EQ(MakeEntry(p, 0, '5').MarginDots, 0);
}

TEST(Catalogue, BuildsAdjustedRecordsEntriesAndTerminator) {
  Arena arena;
  std::vector<PaperRecord> papers = {Paper(340, 120, 0, 10), Paper(366, 1016, 1528), Paper(366, 500, 500)};
  papers[1].head.nVirtualOffsetY = 4;
  auto c = BuildCatalogue(arena, Model(), papers);
  ASSERT_TRUE(c) << c.error().message;
  ASSERT_EQ(c->count, 3);
  EXPECT_EQ(c->papers[1].head.nPhysicalOffsetY, 4);  // adjusted copy
  EXPECT_EQ(papers[1].head.nPhysicalOffsetY, 0);     // input untouched
  EXPECT_EQ(c->entries[1].Record.head.nPhysicalOffsetY, 4);
  const auto* end = reinterpret_cast<const std::uint8_t*>(&c->entries[3]);
  for (std::size_t i = 0; i < sizeof(PaperEntry); ++i) ASSERT_EQ(end[i], 0xFF) << i;
  EXPECT_TRUE(c->entries[3].IsTerminator());

  const auto found = FindPaper(*c, 366);
  EXPECT_EQ(found.index, 1);  // the first of two records with that id
  EXPECT_EQ(found.record, &c->papers[1]);
  EXPECT_FALSE(FindPaper(*c, 999));
  EXPECT_EQ(FindPaper(*c, 999).index, -1);
}

TEST(Catalogue, RefusesModelWithoutSeriesAndEmptyPaperList) {
  Arena arena;
  ModelRecord bad = Model();
  bad.bySeriesCode = 0xFF;
  const std::vector<PaperRecord> papers = {Paper(366, 1016, 1528)};
  EXPECT_FALSE(BuildCatalogue(arena, bad, papers));
  EXPECT_FALSE(BuildCatalogue(arena, Model(), {}));
}

TEST(Catalogue, ReadsTheShippedPresetsThroughThePaperDataLibrary) {
  testing::ShippedMachine machine;
  Arena arena;
  auto c = ReadCatalogue(arena, machine.data_file());
  ASSERT_TRUE(c) << c.error().message;
  EXPECT_EQ(c->model->bySeriesCode, '5');
  EXPECT_EQ(FieldText(c->model->dmDeviceName), u"Koravel LM-7100");
  ASSERT_GT(c->count, 20);
  EXPECT_TRUE(c->entries[c->count].IsTerminator());
  const auto paper = FindPaper(*c, 366);
  ASSERT_TRUE(paper);
  EXPECT_EQ(paper.record->head.nPaperWidth, 1016);

  // The stand-alone copy reads the printer driver's data file.
  auto opened = platform::OpenPrinter(testing::kPrinterName);
  ASSERT_TRUE(opened);
  platform::ScopedPrinter printer(*opened);
  auto standalone = ReadCatalogueStandalone(printer.get());
  ASSERT_TRUE(standalone) << standalone.error().message;
  EXPECT_EQ((*standalone)->catalogue.count, c->count);
}

TEST(Catalogue, MissingLibraryOrFileFailsTheRead) {
  testing::ShippedMachine machine;
  Arena arena;
  EXPECT_FALSE(ReadCatalogue(arena, machine.data_file().parent_path() / "nothing.qmd"));
  std::filesystem::remove(platform::DriverDataDirectory() / "KLM71i6.so");
  EXPECT_FALSE(ReadCatalogue(arena, machine.data_file()));
}

}  // namespace
}  // namespace klm::driver
