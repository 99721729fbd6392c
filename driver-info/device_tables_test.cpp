#include "driver-info/device_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/locale.h"
#include "platform/testing/temp_root.h"

namespace klm::driverinfo {
namespace {

using paperdata::ModelRecord;
using paperdata::PaperRecord1;

ModelRecord Model(std::uint16_t resolution = 300) {
  ModelRecord m{};
  m.bySeriesCode = '5';
  m.byModelCode = '1';
  m.nDefaultPaperLength = 1528;
  m.nDefaultPaperLengthRes = 1805;
  m.wXResolution = resolution;
  m.wYResolution = resolution;
  return m;
}

template <std::size_t N>
void SetName(char16_t (&field)[N], std::u16string_view text) {
  std::fill(std::begin(field), std::end(field), u'\0');
  std::copy(text.begin(), text.end(), field);
}

// A 62 x 100 mm label: every field distinct so a swapped field shows.
PaperRecord1 Label(std::int16_t id, std::int16_t type = 10) {
  PaperRecord1 p{};
  SetName(p.head.szPaperName_mm, u"62mm x 100mm");
  SetName(p.head.szPaperName_inch, u"2.4\" x 3.9\"");
  p.head.nType = type;
  p.head.nPaperSize = id;
  p.head.nPaperWidth = 620;
  p.head.nImageAreaWidth = 580;
  p.head.nPaperWidthRes = 732;
  p.head.nImageAreaWidthRes = 696;
  p.head.nPaperLength = 1000;
  p.head.nImageAreaLength = 970;
  p.head.nPaperLengthRes = 1181;
  p.head.nImageAreaLengthRes = 1145;
  p.head.nPhysicalOffsetX = 18;
  p.head.nPhysicalOffsetY = 19;
  return p;
}

// A continuous tape: the length side is all zeros.
PaperRecord1 Tape(std::int16_t id, std::uint32_t ability = 0) {
  PaperRecord1 p = Label(id);
  p.head.nPaperLength = p.head.nImageAreaLength = 0;
  p.head.nPaperLengthRes = p.head.nImageAreaLengthRes = 0;
  p.dwPaperAbility01 = ability;
  return p;
}

struct Extents {
  std::int16_t x_dots, y_dots, x_mm, y_mm, x_off, y_off, px_dots, py_dots, px_mm, py_mm;
  bool operator==(const Extents&) const = default;
};

Extents ExtentsOf(const DerivedPaper& d) {
  return {d.x_dots,        d.y_dots,          d.x_tenth_mm,       d.y_tenth_mm,
          d.x_offset_dots, d.y_offset_dots,   d.printable_x_dots, d.printable_y_dots,
          d.printable_x_tenth_mm, d.printable_y_tenth_mm};
}

void PrintTo(const Extents& e, std::ostream* os) {
  *os << "x " << e.x_dots << "/" << e.x_mm << " y " << e.y_dots << "/" << e.y_mm << " off "
      << e.x_off << "," << e.y_off << " printable x " << e.px_dots << "/" << e.px_mm << " y "
      << e.py_dots << "/" << e.py_mm;
}

TEST(DerivedPaper, FillsUnsetLengthsFromTheModelOnTheSideTheyLieOn) {
  struct Case {
    const char* what;
    PaperRecord1 paper;
    std::uint16_t resolution;
    Extents expected;
  };
  PaperRecord1 across_label = Label(1);
  across_label.dwPaperAbility01 = 0x2;
  const Case cases[] = {
      {"label", Label(1), 300, {732, 1181, 620, 1000, 18, 19, 696, 1145, 580, 970}},
      {"label lying across", across_label, 300,
       {1181, 732, 1000, 620, 19, 18, 1145, 696, 970, 580}},
      // 1805 - 2 x 19 = 1767 dots; 1767 x 254 / 300 = 1496.06
      {"tape", Tape(1), 300, {732, 1805, 620, 1528, 18, 19, 696, 1767, 580, 1496}},
      {"tape lying across", Tape(1, 0x2), 300,
       {1805, 732, 1528, 620, 19, 18, 1767, 696, 1496, 580}},
      // With no resolution the printable length in 0.1 mm stays 0, on either side.
      {"tape, no resolution", Tape(1), 0, {732, 1805, 620, 1528, 18, 19, 696, 1767, 580, 0}},
      {"tape lying across, no resolution", Tape(1, 0x2), 0,
       {1805, 732, 1528, 620, 19, 18, 1767, 696, 0, 580}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto tables = BuildDeviceTables(Model(c.resolution), std::span(&c.paper, 1));
    ASSERT_TRUE(tables);
    EXPECT_EQ(ExtentsOf(tables->groups[kGroupC].papers.at(0)), c.expected);
  }
}

TEST(DerivedPaper, PrintableLengthWrapsIn16BitsAndTruncatesTowardZero) {
  PaperRecord1 tape = Tape(1);
  tape.head.nPhysicalOffsetY = 1000;  // 1805 - 2000 = -195 dots
  DeviceTables model;
  model.default_length_dots = 1805;
  model.default_length_tenth_mm = 1528;
  model.resolution_dpi = 300;
  const DerivedPaper d = DerivePaper(tape, model);
  EXPECT_EQ(d.printable_y_dots, -195);
  EXPECT_EQ(d.printable_y_tenth_mm, -165);  // -165.1
}

TEST(DerivedPaper, KindFlagsAndSplitParts) {
  struct Case {
    std::int16_t type;
    std::uint16_t split;
    std::uint32_t flags;
    std::int16_t print_id;
    std::uint8_t parts;
  };
  const Case cases[] = {
      {8, 0, 0x10, 500, 1},   {11, 0, 0x10, 500, 1},  {75, 0, 0x10, 500, 1},
      {139, 0, 0x50, 500, 1}, {138, 0, 0x40, 500, 1}, {10, 0, 0, 500, 1},
      {10, 2, 0, 400, 3},     {10, 0x0101, 0, 400, 2}, {8, 2, 0x10, 400, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "type " << c.type << " split " << c.split);
    PaperRecord1 p = Label(500, c.type);
    p.head.wSplit = c.split;
    p.nCompatiblePaperSizes = 400;
    const DerivedPaper d = DerivePaper(p, DeviceTables{});
    EXPECT_EQ(d.kind_flags, c.flags);
    EXPECT_EQ(d.print_id, c.print_id);
    EXPECT_EQ(d.part_count, c.parts);
  }
}

TEST(ClipEntry, FlagsFollowTheAbilityBitAndTheValues) {
  struct Case {
    std::uint32_t ability;
    std::int16_t left, top, right, bottom;
    ClipEntry expected;
  };
  const Case cases[] = {
      {0, 0, 0, 0, 0, {0, 0, 0, 0, 0}},
      {0x8, 0, 0, 0, 0, {0x200, 0, 0, 0, 0}},
      {0, -3, 4, 5, 6, {0x1000, -3, 4, 5, 6}},
      {0x8, 0, 0, 0, -1, {0x1600, 0, 0, 0, -1}},
      {0x2, 1, 0, 0, 0, {0x1000, 1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    PaperRecord1 p = Label(1);
    p.dwPaperAbility01 = c.ability;
    p.head.nClipInfoLeft = c.left;
    p.head.nClipInfoTop = c.top;
    p.head.nClipInfoRight = c.right;
    p.head.nClipInfoBottom = c.bottom;
    const ClipEntry e = DeriveClip(p);
    EXPECT_EQ(e.flags, c.expected.flags);
    EXPECT_EQ(std::vector<int>({e.left, e.top, e.right, e.bottom}),
              std::vector<int>({c.expected.left, c.expected.top, c.expected.right,
                                c.expected.bottom}));
  }
}

TEST(DeviceTables, GroupsKeepCatalogueOrderAndListATheBThenC) {
  const std::vector<PaperRecord1> papers = {Label(1, 10), Label(2, 8),   Label(3, 139),
                                            Label(4, 11), Label(5, 138), Label(6, 75)};
  auto tables = BuildDeviceTables(Model(), papers);
  ASSERT_TRUE(tables);
  DevModeA devmode{};
  std::vector<char> buffer(6 * kPaperEntrySize);
  ASSERT_EQ(AnswerCapability(*tables, kCapPapers, buffer.data(), &devmode), 6);
  std::vector<int> ids;
  for (int i = 0; i < 6; ++i) {
    std::int16_t id;
    std::memcpy(&id, buffer.data() + i * kPaperEntrySize, 2);
    ids.push_back(id);
  }
  EXPECT_EQ(ids, (std::vector<int>{3, 5, 2, 4, 1, 6}));
}

std::uint16_t U16At(const std::vector<char>& b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) |
                                    static_cast<std::uint8_t>(b[at + 1]) << 8);
}

TEST(Answers, PaperEntryLayoutAndScaling) {
  klm::testing::TempRoot root;  // the ANSI code page comes from the machine's locale
  PaperRecord1 label = Label(513, 75);
  auto tables = BuildDeviceTables(Model(), std::span(&label, 1));
  ASSERT_TRUE(tables);
  struct Case {
    std::int16_t quality, y_resolution;
    int xf, yf;
  };
  for (const Case& c : {Case{300, 300, 1, 1}, Case{300, 600, 1, 2}, Case{600, 300, 2, 1},
                        Case{600, 600, 2, 2}, Case{-4, 0, 1, 1}}) {
    SCOPED_TRACE(::testing::Message() << c.quality << " x " << c.y_resolution);
    DevModeA devmode{};
    devmode.dmPrintQuality = c.quality;
    devmode.dmYResolution = c.y_resolution;
    std::vector<char> b(kPaperEntrySize + 4, '\xEE');
    ASSERT_EQ(AnswerCapability(*tables, kCapPapers, b.data(), &devmode), 1);
    const std::vector<std::pair<std::size_t, int>> words = {
        {0, 513},           {2, 1181 * c.yf}, {4, 1000},        {6, 19 * c.yf},
        {8, 1145 * c.yf},   {10, 0},          {112, 732 * c.xf}, {114, 620},
        {116, 18 * c.xf},   {118, 696 * c.xf}, {120, 580},       {122, 970},
        {124, 0x10},        {126, 0},         {128, 513}};
    for (auto [at, value] : words) EXPECT_EQ(U16At(b, at), value) << "offset " << at;
    EXPECT_EQ(b[130], 1);
    EXPECT_STREQ(b.data() + 12, "62mm x 100mm");
    EXPECT_STREQ(b.data() + 62, "2.4\" x 3.9\"");
    // Past each name's NUL, past byte 130 and past the entry nothing is written.
    EXPECT_EQ(b[12 + 13], '\xEE');
    EXPECT_EQ(b[62 + 12], '\xEE');
    for (std::size_t at = 131; at < b.size(); ++at) EXPECT_EQ(b[at], '\xEE') << at;
  }
}

TEST(Answers, SplitPapersArePrintedAsPartsOnlyInGroupC) {
  PaperRecord1 b = Label(600, 8);
  PaperRecord1 c = Label(601, 10);
  for (PaperRecord1* p : {&b, &c}) {
    p->head.wSplit = 2;
    p->nCompatiblePaperSizes = 400;
  }
  const std::vector<PaperRecord1> papers = {c, b};
  auto tables = BuildDeviceTables(Model(), papers);
  ASSERT_TRUE(tables);
  DevModeA devmode{};
  std::vector<char> buffer(2 * kPaperEntrySize);
  ASSERT_EQ(AnswerCapability(*tables, kCapPapers, buffer.data(), &devmode), 2);
  EXPECT_EQ(U16At(buffer, 0), 600);  // group B first
  EXPECT_EQ(U16At(buffer, 128), 600);
  EXPECT_EQ(buffer[130], 1);
  EXPECT_EQ(U16At(buffer, kPaperEntrySize), 601);
  EXPECT_EQ(U16At(buffer, kPaperEntrySize + 128), 400);
  EXPECT_EQ(buffer[kPaperEntrySize + 130], 3);
}

TEST(Answers, FixedValuesAndTheNullDevmodeRule) {
  PaperRecord1 label = Label(1);
  auto tables = BuildDeviceTables(Model(), std::span(&label, 1));
  ASSERT_TRUE(tables);
  DevModeA dm300{};
  DevModeA dm600{};
  dm600.dmYResolution = 600;
  dm600.dmPrintQuality = 600;
  struct Case {
    std::uint16_t index;
    std::int32_t no_devmode, at_300, at_600;
  };
  const Case cases[] = {
      {257, -1, 1, 1},
      {268, -1, 92 << 16 | 3600, 92 << 16 | 7200},
      {269, 0x369120F3, 0x369120F3, 0x369120F3},
      {270, -1, 2, 2},
      {271, -1, 3, 3},
      {273, -1, 250 << 16 | 120, 500 << 16 | 120},
      {274, -1, 0, 0},
      {275, -1, 0, 0},
      {276, -1, 4, 4},
      {278, 0x3135, 0x3135, 0x3135},
      {279, -1, 1, 1},
      {256, -1, -1, -1},
      {272, -1, -1, -1},
      {277, -1, -1, -1},
      {280, -1, -1, -1},
      {300, -1, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(AnswerCapability(*tables, c.index, nullptr, nullptr), c.no_devmode);
    EXPECT_EQ(AnswerCapability(*tables, c.index, nullptr, &dm300), c.at_300);
    EXPECT_EQ(AnswerCapability(*tables, c.index, nullptr, &dm600), c.at_600);
  }
}

TEST(Answers, LengthPresetsAndClipAreasAreWrittenWithTheirFactors) {
  PaperRecord1 label = Label(1);
  label.dwPaperAbility01 = 0x8;
  label.head.nClipInfoLeft = -2;
  label.head.nClipInfoTop = 3;
  label.head.nClipInfoRight = 4;
  label.head.nClipInfoBottom = 5;
  auto tables = BuildDeviceTables(Model(), std::span(&label, 1));
  ASSERT_TRUE(tables);
  DevModeA devmode{};
  devmode.dmPrintQuality = 600;
  devmode.dmYResolution = 300;

  std::vector<char> presets(2 * kLengthPresetSize, '\xEE');
  ASSERT_EQ(AnswerCapability(*tables, kCapLengthPresets, presets.data(), &devmode), 2);
  EXPECT_EQ(presets[0], 3);
  EXPECT_EQ(U16At(presets, 1), 35);
  EXPECT_STREQ(presets.data() + 3, "3 mm");
  EXPECT_STREQ(presets.data() + 53, "0.1 \"");
  EXPECT_EQ(presets[3 + 5], '\xEE');
  EXPECT_EQ(static_cast<std::uint8_t>(presets[103]), 127);
  EXPECT_EQ(U16At(presets, 104), 1500);
  EXPECT_STREQ(presets.data() + 106, "127 mm");
  EXPECT_STREQ(presets.data() + 156, "5 \"");
  devmode.dmYResolution = 600;
  ASSERT_EQ(AnswerCapability(*tables, kCapLengthPresets, presets.data(), &devmode), 2);
  EXPECT_EQ(U16At(presets, 1), 70);
  EXPECT_EQ(U16At(presets, 104), 3000);

  std::vector<char> clip(kClipEntrySize);
  ASSERT_EQ(AnswerCapability(*tables, kCapClipAreas, clip.data(), &devmode), 1);
  std::int32_t words[5];
  std::memcpy(words, clip.data(), sizeof words);
  EXPECT_EQ(std::vector<std::int32_t>(words, words + 5),
            (std::vector<std::int32_t>{0x1600, -4, 6, 8, 10}));
}

TEST(AnsiName, CutsAt49BytesAndMarksWhatTheCodePageLacks) {
  klm::testing::TempRoot root;
  ASSERT_TRUE(platform::SetLocaleOverride("codepage", "1252"));
  struct Case {
    std::u16string name;
    std::string ansi;
  };
  const Case cases[] = {
      {u"62mm", "62mm"},
      {std::u16string(31, u'x'), std::string(31, 'x')},
      {u"\u00C4rmel", "\xC4rmel"},  // in code page 1252
      {u"\u4E2D62mm", "?62mm"},
      {u"\U0001F600", "?"},
  };
  for (const Case& c : cases) {
    const auto out = AnsiName(c.name);
    EXPECT_EQ(std::string(out.data()), c.ansi);
  }
  // 60 characters (more than a real name field holds) stop at 49 bytes and a NUL.
  const auto cut = AnsiName(std::u16string(60, u'y'));
  EXPECT_EQ(std::string(cut.data()), std::string(49, 'y'));
  // Double-byte characters are never split: 24 of them fill 48 bytes.
  ASSERT_TRUE(platform::SetLocaleOverride("codepage", "932"));
  const auto wide = AnsiName(std::u16string(30, u'\u3042'));
  EXPECT_EQ(std::strlen(wide.data()), 48u);
}

}  // namespace
}  // namespace klm::driverinfo
