// Loads the built KLM71F through the module loader, over QMD files compiled by
// the built KLM71pc and read by the real paper-data library in a fresh
// machine root, as the printer utility would.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "converter/testing/qmd_fixture.h"
#include "driver-info/device_info.h"
#include "platform/machine_root.h"
#include "platform/module.h"
#include "platform/testing/temp_root.h"

namespace klm::driverinfo {
namespace {

namespace fs = std::filesystem;
using klm::testing::QmdSource;

class DriverInfoLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(platform::DriverDataDirectory());
    klm::testing::InstallPaperDataLibrary(KLM71_PAPERDATA_LIBRARY);
  }
  void TearDown() override {
    if (module_ != nullptr) {
      EXPECT_TRUE(platform::FreeModule(module_));
    }
  }

  void InstallCatalogue(const QmdSource& source) {
    std::string log;
    ASSERT_TRUE(klm::testing::CompileQmd(
        source, platform::DriverDataDirectory() / "klm71ad.qmd", &log))
        << log;
  }

  Result<platform::Module*> Load() { return platform::LoadModule(KLM71_DRIVERINFO_LIBRARY); }

  // Loads the library and binds its export, as a caller that binds it by name.
  MyDeviceCapabilitiesFunction Bind() {
    auto module = Load();
    if (!module) {
      ADD_FAILURE() << module.error().message;
      return nullptr;
    }
    module_ = *module;
    return reinterpret_cast<MyDeviceCapabilitiesFunction>(
        platform::GetSymbol(module_, kMyDeviceCapabilitiesName));
  }

  klm::testing::TempRoot root_;
  platform::Module* module_ = nullptr;
};

std::int16_t I16At(const std::vector<char>& b, std::size_t at) {
  std::int16_t v;
  std::memcpy(&v, b.data() + at, 2);
  return v;
}

TEST_F(DriverInfoLibrary, AnswersModelCodesAndListsDieCutPapersFirst) {
  QmdSource source;
  source.papers = {{{"nType", "8"}, {"nPaperSize", "300"}, {"szPaperName_mm", "Tape 62mm"}},
                   {{"nType", "139"}, {"nPaperSize", "301"}, {"szPaperName_mm", "Label 29mm"}}};
  InstallCatalogue(source);
  auto caps = Bind();
  ASSERT_NE(caps, nullptr);
  EXPECT_EQ(caps(nullptr, nullptr, kCapModelCodes, nullptr, nullptr), 0x3135);
  EXPECT_EQ(caps("LM-7100", "USB001", kCapPapers, nullptr, nullptr), -1);

  DevModeA devmode{};
  devmode.dmPrintQuality = 300;
  devmode.dmYResolution = 300;
  ASSERT_EQ(caps(nullptr, nullptr, kCapPapers, nullptr, &devmode), 2);
  std::vector<char> b(2 * kPaperEntrySize);
  ASSERT_EQ(caps(nullptr, nullptr, kCapPapers, b.data(), &devmode), 2);
  EXPECT_EQ(I16At(b, 0), 301);
  EXPECT_STREQ(b.data() + 12, "Label 29mm");
  EXPECT_EQ(I16At(b, 124), 0x50);
  EXPECT_EQ(I16At(b, kPaperEntrySize), 300);
  EXPECT_STREQ(b.data() + kPaperEntrySize + 12, "Tape 62mm");
  EXPECT_EQ(I16At(b, kPaperEntrySize + 124), 0x10);
  // The tape's length comes from the model: 1805 dots, 1805 - 2 x 18 printable.
  EXPECT_EQ(I16At(b, kPaperEntrySize + 2), 1805);
  EXPECT_EQ(I16At(b, kPaperEntrySize + 8), 1769);

  // A 600-dpi Y resolution doubles the Y dots and keeps the X dots.
  devmode.dmYResolution = 600;
  std::vector<char> doubled(2 * kPaperEntrySize);
  ASSERT_EQ(caps(nullptr, nullptr, kCapPapers, doubled.data(), &devmode), 2);
  EXPECT_EQ(I16At(doubled, kPaperEntrySize + 2), 3610);
  EXPECT_EQ(I16At(doubled, kPaperEntrySize + 8), 3538);
  EXPECT_EQ(I16At(doubled, kPaperEntrySize + 112), 732);
}

