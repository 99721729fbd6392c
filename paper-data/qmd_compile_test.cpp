#include "paper-data/qmd_compile.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "paper-data/test_fixtures.h"
#include "platform/files.h"
#include "platform/testing/temp_root.h"

namespace klm::paperdata {
namespace {

using testing::SampleHeader;
using testing::SamplePaper;

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

SourceText ShippedSource(const char* name) {
  auto text = SourceText::Load(std::filesystem::path(KLM71_SOURCE_DIR) / "data" / name);
  EXPECT_TRUE(text) << name;
  return text ? *text : SourceText("");
}

class CompileTest : public ::testing::Test {
 protected:
  klm::testing::TempRoot root_;
};

TEST_F(CompileTest, ShippedCatalogueCompilesAndHasWhatThePartsNeed) {
  const SourceText source = ShippedSource("klm71ad.txt");
  CompileOutcome outcome = CompileSource(source, "klm71ad.txt");
  for (const auto& p : outcome.problems) ADD_FAILURE() << p;
  ASSERT_TRUE(outcome.qmd);
  const CompiledQmd& qmd = *outcome.qmd;
  EXPECT_EQ(+qmd.model.bySeriesCode, '5');
  EXPECT_EQ(+qmd.model.byModelCode, '1');
  EXPECT_EQ(FieldText(qmd.model.dmDeviceName), u"Koravel LM-7100");
  EXPECT_EQ(+qmd.model.dwHeadPinNum, 1296u);
  EXPECT_EQ(+qmd.model.nDefaultPaperSize, 366);
  EXPECT_EQ(+qmd.model.nDefaultPaperLength, 1528);
  EXPECT_EQ(+qmd.model.nDefaultPaperLengthRes, 1805);  // 152.8 mm at 300 dpi, rounded
  EXPECT_EQ(+qmd.model.wXResolution, 300);
  EXPECT_EQ(+qmd.model.wYResolution, 300);
  ASSERT_GE(qmd.papers.size(), 20u);
  ASSERT_LE(qmd.papers.size(), 30u);

  std::map<int, const CompiledPaper*> by_id;
  std::set<int> types;
  bool split = false, across = false, vx_plus = false, vx_minus = false;
  for (const CompiledPaper& p : qmd.papers) {
    const PaperRecordHead& h = p.record.head;
    EXPECT_TRUE(by_id.emplace(h.nPaperSize, &p).second) << "duplicate id " << h.nPaperSize;
    EXPECT_FALSE(h.nPaperSize >= 317 && h.nPaperSize <= 339) << "user-format id " << h.nPaperSize;
    types.insert(h.nType);
    // Dots are the 0.1 mm values at 300 dpi, rounded.
    EXPECT_EQ(+h.nPaperWidthRes, (h.nPaperWidth * 300 + 127) / 254) << h.nPaperSize;
    EXPECT_EQ(+h.nPaperLengthRes, (h.nPaperLength * 300 + 127) / 254) << h.nPaperSize;
    EXPECT_EQ((h.nType & 0x3F) == 10, h.nPaperLength == 0) << h.nPaperSize;
    EXPECT_LE(h.wPinOffsetLeft + h.nImageAreaWidthRes + h.wPinOffsetRight, 1296);
    split |= h.wSplit >= 1 && p.record.nCompatiblePaperSizes != 0;
    across |= (p.record.dwPaperAbility01 & 0x2) != 0;
    vx_plus |= h.nVirtualOffsetX > 0;
    vx_minus |= h.nVirtualOffsetX < 0;
  }
  for (int t : {8, 10, 11, 138, 139}) EXPECT_TRUE(types.count(t)) << "type " << t;
  EXPECT_TRUE(split && across && vx_plus && vx_minus);
  for (const CompiledPaper& p : qmd.papers) {
    if (p.record.head.wSplit != 0) {
      EXPECT_TRUE(by_id.count(p.record.nCompatiblePaperSizes));
    }
  }
  const PaperRecordHead& def = by_id.at(366)->record.head;
  EXPECT_EQ(FieldText(def.szPaperName_mm), u"102mm x 152mm");
  EXPECT_EQ(FieldText(def.szPaperName_inch), u"4\" x 6\"");
  EXPECT_EQ(+def.nPaperWidth, 1016);
  EXPECT_EQ(+def.nPaperLength, 1528);
}

TEST_F(CompileTest, ShippedSourcesAreExactlyWhatTheWriterWrites) {
  for (const char* name : {"klm71ad.txt", "klm71ed.txt"}) {
    const SourceText source = ShippedSource(name);
    SourceHeader header;
    ASSERT_TRUE(ReadSourceHeader(source, header)) << name;
    std::vector<SourcePaper> papers;
    for (int k = 0;; ++k) {
      SourcePaper p;
      if (!ReadSourcePaper(source, k, p, 0, k).read) break;
      papers.push_back(p);
    }
    auto written = FormatSource(header, papers);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, source.bytes()) << name;
  }
  auto custom = CompileSource(ShippedSource("klm71ed.txt"), "klm71ed.txt");
  ASSERT_TRUE(custom.qmd);
  EXPECT_TRUE(custom.qmd->papers.empty());
}

TEST_F(CompileTest, ProblemsNameSectionKeyAndWhatIsWrong) {
  const std::string good = *FormatSource(SampleHeader(), std::vector{SamplePaper()});
  struct Case {
    std::string from, to, expected;
  };
  const Case cases[] = {
      {"nPaperWidth=620", "nPaperWidth=abc", "src.txt: [Paper00] nPaperWidth: \"abc\" is not a number"},
      {"nPaperWidth=620", "nPaperWidth=70000", "src.txt: [Paper00] nPaperWidth: 70000 is out of range"},
      {"nMaxFeed=0\r\n", "", "src.txt: [Paper00] nMaxFeed: missing"},
      {"szSizeIN=", "szSize=", "src.txt: [Paper00] szSizeIN: missing or empty"},
      {"byEnergyRank=2", "byEnergyRank=256", "src.txt: [Paper00] byEnergyRank: 256 is out of range"},
      {"reserved_12_=18,0,0,0,0,0,0,0,0,0,0,0", "reserved_12_=1,2,3",
       "src.txt: [Paper00] reserved_12_: \"1,2,3\" has 3 values, expected 12"},
      {"PresetBlkPos1_1=1,0,0,0,0", "PresetBlkPos1_1=300,0,0,0,0",
       "src.txt: [Paper00] PresetBlkPos1_1: kind 300 is out of range"},
      {"byHeadDivide=0x06", "byHeadDivide=six", "src.txt: [Paper00] byHeadDivide: \"six\" is not a number"},
      {"bySeriesCode=5", "bySeriesCode=55", "src.txt: [Model] bySeriesCode: \"55\" is not a single character"},
      {"wResolutions=300,300", "wResolutions=300", "src.txt: [Model] wResolutions: \"300\" has 1 values"},
      {"nDefaultPaperSize=366\r\n", "", "src.txt: [Model] nDefaultPaperSize: missing or empty"},
  };
  for (const Case& c : cases) {
    auto outcome = CompileSource(SourceText(Replace(good, c.from, c.to)), "src.txt");
    EXPECT_FALSE(outcome.qmd) << c.to;
    ASSERT_FALSE(outcome.problems.empty()) << c.to;
    EXPECT_EQ(outcome.problems[0].rfind(c.expected, 0), 0u) << outcome.problems[0];
  }
  EXPECT_TRUE(CompileSource(SourceText(good), "src.txt").qmd);
}

TEST_F(CompileTest, LevelFourFieldsComeFromTheirSourceKeys) {
  SourcePaper p = SamplePaper();
  p.byHeadDivide = "0x0a";
  p.nSensorID = "2";
  p.nDieStartPlus = "-3";
  p.nDieStartRevPlus = "0x10";
  p.wDieStartFwdPlus = "65535";
  p.nAfterFeedPlus = "24";
  p.PresetBlkPos3_3 = "3,800,400,-1,7";
  p.MediaAtrInfo = "1,2,255";
  p.nCompatiblePaperSizes = "346, 360";
  PaperBuild build = BuildPaperRecords(p);
  ASSERT_TRUE(build.problems.empty());
  const PaperRegRecord& r = build.paper.reg;
  EXPECT_EQ(+r.nPaperWidth, 620);
  EXPECT_EQ(+r.nPaperLength, 290);
  EXPECT_EQ(+r.lblPitchDot, 378);
  EXPECT_EQ(+r.markNoChkValu, 193);
  EXPECT_EQ(+r.byHeadDivide, 0x0a);
  EXPECT_EQ(+r.byEnergyRank, 2);
  EXPECT_EQ(+r.byRollWidMm, 65);
  EXPECT_EQ(+r.nSensorID, 2);
  EXPECT_EQ(+r.nDieStartPlus, 0xFFFD);
  EXPECT_EQ(+r.nDieStartRevPlus, 16);
  EXPECT_EQ(+r.wDieStartFwdPlus, 65535);
  EXPECT_EQ(+r.nAfterFeedPlus, 24);
  EXPECT_EQ(+r.wPafMediaID, 513);
  EXPECT_EQ(+r.PresetBlkPos[5].kind, 3);
  EXPECT_EQ(+r.PresetBlkPos[5].value[0], 800);
  EXPECT_EQ(+r.PresetBlkPos[5].value[2], 0xFFFF);
  EXPECT_EQ(+r.MediaAtrInfo[2], 255);
  EXPECT_EQ(+r.MediaAtrInfo[3], 0);
  EXPECT_EQ(+r.reserved_12_[0], 18);
  EXPECT_EQ(std::string(r.szSizeMM), "62mm x 29mm");
  EXPECT_EQ(std::string(r.szPaperName), "62mm x 29mm");
  EXPECT_EQ(+r.dwVirtualOffsets, 0x0007FFF4u);  // X -12 low, Y 7 high
  EXPECT_EQ(+build.paper.record.nCompatiblePaperSizes, 346);
}

}  // namespace
}  // namespace klm::paperdata
