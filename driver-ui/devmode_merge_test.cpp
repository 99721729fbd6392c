#include "driver-ui/devmode_merge.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "driver-ui/devmode_init.h"
#include "driver-ui/driver_test_fixtures.h"
#include "platform/locale.h"
#include "platform/testing/temp_root.h"

namespace klm::driver {
namespace {

using testing::Paper;

// A continuous paper (Length 0) of the given width.
PaperRecord Tape(std::int16_t id, std::int16_t width) { return Paper(id, width, 0); }

PaperRecord Split(std::int16_t id, std::int16_t width, std::uint16_t parts_extra, std::int16_t base_id,
                  std::int16_t image_width_dots) {
  PaperRecord p = Paper(id, width, 0);
  p.head.wSplit = parts_extra;
  p.head.nImageAreaWidthRes = image_width_dots;
  p.nCompatiblePaperSizes = base_id;
  return p;
}

UserFormat Format(const char* name, std::uint8_t group, std::int32_t base_id, std::uint32_t length_hundredth_mm) {
  UserFormat f;
  std::memset(&f, 0, sizeof f);
  std::strncpy(f.name, name, sizeof f.name - 1);
  f.group = group;
  f.base_paper_id = base_id;
  f.length_hundredth_mm = length_hundredth_mm;
  return f;
}

// Catalogue used by most cases:
//   0: 366, a 101.6 x 152.8 mm label      3: 262, 104 mm tape
//   1: 260, 62 mm tape                    4: 270, two parts across 261
//   2: 261, 101.6 mm tape                 5: 300, a die-cut 29 x 20 mm label
class MergeTest : public ::testing::Test {
 protected:
  MergeTest() {
    (void)platform::SetLocaleOverride("measure", "0");
    (void)platform::SetLocaleOverride("codepage", "1252");
    Reset({Paper(366, 1016, 1528), Tape(260, 620), Tape(261, 1016), Tape(262, 1040),
           Split(270, 2032, 1, 261, 0), Paper(300, 290, 200)});
    // The split paper's image is exactly two of the widest plain tape before it.
    SetImageWidthDots(4, 2 * entries_[3].ImageWidthDots);
  }

  void Reset(std::vector<PaperRecord> papers) {
    arena_ = std::make_unique<Arena>();
    auto c = BuildCatalogue(*arena_, testing::Model(), papers);
    ASSERT_TRUE(c) << c.error().message;
    catalogue_ = *c;
    entries_ = catalogue_.Entries();
    InitDevmode(working_, u"LM", catalogue_);
  }
  void SetImageWidthDots(std::size_t i, std::int16_t dots) { entries_[i].ImageWidthDots = dots; }

  MergeTables Tables() const {
    MergeTables t;
    t.entries = entries_;
    t.user_formats = formats_;
    t.fallback_paper_id = 366;
    return t;
  }
  // An application's DEVMODE: the working one with changes.
  Devmode Incoming() const { return working_; }
  bool Merge(const Devmode& in) { return MergeDevmode(working_, in.Bytes(), Tables()); }