TEST_F(DriverInfoLibrary, PaperLyingAcrossAndSplitPapers) {
  QmdSource source;
  source.papers = {
      // A continuous tape lying across: its X side takes the model's length.
      {{"nPaperSize", "400"}, {"dwPaperAbility01", "0x00000002"}},
      // Split papers: only group C is printed as parts of its base paper.
      {{"nPaperSize", "401"}, {"nType", "8"}, {"wSplit", "2"}, {"nCompatiblePaperSizes", "400"}},
      {{"nPaperSize", "402"}, {"wSplit", "2"}, {"nCompatiblePaperSizes", "400"},
       {"dwPaperAbility01", "0x00000008"}, {"nClipInfoLeft", "5"}}};
  InstallCatalogue(source);
  auto caps = Bind();
  ASSERT_NE(caps, nullptr);
  DevModeA devmode{};
  std::vector<char> b(3 * kPaperEntrySize);
  ASSERT_EQ(caps(nullptr, nullptr, kCapPapers, b.data(), &devmode), 3);
  // Group B first: the split paper keeps its own id and one part.
  EXPECT_EQ(I16At(b, 0), 401);
  EXPECT_EQ(I16At(b, 128), 401);
  EXPECT_EQ(b[130], 1);
  // Then group C in catalogue order: the tape lying across ...
  const std::size_t across = kPaperEntrySize;
  EXPECT_EQ(I16At(b, across), 400);
  EXPECT_EQ(I16At(b, across + 2), 732);    // Y: the width
  EXPECT_EQ(I16At(b, across + 112), 1805);  // X: the model's length in dots
  EXPECT_EQ(I16At(b, across + 114), 1528);
  EXPECT_EQ(I16At(b, across + 118), 1769);
  EXPECT_EQ(I16At(b, across + 120), 1497);  // 1769 x 254 / 300
  // ... and the split paper, printed as three parts of paper 400.
  const std::size_t split = 2 * kPaperEntrySize;
  EXPECT_EQ(I16At(b, split), 402);
  EXPECT_EQ(I16At(b, split + 128), 400);
  EXPECT_EQ(b[split + 130], 3);

  std::vector<char> clips(3 * kClipEntrySize);
  ASSERT_EQ(caps(nullptr, nullptr, kCapClipAreas, clips.data(), &devmode), 3);
  std::int32_t last[5];
  std::memcpy(last, clips.data() + 2 * kClipEntrySize, sizeof last);
  EXPECT_EQ(std::vector<std::int32_t>(last, last + 5),
            (std::vector<std::int32_t>{0x1600, 5, 0, 0, 0}));
}

TEST_F(DriverInfoLibrary, RefusesToLoadWithoutReadablePaperData) {
  struct Case {
    const char* what;
    bool catalogue;
    QmdSource source;
    bool library;
  };
  QmdSource one_paper;
  one_paper.papers = {{}};
  const Case cases[] = {
      {"no paper-data file", false, {}, true},
      {"no papers", true, QmdSource{}, true},
      {"no paper-data library", true, one_paper, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(platform::DriverDataDirectory() / "klm71ad.qmd");
    if (c.catalogue) InstallCatalogue(c.source);
    if (!c.library) fs::remove(platform::DriverDataDirectory() / "KLM71i3.so");
    auto module = Load();
    ASSERT_FALSE(module);
    EXPECT_EQ(module.error().code, ERROR_DLL_INIT_FAILED);
  }
  // Once the data is there, the same library loads.
  klm::testing::InstallPaperDataLibrary(KLM71_PAPERDATA_LIBRARY);
  InstallCatalogue(one_paper);
  auto caps = Bind();
  ASSERT_NE(caps, nullptr);
  DevModeA devmode{};
  EXPECT_EQ(caps(nullptr, nullptr, kCapPapers, nullptr, &devmode), 1);
}

}  // namespace
}  // namespace klm::driverinfo
