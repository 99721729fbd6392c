#include "driver-ui/user_formats.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "driver-ui/driver_test_fixtures.h"
#include "platform/files.h"

namespace klm::driver {
namespace {

UserFormat Format(const char* name, std::uint16_t group, std::int32_t base, std::uint32_t length) {
  UserFormat f;
  std::memset(&f, 0, sizeof f);
  std::strncpy(f.name, name, sizeof f.name - 1);
  f.group = group;
  f.base_paper_id = base;
  f.length_hundredth_mm = length;
  f.feed_hundredth_mm = 300;
  return f;
}

std::vector<std::uint8_t> File(std::uint16_t header_count, std::size_t records,
                               const char* version = "2.00", std::uint32_t record_size = 142) {
  std::vector<UserFormat> formats;
  for (std::size_t i = 0; i < records; ++i) {
    formats.push_back(Format(("Label " + std::to_string(i)).c_str(), i % 2, 366, 5000 + i));
  }
  auto bytes = SerializeUserFormats(formats);
  std::memcpy(bytes.data(), version, 4);
  bytes[4] = static_cast<std::uint8_t>(header_count), bytes[5] = static_cast<std::uint8_t>(header_count >> 8);
  std::memcpy(&bytes[6], &record_size, 4);
  return bytes;
}

TEST(UserFormats, HeaderAndBytesBoundWhatIsRead) {
  struct Case { const char* what; std::vector<std::uint8_t> bytes; std::size_t taken; };
  auto cut = [](std::vector<std::uint8_t> b, std::size_t n) { b.resize(n); return b; };
  const Case cases[] = {
      {"a header of 30 records gives 23", File(30, 30), 23},
      {"the header's count when fewer", File(2, 5), 2},
      {"records missing from the file", File(5, 2), 2},
      {"a half record at the end", cut(File(3, 3), 10 + 142 * 2 + 70), 2},
      {"another version text", File(2, 2, "1.00"), 0},
      {"another record size", File(2, 2, "2.00", 141), 0},
      {"shorter than the header", cut(File(2, 2), 9), 0},
      {"empty", {}, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseUserFormats(c.bytes).size(), c.taken) << c.what;
  }
}

TEST(UserFormats, NameAlwaysEndsInsideItsField) {
  auto bytes = File(1, 1);
  std::memset(&bytes[10], 'N', 128);
  const auto formats = ParseUserFormats(bytes);
  ASSERT_EQ(formats.size(), 1u);
  EXPECT_EQ(formats[0].name[127], 0);
  EXPECT_EQ(UserFormatName(formats[0]), std::u16string(127, u'N'));
}

TEST(UserFormats, RoundTripKeepsEveryByte) {
  const std::vector<UserFormat> formats = {Format("62 x 100", 0, 366, 10000), Format("Etikett", 1, 400, 2950)};
  const auto bytes = SerializeUserFormats(formats);
  ASSERT_EQ(bytes.size(), 10u + 2 * 142);
  EXPECT_EQ(std::memcmp(bytes.data(), "2.00\x02\x00\x8E\x00\x00\x00", 10), 0);
  EXPECT_EQ(SerializeUserFormats(ParseUserFormats(bytes)), bytes);
}

class UserFormatFiles : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(platform::DriverDataDirectory()); }
  klm::testing::TempRoot root_;
};

TEST_F(UserFormatFiles, ReadFiltersByGroupLowByte) {
  std::vector<UserFormat> formats = {Format("a", 0, 366, 1), Format("b", 0x0101, 366, 2),
                                     Format("c", 1, 366, 3), Format("d", 0, 366, 4)};
  ASSERT_TRUE(WriteUserFormats(formats));
  EXPECT_EQ(ReadUserFormats(std::nullopt).size(), 4u);
  const auto group1 = ReadUserFormats(1);
  ASSERT_EQ(group1.size(), 2u);
  EXPECT_STREQ(group1[0].name, "b");
  EXPECT_STREQ(group1[1].name, "c");
  EXPECT_TRUE(ReadUserFormats(std::nullopt, root_.path() / "missing.dat").empty());
}

TEST_F(UserFormatFiles, MapReadsTheDatFileAndPrefillsTheRest) {
  const std::vector<UserFormat> formats = {Format("a", 0, 366, 1), Format("b", 0, 400, 2)};
  ASSERT_TRUE(WriteUserFormats(formats, root_.path() / "list.dat"));
  auto mapped = MapUserFormats(root_.path() / "list.org");
  ASSERT_TRUE(mapped);
  EXPECT_EQ(mapped->count, 2);
  EXPECT_EQ(mapped->records[1].base_paper_id, 400);
  const auto* rest = reinterpret_cast<const std::uint8_t*>(&mapped->records[2]);
  for (std::size_t i = 0; i < 21 * sizeof(UserFormat); ++i) ASSERT_EQ(rest[i], 0xFF);
  EXPECT_FALSE(MapUserFormats(root_.path() / "none"));

  // A malformed file maps as no formats.
  std::ofstream(root_.path() / "bad.dat", std::ios::binary) << "2.0";
  auto bad = MapUserFormats(root_.path() / "bad.dat");
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->count, 0);
}

TEST_F(UserFormatFiles, FailedRewriteKeepsThePreviousFormats) {
  const std::vector<UserFormat> before = {Format("kept", 0, 366, 1)};
  ASSERT_TRUE(WriteUserFormats(before));
  const auto file = UserFormatsFile();
  const auto bytes_before = *platform::ReadWholeFile(file);

  // The folder refuses new files: the temporary cannot be made, so nothing changes.
  const auto folder = file.parent_path();
  ::chmod(folder.c_str(), 0555);
  ::chmod(file.c_str(), 0444);
  const std::vector<UserFormat> after = {Format("new", 0, 400, 2), Format("newer", 0, 400, 3)};
  EXPECT_FALSE(WriteUserFormats(after));
  ::chmod(folder.c_str(), 0755);
  ::chmod(file.c_str(), 0644);
  EXPECT_EQ(*platform::ReadWholeFile(file), bytes_before);
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++entries;
  EXPECT_EQ(entries, 1u) << "a temporary file was left behind";

  ASSERT_TRUE(WriteUserFormats(after));
  EXPECT_EQ(ReadUserFormats(std::nullopt).size(), 2u);
}

}  // namespace
}  // namespace klm::driver