  klm::testing::TempRoot root_;
  std::unique_ptr<Arena> arena_;
  PaperCatalogue catalogue_;
  std::span<PaperEntry> entries_;
  std::vector<UserFormat> formats_;
  Devmode working_;
};

Devmode CustomSize(Devmode d, std::uint32_t fields, std::int16_t width, std::int16_t length) {
  d.pub.dmPaperSize = kCustomPaperId;
  d.pub.dmFields = (d.pub.dmFields & ~(DM_PAPERWIDTH | DM_PAPERLENGTH)) | fields | DM_PAPERSIZE;
  d.pub.dmPaperWidth = width;
  d.pub.dmPaperLength = length;
  return d;
}

TEST_F(MergeTest, CustomSizesMatchLabelsWithinElevenAcrossAndEightAlong) {
  struct Case { std::int16_t width, length; std::optional<int> entry; };
  const Case cases[] = {
      {1010, 1530, 0},  // 0.6 mm and 0.2 mm off the 366 label
      {1026, 1535, 0},
      {1027, 1528, 3},  // 1.1 mm too wide for the label: the narrowest tape at least as wide
      {1020, 1536, 2},  // 0.8 mm too long: no label; the width search finds the 101.6 mm tape
  };
  for (const auto& c : cases) {
    const Devmode d = CustomSize(working_, DM_PAPERWIDTH | DM_PAPERLENGTH, c.width, c.length);
    EXPECT_EQ(MatchCustomSize(d, Tables()), c.entry) << c.width << " x " << c.length;
  }
}

TEST_F(MergeTest, WidthSearchTakesTheNarrowestWideEnoughTapeAndQualifiedSplits) {
  struct Case { std::int16_t width; std::optional<int> entry; };
  const Case cases[] = {
      {500, 1},    // 62 mm is the narrowest tape wider than 50 mm
      {1030, 3},   // within 1.1 mm of the 104 mm tape
      {1100, 4},   // only the two-across split is wide enough
      {2100, std::nullopt},
  };
  for (const auto& c : cases) {
    const Devmode d = CustomSize(working_, DM_PAPERWIDTH, c.width, 0);
    EXPECT_EQ(MatchCustomSize(d, Tables()), c.entry) << c.width;
  }
  // A split whose image is not exactly its parts times the widest plain tape
  // seen before it is no candidate.
  SetImageWidthDots(4, static_cast<std::int16_t>(2 * entries_[2].ImageWidthDots));
  EXPECT_EQ(MatchCustomSize(CustomSize(working_, DM_PAPERWIDTH, 1100, 0), Tables()), std::nullopt);
}

TEST_F(MergeTest, SplitBeforeAnyPlainTapeIsNoCandidate) {
  Reset({Paper(366, 1016, 1528), Split(270, 2032, 1, 261, 200), Tape(261, 1016)});
  EXPECT_EQ(MatchCustomSize(CustomSize(working_, DM_PAPERWIDTH, 1100, 0), Tables()), std::nullopt);
}

TEST_F(MergeTest, CustomSizeMergeFallsBackToTheWidestCandidate) {
  // Nothing is 300 mm wide: the widest of entry 0 and the candidates wins.
  ASSERT_TRUE(Merge(CustomSize(Incoming(), DM_PAPERWIDTH | DM_PAPERLENGTH, 3000, 500)));
  EXPECT_EQ(working_.pub.dmPaperSize, kCustomPaperId);
  EXPECT_EQ(working_.priv.EntryId, 4);
  EXPECT_EQ(working_.pub.dmPaperWidth, 2032);
  EXPECT_EQ(working_.pub.dmPaperLength, 500);
  EXPECT_EQ(working_.priv.LengthTenthMm, 500u);
  EXPECT_EQ(working_.priv.SplitKind, 1);
}

TEST_F(MergeTest, CopiesAndOrientationOutsideTheirRangeBecomeDefaults) {
  struct Case { std::int16_t copies, orientation, want_copies, want_orientation; };
  const Case cases[] = {{0, 3, 1, 2}, {10000, 0, 1, 2}, {-5, -1, 1, 2}, {1, 1, 1, 1}, {9999, 2, 9999, 2}, {42, 1, 42, 1}};
  for (const auto& c : cases) {
    Devmode in = Incoming();
    in.pub.dmCopies = c.copies;
    in.pub.dmOrientation = c.orientation;
    ASSERT_TRUE(Merge(in));
    EXPECT_EQ(working_.pub.dmCopies, c.want_copies) << c.copies;
    EXPECT_EQ(working_.pub.dmOrientation, c.want_orientation) << c.orientation;
  }
}

TEST_F(MergeTest, UnknownPaperFallsBackToDefaultIdThenEntryZero) {
  Reset({Tape(260, 620), Paper(400, 500, 300), Paper(366, 1016, 1528)});
  Devmode in = Incoming();
  in.pub.dmPaperSize = 999;
  EXPECT_EQ(ResolveEntry(in, Tables()).entry, 2);  // the fallback id 366
  Reset({Tape(260, 620), Paper(400, 500, 300)});
  in = Incoming();
  in.pub.dmPaperSize = 366;
  EXPECT_EQ(ResolveEntry(in, Tables()).entry, 0);  // neither 366 nor the fallback: entry 0
}

TEST_F(MergeTest, LengthsAreBoundedExceptTheFixedLengthOfTheSelectedLabel) {
  struct Case { const char* what; std::int16_t paper; std::uint32_t fields; std::int16_t length; std::int16_t want; };
  const Case cases[] = {
      {"custom negative", kCustomPaperId, DM_PAPERWIDTH | DM_PAPERLENGTH | DM_PAPERSIZE, -100, 30000},
      {"custom short", kCustomPaperId, DM_PAPERWIDTH | DM_PAPERLENGTH | DM_PAPERSIZE, 100, 254},
      {"custom long", kCustomPaperId, DM_PAPERWIDTH | DM_PAPERLENGTH | DM_PAPERSIZE, 32000, 30000},
      {"tape", 261, DM_PAPERLENGTH | DM_PAPERSIZE, 5, 254},
      {"length without paper", 261, DM_PAPERLENGTH, -7, 30000},
      {"die-cut label", 300, DM_PAPERLENGTH | DM_PAPERSIZE, 0, 200},
  };
  for (const auto& c : cases) {
    InitDevmode(working_, u"LM", catalogue_);
    Devmode in = Incoming();
    in.pub.dmFields = c.fields;
    in.pub.dmPaperSize = c.paper;
    in.pub.dmPaperWidth = 1016;
    in.pub.dmPaperLength = c.length;
    ASSERT_TRUE(Merge(in)) << c.what;
    EXPECT_EQ(working_.pub.dmPaperLength, c.want) << c.what;
    EXPECT_EQ(working_.priv.LengthTenthMm, static_cast<std::uint32_t>(c.want)) << c.what;
    EXPECT_EQ(working_.priv.Length, static_cast<std::uint32_t>((c.want * 10000 / 254 * 300 + 5000) / 10000)) << c.what;
  }
}

TEST_F(MergeTest, PrivatePartWithoutSignatureKeepsWorkingValuesButCutRequestsApply) {
  Devmode in = Incoming();
  in.priv.Signature = 0x12345678;
  in.priv.Halftone = 0;
  in.priv.Contrast = 7;
  in.priv.Ext.ExtRequest = EXT_CUT_FLAGS;
  in.priv.Ext.ExtCutFlags = CUT_MIRROR | CUT_NOT_AT_END | CUT_TAIL;
  ASSERT_TRUE(Merge(in));
  EXPECT_EQ(working_.priv.Signature, kPrivSignature);
  EXPECT_EQ(working_.priv.Halftone, 3);
  EXPECT_EQ(working_.priv.Contrast, 0);
  EXPECT_EQ(working_.priv.CutEvery, 0);
  EXPECT_EQ(working_.priv.Mirror, 1);
  EXPECT_EQ(working_.priv.CutAtEnd, 0);
  EXPECT_EQ(working_.priv.TailCut, 1);
  EXPECT_EQ(working_.priv.Ext.ExtCutFlags, CUT_MIRROR | CUT_NOT_AT_END | CUT_TAIL);
  EXPECT_EQ(working_.priv.Ext.ExtRequest, EXT_CUT_FLAGS);
}

TEST_F(MergeTest, ForeignPaperWithoutSignatureStillSelectsTheMatchingEntry) {
  Devmode in = Incoming();
  in.priv.Signature = 0;
  in.pub.dmPaperSize = 262;
  ASSERT_TRUE(Merge(in));
  EXPECT_EQ(working_.pub.dmPaperSize, 262);
  EXPECT_EQ(working_.priv.EntryId, 3);
  EXPECT_EQ(working_.pub.dmPaperWidth, 1040);
}

TEST_F(MergeTest, ExtensionOfTheWrongSizeIsIgnoredAndNeverStored) {
  const Devmode before = working_;
  Devmode in = Incoming();
  in.priv.Ext.ExtSize = 28;
  in.priv.Ext.ExtRequest = EXT_CUT_FLAGS | EXT_FEED_DOTS;
  in.priv.Ext.ExtCutFlags = CUT_TAIL;
  in.priv.Ext.ExtFeed = 500;
  in.priv.Contrast = 9;
  ASSERT_TRUE(Merge(in));
  EXPECT_EQ(working_.priv.Ext.ExtSize, kAppExtensionSize);
  EXPECT_EQ(working_.priv.Contrast, 0);  // the whole incoming private part is dropped
  EXPECT_EQ(working_.priv.TailCut, before.priv.TailCut);
  EXPECT_NE(working_.priv.Feed, 500);
  EXPECT_EQ(std::memcmp(&working_.priv.Ext, &before.priv.Ext, sizeof before.priv.Ext), 0);
  // The stored result merges again with its private settings intact.
  Devmode again = working_;
  again.priv.Contrast = 5;
  ASSERT_TRUE(Merge(again));
  EXPECT_EQ(working_.priv.Contrast, 5);
}

TEST_F(MergeTest, UnusableIncomingDevmodeFailsAndLeavesWorkingUntouched) {
  const Devmode before = working_;
  Devmode in = Incoming();
  in.priv.TableBase = 1;
  in.pub.dmCopies = 3;
  EXPECT_FALSE(Merge(in));
  std::vector<std::uint8_t> junk(200, 0);  // dmSize 0 with dmSpecVersion 0
  EXPECT_FALSE(MergeDevmode(working_, junk, Tables()));
  EXPECT_FALSE(MergeDevmode(working_, std::span<const std::uint8_t>(junk).first(40), Tables()));
  EXPECT_EQ(std::memcmp(&working_, &before, sizeof before), 0);
  // Without a table or without a DEVMODE there is nothing to do.
  MergeTables none;
  EXPECT_TRUE(MergeDevmode(working_, in.Bytes(), none));
  EXPECT_TRUE(MergeDevmode(working_, {}, Tables()));
  EXPECT_EQ(std::memcmp(&working_, &before, sizeof before), 0);
}

TEST_F(MergeTest, OlderPublicPartWithoutPrivatePartKeepsWorkingPrivateValues) {
  Devmode in = Incoming();
  in.pub.dmSize = kDevmodeSize300;
  in.pub.dmDriverExtra = 0;
  in.pub.dmPaperSize = 260;
  std::vector<std::uint8_t> bytes(in.Bytes().begin(), in.Bytes().begin() + kDevmodeSize300);
  working_.priv.Contrast = 4;
  ASSERT_TRUE(MergeDevmode(working_, bytes, Tables()));
  EXPECT_EQ(working_.pub.dmPaperSize, 260);
  EXPECT_EQ(working_.priv.EntryId, 1);
  EXPECT_EQ(working_.priv.Contrast, 4);
  EXPECT_EQ(working_.pub.dmSize, kDevmodeSize);
}

TEST_F(MergeTest, PrivateValuesThatWouldIndexAreBroughtIntoRange) {
  // Group 1 (no paper of it here), so that request handling does not
  // reselect the entry before the private part is taken over.
  Devmode in = Incoming();
  in.pub.dmFields &= ~DM_PAPERSIZE;
  in.priv.PaperGroup = 1;
  in.priv.EntryId = 4000;
  in.priv.PrevEntryId = -3;
  in.priv.UserFormatNo = 21;
  in.priv.SplitKind = 9;
  in.priv.Unit = 7;
  in.priv.UnitInitialised = 0;
  in.priv.Feed = 60000;
  ASSERT_TRUE(Merge(in));
  EXPECT_EQ(working_.priv.EntryId, 0);  // resolved from dmPaperSize 366
  EXPECT_EQ(working_.priv.PrevEntryId, 0);
  EXPECT_EQ(working_.priv.UserFormatNo, 0);
  EXPECT_EQ(working_.priv.SplitKind, 0);
  EXPECT_EQ(working_.priv.Unit, 0);
  EXPECT_EQ(working_.priv.UnitInitialised, 1);
  EXPECT_EQ(working_.priv.Feed, 1500);  // 127 mm at 300 dpi

  // Values in range are left as they are.
  formats_ = {Format("A", 1, 261, 5000), Format("B", 1, 262, 6000)};
  in = Incoming();
  in.pub.dmFields &= ~DM_PAPERSIZE;
  in.priv.PaperGroup = 1;
  in.priv.EntryId = 3;
  in.priv.PrevEntryId = 2;
  in.priv.UserFormatNo = 2;
  in.priv.SplitKind = 3;
  in.priv.Unit = 1;
  in.priv.Feed = 1400;
  ASSERT_TRUE(Merge(in));
  EXPECT_EQ(working_.priv.EntryId, 3);
  EXPECT_EQ(working_.priv.PrevEntryId, 2);
  EXPECT_EQ(working_.priv.UserFormatNo, 2);
  EXPECT_EQ(working_.priv.SplitKind, 3);
  EXPECT_EQ(working_.priv.Feed, 1400);
}

TEST_F(MergeTest, UserFormatsAreIndexedWithinTheirPaperGroup) {
  formats_ = {Format("Other group", 1, 262, 9000), Format("Short", 0, 261, 5000), Format("Long", 0, 262, 8004)};
  Devmode in = Incoming();
  in.pub.dmPaperSize = 318;  // the second format of group 0
  ASSERT_TRUE(Merge(in));
  EXPECT_EQ(working_.pub.dmPaperSize, 318);
  EXPECT_EQ(working_.priv.UserFormatNo, 2);
  EXPECT_EQ(working_.priv.EntryId, 3);
  EXPECT_EQ(working_.pub.dmPaperWidth, 1040);
  EXPECT_EQ(working_.pub.dmPaperLength, 800);  // (8004 + 5) / 10
  EXPECT_EQ(ResolveEntry(working_, Tables()).user_format, 1);

  // Ids above the group's formats, and 337 on, select nothing.
  for (std::int16_t id : {319, 337, 339}) {
    in = Incoming();
    in.pub.dmPaperSize = id;
    EXPECT_EQ(ResolveEntry(in, Tables()).user_format, -1) << id;
  }
}

TEST_F(MergeTest, CustomSizeOfAUserFormatSelectsItsBasePaper) {
  // Both formats fit 50 mm on 101.6 mm papers; the last one wins in a
  // merge, the first in MatchCustomSize.
  formats_ = {Format("A", 0, 366, 5000), Format("B", 0, 261, 5004)};
  const Devmode in = CustomSize(Incoming(), DM_PAPERWIDTH | DM_PAPERLENGTH, 1020, 500);
  EXPECT_EQ(MatchCustomSize(in, Tables()), 0);
  ASSERT_TRUE(Merge(in));
  EXPECT_EQ(working_.priv.EntryId, 2);
  EXPECT_EQ(working_.pub.dmPaperSize, kCustomPaperId);
  EXPECT_EQ(working_.pub.dmPaperLength, 500);
}

TEST_F(MergeTest, RequestedExtLengthIsConvertedWithoutOverflow) {
  struct Case { std::uint32_t ext_length; std::int16_t want; };
  // 3543 dots at 300 dpi = 299.974 mm; 10 million dots overflow 32 bits in the conversion.
  const Case cases[] = {{3543, 3000}, {1804, 1527}, {10'000'000, 30000}, {0xFFFFFFFF, 30000}, {10, 254}};
  for (const auto& c : cases) {
    Devmode in = Incoming();
    in.pub.dmPaperSize = 261;
    in.priv.Ext.ExtRequest = EXT_LENGTH;
    in.priv.Ext.ExtLength = c.ext_length;
    ASSERT_TRUE(Merge(in));
    EXPECT_EQ(working_.pub.dmPaperLength, c.want) << c.ext_length;
    EXPECT_EQ(working_.priv.Ext.ExtRequest, EXT_LENGTH);
    EXPECT_EQ(working_.priv.Ext.ExtLength, working_.priv.Length) << c.ext_length;
  }
}

TEST_F(MergeTest, RequestsAreAppliedAndReportedBitByBit) {
  struct Case {
    const char* what;
    std::uint16_t request;
    std::uint16_t paper_id, feed, split, option;
    std::uint32_t cut_flags;
    // expected
    std::uint16_t want_request, want_valid, want_paper_id, want_feed, want_split;
    std::int16_t want_dm_paper;
    std::uint16_t want_feed_dots;
    std::uint8_t want_feed_in_dots, want_split_kind;
  };
  // Every merge of a "PRIV" part raises the feed to at least 35 dots (3 mm).
  const Case cases[] = {
      {"nothing", 0, 0, 0, 0, 0, 0,
       0, 0x6F, 366, 35, 1, 366, 35, 1, 0},
      {"paper id", EXT_PAPER_ID, 262, 0, 0, 0, 0,
       EXT_PAPER_ID, 0x6F, 262, 35, 1, 262, 35, 1, 0},
      {"split of a base paper", EXT_PAPER_ID | EXT_SPLIT, 261, 0, 2, 0, 0,
       EXT_PAPER_ID | EXT_SPLIT, 0x6F, 261, 35, 2, 270, 35, 1, 1},
      {"feed in millimetres", EXT_FEED_MM, 0, 6, 0, 0, 0,
       EXT_FEED_MM, 0x3F, 366, 6, 1, 366, 71, 0, 0},
      {"feed in dots", EXT_FEED_DOTS, 0, 120, 0, 0, 0,
       EXT_FEED_DOTS, 0x6F, 366, 120, 1, 366, 120, 1, 0},
      {"feed beyond 127 mm", EXT_FEED_DOTS, 0, 9000, 0, 0, 0,
       EXT_FEED_DOTS, 0x6F, 366, 1500, 1, 366, 1500, 1, 0},
      {"option and keep", EXT_OPTION | EXT_KEEP, 0, 0, 0, 0x55, 0,
       EXT_OPTION | EXT_KEEP, 0x6F, 366, 35, 1, 366, 35, 1, 0},
      {"cut flags", EXT_CUT_FLAGS, 0, 0, 0, 0, CUT_TAIL,
       EXT_CUT_FLAGS, 0x6F, 366, 35, 1, 366, 35, 1, 0},
  };
  for (const auto& c : cases) {
    InitDevmode(working_, u"LM", catalogue_);
    Devmode in = Incoming();
    auto& x = in.priv.Ext;
    x.ExtRequest = c.request;
    x.ExtValid = 0;
    if (c.request & EXT_PAPER_ID) x.ExtPaperId = c.paper_id;
    if (c.request & (EXT_FEED_MM | EXT_FEED_DOTS)) x.ExtFeed = c.feed;
    if (c.request & EXT_SPLIT) x.ExtSplit = c.split;
    if (c.request & EXT_OPTION) x.ExtOption = c.option;
    if (c.request & EXT_CUT_FLAGS) x.ExtCutFlags = c.cut_flags;
    ASSERT_TRUE(Merge(in)) << c.what;
    const auto& w = working_.priv.Ext;
    EXPECT_EQ(w.ExtSize, 30) << c.what;
    EXPECT_EQ(w.ExtRequest, c.want_request) << c.what;
    EXPECT_EQ(w.ExtValid, c.want_valid) << c.what;
    EXPECT_EQ(w.ExtPaperId, c.want_paper_id) << c.what;
    EXPECT_EQ(w.ExtFeed, c.want_feed) << c.what;
    EXPECT_EQ(w.ExtSplit, c.want_split) << c.what;
    EXPECT_EQ(w.ExtOption, c.option) << c.what;
    EXPECT_EQ(w.ExtLength, working_.priv.Length) << c.what;
    EXPECT_EQ(w.ExtCutFlags, c.request & EXT_CUT_FLAGS ? c.cut_flags : CUT_EVERY) << c.what;
    EXPECT_EQ(std::memcmp(w.ExtSignature, "KVQM", 4), 0) << c.what;
    EXPECT_EQ(working_.pub.dmPaperSize, c.want_dm_paper) << c.what;
    EXPECT_EQ(working_.priv.Feed, c.want_feed_dots) << c.what;
    EXPECT_EQ(working_.priv.FeedInDots, c.want_feed_in_dots) << c.what;
    EXPECT_EQ(working_.priv.SplitKind, c.want_split_kind) << c.what;
  }
}

TEST_F(MergeTest, FeedInMillimetresRoundsHalfUpWithinThreeTo127) {
  struct Case { std::uint32_t dots; int dpi; std::optional<std::uint16_t> mm; };
  const Case cases[] = {
      {71, 300, 6}, {0, 300, 3}, {30, 300, 3}, {1500, 300, 127}, {60000, 300, 127},
      {59, 300, 5},  // 4.995 mm
      {58, 300, 5},  // 4.91 mm
      {65535, 1, 127}, {100, 0, std::nullopt}, {100, -300, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FeedMillimetres(c.dots, c.dpi), c.mm) << c.dots << " at " << c.dpi;
}

TEST_F(MergeTest, ReportExtensionDescribesTheDevmodeItself) {
  struct Case { std::int16_t paper; std::uint8_t feed_in_dots; std::uint16_t feed;
                std::uint16_t valid, paper_id, ext_feed, split; };
  const Case cases[] = {
      {366, 1, 71, 0x6F, 366, 71, 1},
      {270, 0, 71, 0x3F, 261, 6, 2},            // a split reports its base paper and parts
      {kCustomPaperId, 1, 40, 0x6F, 261, 40, 1},  // resolved by width to the 101.6 mm tape
  };
  for (const auto& c : cases) {
    Devmode d = working_;
    d.pub.dmPaperSize = c.paper;
    d.pub.dmPaperWidth = 1016;
    d.pub.dmFields = DM_PAPERSIZE | DM_PAPERWIDTH;
    d.priv.FeedInDots = c.feed_in_dots;
    d.priv.Feed = c.feed;
    d.priv.LengthTenthMm = 1000;
    d.priv.Ext.ExtRequest = EXT_PAPER_ID;
    d.priv.CutEvery = 0;
    d.priv.Mirror = 1;
    ReportExtension(d, Tables());
    const auto& x = d.priv.Ext;
    EXPECT_EQ(x.ExtRequest, 0) << c.paper;
    EXPECT_EQ(x.ExtValid, c.valid) << c.paper;
    EXPECT_EQ(x.ExtPaperId, c.paper_id) << c.paper;
    EXPECT_EQ(x.ExtFeed, c.ext_feed) << c.paper;
    EXPECT_EQ(x.ExtSplit, c.split) << c.paper;
    EXPECT_EQ(x.ExtLength, 1181u) << c.paper;  // 100 mm at 300 dpi
    EXPECT_EQ(d.priv.Length, 1181u) << c.paper;
    EXPECT_EQ(x.ExtCutFlags, CUT_MIRROR) << c.paper;
  }
}

TEST_F(MergeTest, PerUserDefaultIsUsedOnlyWhenSound) {
  Devmode u = working_;
  u.pub.dmPaperSize = 262;
  u.pub.dmPaperWidth = 1040;
  u.pub.dmPaperLength = 777;
  u.priv.EntryId = 3;
  u.priv.LengthTenthMm = 777;
  struct Case { const char* what; void (*spoil)(Devmode&); std::size_t cut; bool usable; };
  const Case cases[] = {
      {"sound", [](Devmode&) {}, 0, true},
      {"short private part", [](Devmode& d) { d.pub.dmDriverExtra = 200; }, 0, false},
      {"bytes missing", [](Devmode&) {}, 100, false},
      {"no signature", [](Devmode& d) { d.priv.Signature = 0; }, 0, false},
      {"table base", [](Devmode& d) { d.priv.TableBase = 2; }, 0, false},
      {"entry out of range", [](Devmode& d) { d.priv.EntryId = 6; }, 0, false},
      {"negative entry", [](Devmode& d) { d.priv.EntryId = -1; }, 0, false},
  };
  for (const auto& c : cases) {
    Devmode v = u;
    c.spoil(v);
    std::vector<std::uint8_t> bytes(v.Bytes().begin(), v.Bytes().end() - c.cut);
    EXPECT_EQ(UsableUserDefault(bytes, entries_).has_value(), c.usable) << c.what;
  }

  // An incoming paper the catalogue lacks takes the user's default paper.
  MergeTables t = Tables();
  t.user_default = UsableUserDefault(u.Bytes(), entries_);
  Devmode in = Incoming();
  in.pub.dmPaperSize = 999;
  EXPECT_EQ(ResolveEntry(in, t).entry, 3);
  in.priv.Feed = 90;
  ASSERT_TRUE(MergeDevmode(working_, in.Bytes(), t));
  EXPECT_EQ(working_.pub.dmPaperSize, 262);
  EXPECT_EQ(working_.pub.dmPaperWidth, 1040);
  EXPECT_EQ(working_.pub.dmPaperLength, 777);
  EXPECT_EQ(working_.priv.EntryId, 3);
  EXPECT_EQ(working_.priv.LengthTenthMm, 777u);
  EXPECT_EQ(working_.priv.Feed, 90);  // the rest of the merge still runs
}

TEST_F(MergeTest, ForeignDevmodeBytesFollowTheHeaderAndCapThePrivatePart) {
  Devmode d = working_;
  d.pub.dmDriverExtra = 5000;
  EXPECT_EQ(ForeignDevmodeBytes(&d).size(), kDriverDevmodeSize);
  d.pub.dmSize = kDevmodeSize300;
  d.pub.dmDriverExtra = 0;
  EXPECT_EQ(ForeignDevmodeBytes(&d).size(), kDevmodeSize300);
  EXPECT_TRUE(ForeignDevmodeBytes(nullptr).empty());
}

}  // namespace
}  // namespace klm::driver
