#include "driver-ui/default_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "driver-ui/devmode_init.h"
#include "driver-ui/driver_test_fixtures.h"
#include "driver-ui/user_formats.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace klm::driver {
namespace {

using testing::Model;
using testing::Paper;

class DefaultSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(platform::DriverDataDirectory());
    papers_ = {Paper(366, 1016, 1528), Paper(400, 620, 1000), Paper(340, 120, 0, 10)};
    catalogue_ = *BuildCatalogue(arena_, Model(), papers_);
    InitDevmode(dm_, u"Koravel LM-7100", PaperCatalogue{});
  }
  void WriteSettings(const std::string& lines) {
    std::ofstream(DefaultSettingsFile(), std::ios::binary) << "[Default Setting]\r\n" << lines;
  }
  void WriteFormats(std::vector<std::int32_t> bases) {
    std::vector<UserFormat> formats;
    for (auto base : bases) {
      UserFormat f;
      std::memset(&f, 0, sizeof f);
      f.base_paper_id = base;
      formats.push_back(f);
    }
    ASSERT_TRUE(WriteUserFormats(formats));
  }
  klm::testing::TempRoot root_;
  Arena arena_;
  std::vector<PaperRecord> papers_;
  PaperCatalogue catalogue_;
  Devmode dm_;
};

TEST_F(DefaultSettings, MissingFileOrKeysChangeNothing) {
  Devmode before = dm_;
  ReadDefaultSettings(dm_, catalogue_);
  EXPECT_EQ(std::memcmp(&before, &dm_, sizeof dm_), 0);
  WriteSettings("SaveSetting=0\r\nCopies=\r\n");
  ReadDefaultSettings(dm_, catalogue_);
  EXPECT_EQ(std::memcmp(&before, &dm_, sizeof dm_), 0);
}

TEST_F(DefaultSettings, ValuesAndTheirEffects) {
  WriteSettings(
      "CutEveryNum=300\r\nContrast=-5\r\nBrightness=0x7\r\nCollate=2\r\nTailCut=1\r\nCutAtEnd=0\r\n"
      "CutEvery=0\r\nMirror=1\r\nCopies=70000\r\nHalftone=1\r\nUnit=1\r\nFeed=40\r\n");
  ReadDefaultSettings(dm_, catalogue_);
  EXPECT_EQ(dm_.priv.CutEveryNum, 44u);  // the low 8 bits of 300
  EXPECT_EQ(dm_.priv.Contrast, -5);
  EXPECT_EQ(dm_.priv.Brightness, 7);
  EXPECT_EQ(dm_.priv.Collate, 2);
  EXPECT_EQ(dm_.pub.dmCollate, 1);
  EXPECT_EQ(dm_.pub.dmCopies, static_cast<std::int16_t>(70000 & 0xFFFF));
  EXPECT_EQ(dm_.priv.Halftone, 1);
  EXPECT_EQ(dm_.priv.Unit, 1);
  EXPECT_EQ(dm_.priv.Feed, 40);
  EXPECT_EQ(dm_.priv.Ext.ExtFeed, 40);
  EXPECT_EQ(dm_.priv.Ext.ExtCutFlags, CUT_TAIL | CUT_NOT_AT_END | CUT_MIRROR);
}

TEST_F(DefaultSettings, LengthIsConvertedAtTheNewResolution) {
  struct Case { const char* lines; std::int16_t y; std::uint32_t length; std::int16_t tenth_mm; };
  const Case cases[] = {
      {"YResolution=600\r\nLength=1200\r\n", 600, 1200, 508},  // (1200 x 25400 / 600 + 50) / 100
      {"Length=1805\r\n", 300, 1805, 1528},
      {"YResolution=0\r\nLength=1805\r\n", 300, 1805, 1528},     // 0 is ignored
      {"YResolution=-300\r\nLength=1805\r\n", 300, 1805, 1528},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    std::filesystem::remove(DefaultSettingsFile());
    InitDevmode(dm_, u"x", PaperCatalogue{});
    WriteSettings(c.lines);
    ReadDefaultSettings(dm_, PaperCatalogue{});
    EXPECT_EQ(dm_.pub.dmYResolution, c.y);
    EXPECT_EQ(dm_.priv.Length, c.length);
    EXPECT_EQ(dm_.priv.Ext.ExtLength, c.length);
    EXPECT_EQ(dm_.pub.dmPaperLength, c.tenth_mm);
    EXPECT_EQ(dm_.priv.LengthTenthMm, std::uint32_t(c.tenth_mm));
  }
}

