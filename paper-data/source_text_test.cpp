#include "paper-data/source_text.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "paper-data/test_fixtures.h"
#include "platform/testing/temp_root.h"

namespace klm::paperdata {
namespace {

using testing::SampleHeader;
using testing::SamplePaper;

class SourceTextTest : public ::testing::Test {
 protected:
  klm::testing::TempRoot root_;
};

// Every section the editor's loop would take: k = 0, 1, ... until the first
// that does not read.
std::vector<SourcePaper> ReadAll(const SourceText& text, std::int32_t preset = 0) {
  std::vector<SourcePaper> papers;
  for (int k = 0;; ++k) {
    SourcePaper p;
    if (!ReadSourcePaper(text, k, p, preset, k).read) break;
    papers.push_back(p);
  }
  return papers;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST_F(SourceTextTest, WrittenAndReadBackGivesIdenticalRecordsAndBytes) {
  SourcePaper preset = SamplePaper(u"preset", 366);
  preset.preset = 1;
  SourcePaper custom1 = SamplePaper(u"custom one", 513);
  custom1.head.nType = 74;
  custom1.head.wPinOffsetLeft = 65535;
  custom1.head.nPhysicalOffsetX = -1;
  custom1.dwPaperAbility01 = 2;
  SourcePaper custom2 = SamplePaper(u" padded name ", 514);
  custom2.szSizeIN = "\"quoted\"";
  custom2.head.nType = -2;
  const std::vector<SourcePaper> papers = {preset, custom1, preset, custom2};

  auto text = FormatSource(SampleHeader(), papers);
  ASSERT_TRUE(text) << text.error().message;
  for (const char* line :
       {"\r\nnType=0x4a\r\n", "\r\ndwPaperAbility01=0x00000002\r\n", "\r\nwPinOffsetLeft=65535\r\n",
        "\r\nnPhysicalOffsetX=-1\r\n", "\r\nnType=0xfffffffe\r\n",
        "\r\nnClipInfoLeft=1\r\nnClipInfoRight=3\r\nnClipInfoTop=2\r\nnClipInfoBottom=4\r\n",
        "\r\n[Paper00]\r\n", "\r\n[Paper01]\r\n", ";\tKoravel LM-7100 QMD Source File\r\n"}) {
    EXPECT_NE(text->find(line), std::string::npos) << line;
  }
  EXPECT_EQ(text->find("[Paper02]"), std::string::npos);

  ASSERT_TRUE(WriteSource(root_.path() / "KLM71ed.txt", SampleHeader(), papers));
  auto loaded = SourceText::Load(root_.path() / "klm71ED.txt");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->bytes(), *text);
  SourceHeader header;
  EXPECT_TRUE(ReadSourceHeader(*loaded, header));
  EXPECT_EQ(header, SampleHeader());
  const auto back = ReadAll(*loaded);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0], custom1);
  EXPECT_EQ(back[1], custom2);
  EXPECT_EQ(back[0].head.nType, 74);
  auto again = FormatSource(header, back);
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *text);
}

TEST_F(SourceTextTest, FirstIncompleteSectionEndsTheList) {
  const std::vector<SourcePaper> four = {SamplePaper(u"a", 513), SamplePaper(u"b", 514),
                                         SamplePaper(u"c", 515), SamplePaper(u"d", 516)};
  const std::string text = *FormatSource(SampleHeader(), four);
  const auto paper03 = text.find("[Paper03]");
  struct Case {
    std::string key_line, replacement;
    std::size_t papers;
  };
  const Case cases[] = {
      {"szSizeIN=", "szSizeOUT=", 3},                       // missing text key
      {"szPaperName_inch=d\r\n", "szPaperName_inch=\r\n", 3},  // empty name
      {"szPaperWidthString_inch=2.44\"\r\n", "szPaperWidthString_inch=\r\n", 4},  // empty accepted
      {"szPaperWidthString_inch=", "szPaperWidthStr=", 3},
      {"byReserved001=0\r\n", "byReserved001=\r\n", 3},
      {"nCompatiblePaperSizes=\r\n", "\r\n", 3},               // missing
      {"[Paper03]", "[Paper04]", 3},                           // gap: Paper04 is never read
  };
  for (const Case& c : cases) {
    std::string changed = text.substr(0, paper03) +
                          Replace(text.substr(paper03), c.key_line, c.replacement);
    EXPECT_EQ(ReadAll(SourceText(changed)).size(), c.papers) << c.key_line;
  }
  SourcePaper target;
  auto outcome = ReadSourcePaper(SourceText(text.substr(0, paper03) +
                                            Replace(text.substr(paper03), "szSizeIN=", "x=")),
                                 3, target, 0, 3);
  EXPECT_FALSE(outcome.read);
  EXPECT_EQ(outcome.failed_key, "szSizeIN");
}

