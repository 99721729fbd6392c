#include "driver-ui/devmode_init.h"

#include <gtest/gtest.h>

#include <vector>

#include "driver-ui/driver_test_fixtures.h"
#include "platform/locale.h"

namespace klm::driver {
namespace {

using testing::Model;
using testing::Paper;
using testing::ReadLe;

std::u16string TextAt(const std::uint8_t* bytes, std::size_t at) {
  std::u16string s;
  for (std::size_t i = at; i < at + 64; i += 2) {
    const char16_t c = static_cast<char16_t>(ReadLe(bytes + i, 2));
    if (c == 0) break;
    s += c;
  }
  return s;
}

// The driver default of the shipped catalogue, checked byte by byte against
// the layout tables rather than through the structures.
TEST(DefaultDevmode, ShippedCatalogueGivesTheDocumentedBytes) {
  testing::ShippedMachine machine;
  Arena arena;
  auto catalogue = ReadCatalogue(arena, machine.data_file());
  ASSERT_TRUE(catalogue) << catalogue.error().message;
  const auto paper = FindPaper(*catalogue, 366);
  ASSERT_TRUE(paper);

  Devmode dm;
  ASSERT_EQ(InitDevmode(dm, u"Koravel LM-7100 driver", *catalogue), 1);
  const std::uint8_t* b = dm.Bytes().data();
  const std::uint8_t* p = b + 220;

  EXPECT_EQ(TextAt(b, 0), u"Koravel LM-7100");  // the model's name replaces the driver's
  EXPECT_EQ(TextAt(b, 102), u"102mm x 152mm");
  // dmPaperLength, Length and Feed come from paper 366 of the catalogue:
  // Feed = (300 x ((1528 - 1498 + 1) / 2) + 127) / 254 = 18.
  const auto& r = paper.record->head;
  ASSERT_EQ(r.nPaperLength, 1528);
  ASSERT_EQ(r.nImageAreaLength, 1498);
  ASSERT_EQ(r.nPaperLengthRes, 1805);
  struct Field { const char* name; const std::uint8_t* base; int at, width; std::uint32_t value; };
  const Field fields[] = {
      {"dmSpecVersion", b, 64, 2, 0x0401}, {"dmDriverVersion", b, 66, 2, 0x0500},
      {"dmSize", b, 68, 2, 220}, {"dmDriverExtra", b, 70, 2, 276}, {"dmFields", b, 72, 4, 0x1650F},
      {"dmOrientation", b, 76, 2, 2}, {"dmPaperSize", b, 78, 2, 366}, {"dmPaperLength", b, 80, 2, 1528},
      {"dmPaperWidth", b, 82, 2, 1016}, {"dmScale", b, 84, 2, 100}, {"dmCopies", b, 86, 2, 1},
      {"dmDefaultSource", b, 88, 2, 0}, {"dmPrintQuality", b, 90, 2, 300}, {"dmColor", b, 92, 2, 1},
      {"dmDuplex", b, 94, 2, 1}, {"dmYResolution", b, 96, 2, 300}, {"dmTTOption", b, 98, 2, 3},
      {"dmCollate", b, 100, 2, 0}, {"dmLogPixels", b, 166, 2, 0},
      {"ExtSize", p, 0, 2, 30}, {"ExtRequest", p, 2, 2, 0}, {"ExtValid", p, 4, 2, 0x6F},
      {"ExtPaperId", p, 6, 2, 366}, {"ExtOption", p, 8, 2, 0}, {"ExtFeed", p, 10, 2, 18},
      {"ExtSplit", p, 12, 2, 1}, {"ExtLength", p, 18, 4, 1805}, {"ExtCutFlags", p, 22, 4, 1},
      {"ExtSignature", p, 26, 4, 0x4D51564B /* "KVQM" */},
      {"Signature", p, 32, 4, 0x56495250 /* "PRIV" */}, {"PrivFlags", p, 36, 4, 0x30A0},
      {"caSize", p, 120, 2, 24}, {"caFlags", p, 122, 2, 0}, {"caIlluminantIndex", p, 124, 2, 0},
      {"caRedGamma", p, 126, 2, 10000}, {"caGreenGamma", p, 128, 2, 10000},
      {"caBlueGamma", p, 130, 2, 10000}, {"caReferenceBlack", p, 132, 2, 0},
      {"caReferenceWhite", p, 134, 2, 10000}, {"caContrast..caRedGreenTint", p, 136, 4, 0},
      {"EntryId", p, 210, 2, static_cast<std::uint32_t>(paper.index)},
      {"PrevEntryId", p, 212, 2, static_cast<std::uint32_t>(paper.index)},
      {"UserFormatNo", p, 214, 1, 0}, {"Mirror", p, 215, 1, 0}, {"Collate", p, 216, 1, 0},
      {"SplitKind", p, 217, 1, 0}, {"Halftone", p, 218, 1, 3}, {"Contrast", p, 219, 1, 0},
      {"Brightness", p, 220, 1, 0}, {"Length", p, 224, 4, 1805}, {"LengthTenthMm", p, 228, 4, 1528},
      {"DisplayLength", p, 232, 4, 0}, {"ReverseOrder", p, 244, 1, 0}, {"Unit", p, 245, 1, 0},
      {"PaperGroup", p, 246, 1, 0}, {"UnitInitialised", p, 254, 1, 0}, {"TailCut", p, 255, 1, 0},
      {"FeedInDots", p, 256, 1, 1}, {"Feed", p, 258, 2, 18}, {"TableBase", p, 260, 4, 0},
      {"BidiEnabled", p, 264, 1, 1}, {"QualityMode", p, 265, 1, 0}, {"CutAtEnd", p, 266, 1, 1},
      {"CutEvery", p, 267, 1, 1}, {"CutEveryNum", p, 268, 4, 1}, {"StartPrinting", p, 272, 1, 0},
      {"CutRearBlank", p, 273, 1, 0}, {"DistributedPrinting", p, 274, 1, 0}, {"SetMedia", p, 275, 1, 0},
  };
  for (const auto& f : fields) EXPECT_EQ(ReadLe(f.base + f.at, f.width), f.value) << f.name;
  // Every reserved byte is zero.
  const std::pair<int, int> reserved[] = {{168, 220}, {14, 18}, {30, 32}, {40, 120}, {144, 210},
                                          {221, 224}, {247, 254}, {257, 258}};
  for (auto [from, to] : reserved) {
    const std::uint8_t* base = from >= 168 && to == 220 ? b : p;
    for (int i = from; i < to; ++i) EXPECT_EQ(base[i], 0) << "byte " << i;
  }
}

TEST(DefaultDevmode, UnitFollowsTheMeasurementSystem) {
  klm::testing::TempRoot root;
  ASSERT_TRUE(platform::SetLocaleOverride("measure", "1"));
  ASSERT_TRUE(platform::SetLocaleOverride("codepage", "1250"));
  Devmode dm;
  InitDevmode(dm, u"Koravel LM-7100", PaperCatalogue{});
  EXPECT_EQ(dm.priv.Unit, 1);
  EXPECT_EQ(FieldText(dm.pub.dmFormName), u"4\" x 6\"");
  EXPECT_EQ(dm.priv.PrivFlags, 0x3000u);
  EXPECT_EQ(FieldText(dm.pub.dmDeviceName), u"Koravel LM-7100");

  // The model defaults name the millimetre form whatever the unit.
  Arena arena;
  const std::vector<PaperRecord> papers = {Paper(366, 1016, 1528)};
  auto catalogue = BuildCatalogue(arena, Model(), papers);
  InitDevmode(dm, u"x", *catalogue);
  EXPECT_EQ(dm.priv.Unit, 1);
  EXPECT_EQ(FieldText(dm.pub.dmFormName), u"102mm x 152mm");
}

TEST(DefaultDevmode, LongDeviceNameIsCutAndTerminated) {
  klm::testing::TempRoot root;
  Devmode dm;
  InitDevmode(dm, std::u16string(40, u'A'), PaperCatalogue{});
  EXPECT_EQ(FieldText(dm.pub.dmDeviceName), std::u16string(31, u'A'));
  EXPECT_EQ(dm.pub.dmDeviceName[31], 0);

  // A character outside the basic plane is never cut in half.
  InitDevmode(dm, std::u16string(30, u'A') + u"\U0001F600", PaperCatalogue{});
  EXPECT_EQ(FieldText(dm.pub.dmDeviceName), std::u16string(30, u'A'));
}

class ModelDefaults : public ::testing::Test {
 protected:
  void SetUp() override { dm_ = Devmode::Zeroed(); dm_.pub.dmPaperSize = 366; dm_.pub.dmYResolution = 300; }
  Devmode dm_;
  Arena arena_;
};

TEST_F(ModelDefaults, MissingDefaultPaperStillTakesLengthAndResolutions) {
  ModelRecord model = Model(0);
  model.nDefaultPaperLength = 1000;
  model.nDefaultPaperLengthRes = 1181;
  model.wXResolution = 203;
  model.wYResolution = 406;
  const std::vector<PaperRecord> papers = {Paper(366, 1016, 1528)};
  auto catalogue = BuildCatalogue(arena_, model, papers);
  ApplyModelDefaults(dm_, *catalogue);
  EXPECT_EQ(dm_.pub.dmPaperSize, 366);
  EXPECT_EQ(dm_.pub.dmPaperLength, 1000);
  EXPECT_EQ(dm_.priv.LengthTenthMm, 1000u);
  EXPECT_EQ(dm_.priv.Length, 1181u);
  EXPECT_EQ(dm_.priv.Ext.ExtLength, 1181u);
  EXPECT_EQ(dm_.pub.dmPrintQuality, 203);
  EXPECT_EQ(dm_.pub.dmYResolution, 406);
}

TEST_F(ModelDefaults, PaperIsAppliedAtThePreviousResolution) {
  ModelRecord model = Model(400);
  model.wYResolution = 600;
  const std::vector<PaperRecord> papers = {Paper(366, 1016, 1528), Paper(400, 620, 1000)};
  auto catalogue = BuildCatalogue(arena_, model, papers);
  ApplyModelDefaults(dm_, *catalogue);
  EXPECT_EQ(dm_.pub.dmPaperSize, 400);
  EXPECT_EQ(dm_.priv.EntryId, 1);
  EXPECT_EQ(dm_.priv.Feed, (300 * ((30 + 1) / 2) + 127) / 254);  // at 300, not 600
  EXPECT_EQ(dm_.pub.dmYResolution, 600);
}

TEST_F(ModelDefaults, ZeroYResolutionKeepsTheCurrentOne) {
  ModelRecord model = Model();
  model.wYResolution = 0;
  const std::vector<PaperRecord> papers = {Paper(366, 1016, 1528)};
  auto catalogue = BuildCatalogue(arena_, model, papers);
  ApplyModelDefaults(dm_, *catalogue);
  EXPECT_EQ(dm_.pub.dmYResolution, 300);
}

TEST(ApplyPaper, LengthAndFeedOnlyForFixedLengthPapers) {
  struct Case {
    const char* what;
    std::uint8_t series;
    std::int16_t type, length, image_length;
    bool leave_size;
    bool length_applied;
    std::uint16_t feed;
  };
  const Case cases[] = {
      {"labels of fixed length", '5', 11, 1000, 970, false, true, (300 * 15 + 127) / 254},
      {"type 5", '5', 5, 1000, 970, false, true, (300 * 15 + 127) / 254},
      {"type 8", '5', 8, 1000, 980, false, true, (300 * 10 + 127) / 254},
      {"series 1 makes any type fixed", '1', 10, 1000, 970, false, true, (300 * 15 + 127) / 254},
      {"continuous tape", '5', 10, 1000, 970, false, false, 71},
      {"zero length", '5', 11, 0, 0, false, false, 71},
      {"image longer than label counts as no margin", '5', 11, 1000, 1100, true, true, (127) / 254},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Devmode dm = Devmode::Zeroed();
    dm.pub.dmPaperSize = 366;
    dm.pub.dmPaperLength = 1528;
    dm.pub.dmYResolution = 300;
    dm.priv.Length = 1804;
    dm.priv.LengthTenthMm = 1528;
    dm.priv.Feed = 71;
    PaperRecord paper = Paper(420, 620, c.length, c.type);
    paper.head.nImageAreaLength = c.image_length;
    paper.head.wSplit = 1;
    ApplyPaper(dm, paper, 7, c.series, c.leave_size);
    EXPECT_EQ(dm.pub.dmPaperSize, c.leave_size ? 366 : 420);
    EXPECT_EQ(dm.pub.dmPaperWidth, 620);
    EXPECT_EQ(dm.pub.dmPaperLength, c.length_applied ? c.length : 1528);
    EXPECT_EQ(dm.priv.LengthTenthMm, c.length_applied ? std::uint32_t(c.length) : 1528u);
    EXPECT_EQ(dm.priv.Length, c.length_applied ? std::uint32_t(paper.head.nPaperLengthRes) : 1804u);
    EXPECT_EQ(dm.priv.Feed, c.feed);
    EXPECT_EQ(dm.priv.EntryId, 7);
    EXPECT_EQ(dm.priv.PrevEntryId, 7);
    EXPECT_EQ(dm.priv.Ext.ExtPaperId, 420);
    EXPECT_EQ(dm.priv.SplitKind, 1);
    EXPECT_EQ(dm.priv.Ext.ExtSplit, 2);
  }
}

}  // namespace
}  // namespace klm::driver
