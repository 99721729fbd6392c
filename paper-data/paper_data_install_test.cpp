#include "paper-data/paper_data_install.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "paper-data/paper_data_reader.h"
#include "paper-data/test_fixtures.h"
#include "platform/files.h"
#include "platform/machine_root.h"
#include "platform/testing/temp_root.h"

namespace klm::paperdata {
namespace {

std::filesystem::path BinDir() {
  const char* env = std::getenv("KLM71_BUILD_BIN");
  return env != nullptr ? env : KLM71_TEST_BIN_DIR;
}

std::filesystem::path ShareDir() { return std::filesystem::path(KLM71_SOURCE_DIR) / "data"; }

std::vector<PaperRecord> InstalledCatalogue() {
  const std::uint32_t level5[] = {5};
  auto read = ReadPaperDataW(platform::DriverDataDirectory() / "KLM71i6.dll", u"klm71ad.qmd", level5);
  EXPECT_TRUE(read) << (read ? "" : read.error().message);
  if (!read) return {};
  EXPECT_TRUE(read->model_ok);
  return RecordsOf<PaperRecord>(read->levels[0]);
}

TEST(InstallPaperData, PlacesAWorkingCatalogueAndKeepsTheUsersFiles) {
  klm::testing::TempRoot root;
  const auto dir = platform::DriverDataDirectory();
  ASSERT_TRUE(InstallPaperData(dir, BinDir(), ShareDir()));
  for (const char* name : {"KLM71i6.so", "KLM71i3.so", "KLM71pc", "klm71ad.txt", "klm71ad.qmd",
                           "klm71ed.txt", "klm71ed.qmd", "KLM71v.org", "beKLM71.dat"}) {
    EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
  }
  const auto presets = InstalledCatalogue();
  ASSERT_GE(presets.size(), 20u);

  // The shipped user formats name base papers of the catalogue that the
  // label-format editor lists (not type 11, bit 0x80 clear).
  const auto org = *platform::ReadWholeFile(dir / "KLM71v.org");
  ASSERT_GE(org.size(), 10u);
  EXPECT_EQ(std::string(org.begin(), org.begin() + 4), "2.00");
  std::uint16_t count;
  std::uint32_t size;
  std::memcpy(&count, org.data() + 4, 2);
  std::memcpy(&size, org.data() + 6, 4);
  EXPECT_EQ(size, 142u);
  ASSERT_EQ(org.size(), 10u + count * 142u);
  for (std::uint16_t i = 0; i < count; ++i) {
    std::int32_t base;
    std::memcpy(&base, org.data() + 10 + i * 142 + 130, 4);
    bool listed = false;
    for (const PaperRecord& p : presets) {
      listed |= p.head.nPaperSize == base && (p.head.nType & 0x80) == 0 &&
                (p.head.nType & ~0xC0) != 11;
    }
    EXPECT_TRUE(listed) << "user format " << i << " base " << base;
  }

  // A custom format made after installation survives a second installation.
  const std::string custom =
      *FormatSource(testing::SampleHeader(), std::vector{testing::SamplePaper()});
  ASSERT_TRUE(platform::WriteFileAtomic(
      dir / "klm71ed.txt", std::span(reinterpret_cast<const std::uint8_t*>(custom.data()), custom.size())));
  const std::string compile = (dir / "KLM71pc").string() + " /S " + (dir / "klm71ed.txt").string() +
                              " " + (dir / "klm71ed.qmd").string();
  ASSERT_EQ(std::system(compile.c_str()), 0);
  ASSERT_TRUE(InstallPaperData(dir, BinDir(), ShareDir()));
  const auto after = InstalledCatalogue();
  ASSERT_EQ(after.size(), presets.size() + 1);
  EXPECT_EQ(+after.back().head.nPaperSize, 513);
}

TEST(InstallPaperData, FailsWithoutTheBuiltFiles) {
  klm::testing::TempRoot root;
  auto status = InstallPaperData(platform::DriverDataDirectory(), root.path() / "nobin", ShareDir());
  ASSERT_FALSE(status);
  EXPECT_NE(status.error().message.find("KLM71i6.so"), std::string::npos);
}

}  // namespace
}  // namespace klm::paperdata