TEST_F(SourceTextTest, CapacityRuleReportsListFullAndRefusesTheHundredAndFirst) {
  const SourceText text(*FormatSource(SampleHeader(), std::vector{SamplePaper()}));
  struct Case {
    int position;
    bool read, full, refused;
  };
  for (const Case& c : {Case{0, true, false, false}, Case{98, true, false, false},
                        Case{99, true, true, false}, Case{100, false, true, true}}) {
    SourcePaper p;
    auto outcome = ReadSourcePaper(text, 0, p, 1, c.position);
    EXPECT_EQ(outcome.read, c.read) << c.position;
    ASSERT_TRUE(outcome.list_full.has_value());
    EXPECT_EQ(*outcome.list_full, c.full) << c.position;
    EXPECT_EQ(outcome.refused_full, c.refused) << c.position;
    EXPECT_EQ(p.preset, 1);
  }
  SourcePaper p;
  EXPECT_FALSE(ReadSourcePaper(text, 1, p, 0, 1).list_full.has_value());
}

TEST_F(SourceTextTest, OverlongValuesAreCutNotRefused) {
  const std::string long_name(40, 'N');
  SourcePaper p = SamplePaper(u"x");
  p.nCompatiblePaperSizes = std::string(300, '7');
  std::string text = *FormatSource(SampleHeader(), std::vector{p, SamplePaper(u"second", 514)});
  text = Replace(text, "szPaperName_mm=x\r\n", "szPaperName_mm=" + long_name + "\r\n");
  text = Replace(text, "szPaperWidthString_inch=2.44\"", "szPaperWidthString_inch=" + long_name);
  const auto papers = ReadAll(SourceText(text));
  ASSERT_EQ(papers.size(), 2u);  // the long name no longer hides the later section
  EXPECT_EQ(FieldText(papers[0].head.szPaperName_mm), std::u16string(31, u'N'));
  EXPECT_EQ(FieldText(papers[0].head.szPaperWidthString_inch), std::u16string(15, u'N'));
  EXPECT_EQ(papers[0].head.szPaperName_mm[31], u'\0');
  EXPECT_EQ(papers[0].nCompatiblePaperSizes, std::string(254, '7'));
}

TEST_F(SourceTextTest, ReadsWithTheProfileEnginesRules) {
  std::string text = *FormatSource(SampleHeader(), std::vector{SamplePaper()});
  text = Replace(text, "[Paper00]", "  [paper00]  ");
  text = Replace(text, "nPaperWidth=620", "NPAPERWIDTH = 0x26c ");
  text = Replace(text, "nPaperLength=290", "nPaperLength=12ab");
  text = Replace(text, "nImageAreaLength=260", "nImageAreaLength=abc");
  text = Replace(text, "szSizeMM=62mm x 29mm", "szSizeMM='  spaced  '");
  text = Replace(text, "nMaxFeed=0\r\n", "");  // numeric keys default to 0
  const auto papers = ReadAll(SourceText(text));
  ASSERT_EQ(papers.size(), 1u);
  EXPECT_EQ(papers[0].head.nPaperWidth, 620);
  EXPECT_EQ(papers[0].head.nPaperLength, 12);
  EXPECT_EQ(papers[0].head.nImageAreaLength, 0);
  EXPECT_EQ(papers[0].szSizeMM, "  spaced  ");
}

TEST_F(SourceTextTest, HeaderReadStopsAtTheFirstMissingOrEmptyKey) {
  std::string text = *FormatSource(SampleHeader(), {});
  text = Replace(text, "wMinCopies=1\r\n", "wMinCopies=\r\n");
  SourceHeader header;
  header.wMaxCopies = "kept";
  EXPECT_FALSE(ReadSourceHeader(SourceText(text), header));
  EXPECT_EQ(header.dwDeviceAbility02, "0x00000000");  // before the gap: read
  EXPECT_EQ(header.wMinCopies, "");
  EXPECT_EQ(header.wMaxCopies, "kept");  // after it: untouched
}

TEST_F(SourceTextTest, WriterRefusesWhatItCannotWriteFaithfully) {
  SourcePaper broken = SamplePaper();
  broken.szSizeIN = "two\r\nlines";
  SourcePaper unmappable = SamplePaper(u"\u4e2d\u6587");  // not in code page 1252
  for (const SourcePaper& p : {broken, unmappable}) {
    EXPECT_FALSE(FormatSource(SampleHeader(), std::vector{SamplePaper(), p}));
    const auto path = root_.path() / "out.txt";
    EXPECT_FALSE(WriteSource(path, SampleHeader(), std::vector{SamplePaper(), p}));
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  EXPECT_FALSE(WriteSource(root_.path() / "no" / "such" / "folder.txt", SampleHeader(), {}));
}

TEST(ProfileIntValue, ReadsLikeTheProfileEngine) {
  struct Case {
    std::optional<std::string> text;
    std::uint32_t value;
  };
  for (const Case& c : {Case{"0x4a", 74}, Case{"-1", 0xFFFFFFFFu}, Case{"12ab", 12},
                        Case{"abc", 0}, Case{"", 7}, Case{std::nullopt, 7},
                        Case{"0xFFFFFFFE", 0xFFFFFFFEu}}) {
    EXPECT_EQ(ProfileIntValue(c.text, 7), c.value) << c.text.value_or("(missing)");
  }
}

TEST(CutUtf16, NeverSplitsASurrogatePair) {
  const std::u16string text = u"ab\U0001F600";
  EXPECT_EQ(CutUtf16(text, 3), u"ab");
  EXPECT_EQ(CutUtf16(text, 4), text);
}

}  // namespace
}  // namespace klm::paperdata