TEST_F(DefaultSettings, PaperSizeResolvesUserFormats) {
  struct Case {
    const char* what;
    const char* value;
    std::vector<std::int32_t> formats;  // empty: no file
    std::int16_t paper_size;
    std::uint8_t format_no;
    std::int16_t entry;  // -1: no paper applied
  };
  const Case cases[] = {
      {"a catalogue paper", "400", {}, 400, 0, 1},
      {"a user format with its base paper", "318", {366, 400}, 318, 2, 1},
      {"a user format beyond the file's records", "319", {366, 400}, 319, 3, -1},
      {"a user format without a file", "318", {}, 318, 0, -1},
      {"an id outside the catalogue", "999", {}, 999, 0, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(UserFormatsFile());
    if (!c.formats.empty()) WriteFormats(c.formats);
    std::filesystem::remove(DefaultSettingsFile());
    InitDevmode(dm_, u"x", PaperCatalogue{});
    dm_.priv.EntryId = -1;
    WriteSettings(std::string("PaperSize=") + c.value + "\r\n");
    ReadDefaultSettings(dm_, catalogue_);
    EXPECT_EQ(dm_.pub.dmPaperSize, c.paper_size);
    EXPECT_EQ(dm_.priv.UserFormatNo, c.format_no);
    EXPECT_EQ(dm_.priv.EntryId, c.entry);
    if (c.entry >= 0) {
      EXPECT_EQ(dm_.pub.dmPaperWidth, papers_[c.entry].head.nPaperWidth);
    }
  }
}

TEST_F(DefaultSettings, SaveSettingDecidesWhatIsWritten) {
  const auto file = DefaultSettingsFile();
  dm_.priv.Contrast = -5;
  dm_.priv.CutEveryNum = 12;

  // Without "SaveSetting", or with 0, the file is never written.
  for (const char* text : {"", "SaveSetting=0\r\n"}) {
    WriteSettings(text);
    const auto before = *platform::ReadWholeFile(file);
    EXPECT_FALSE(SaveDefaultSettings(&dm_.pub, &dm_.priv, catalogue_, true));
    EXPECT_EQ(*platform::ReadWholeFile(file), before);
  }

  // A cancelled sheet only resets the request.
  WriteSettings("SaveSetting=1\r\n");
  EXPECT_FALSE(SaveDefaultSettings(&dm_.pub, &dm_.priv, catalogue_, false));
  EXPECT_EQ(platform::GetProfileString(file, kDefaultSection, "SaveSetting", "?"), "0");
  EXPECT_EQ(platform::GetProfileString(file, kDefaultSection, "Length", "none"), "none");

  // Nothing without a catalogue.
  WriteSettings("SaveSetting=1\r\n");
  EXPECT_FALSE(SaveDefaultSettings(&dm_.pub, &dm_.priv, PaperCatalogue{}, true));
  EXPECT_EQ(platform::GetProfileString(file, kDefaultSection, "SaveSetting", "?"), "1");

  // An accepted sheet writes every value; they read back unchanged.
  EXPECT_TRUE(SaveDefaultSettings(&dm_.pub, &dm_.priv, catalogue_, true));
  EXPECT_EQ(platform::GetProfileString(file, kDefaultSection, "Contrast", ""), "-5");
  EXPECT_EQ(platform::GetProfileString(file, kDefaultSection, "PaperSize", ""), "366");
  EXPECT_EQ(platform::GetProfileString(file, kDefaultSection, "SaveSetting", "?"), "0");
  Devmode back;
  InitDevmode(back, u"x", PaperCatalogue{});
  back.priv.Contrast = 3;
  back.priv.CutEveryNum = 1;
  ReadDefaultSettings(back, catalogue_);
  EXPECT_EQ(back.priv.Contrast, -5);
  EXPECT_EQ(back.priv.CutEveryNum, 12u);
}

}  // namespace
}  // namespace klm::driver
