#include "platform/files.h"

#include <sys/stat.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/testing/temp_root.h"

namespace klm::platform {
namespace {

namespace fs = std::filesystem;

void Put(const fs::path& p, std::string_view text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

std::string Get(const fs::path& p) {
  auto bytes = ReadWholeFile(p);
  return bytes ? std::string(bytes->begin(), bytes->end()) : "<error>";
}

std::span<const std::uint8_t> Bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

class FilesTest : public ::testing::Test {
 protected:
  testing::TempRoot root_;
  fs::path dir_ = root_.path();
};

TEST_F(FilesTest, WindowsSeparatorsBecomeNative) {
  EXPECT_EQ(FromWindowsPath("C:\\T\\log.txt"), fs::path("C:/T/log.txt"));
  EXPECT_EQ(FromWindowsPath("\\3\\beKLM71.dat"), fs::path("/3/beKLM71.dat"));
  EXPECT_EQ(FromWindowsPath("a/b\\..\\c"), fs::path("a/b/../c"));
}

TEST_F(FilesTest, ResolvesComponentByComponentIgnoringCase) {
  Put(dir_ / "Data" / "KLM71ed.txt", "x");
  Put(dir_ / "Data" / "same.txt", "lower");
  Put(dir_ / "Data" / "SAME.txt", "upper");
  struct Case {
    std::string query;
    fs::path expected;
  } cases[] = {
      {"data/klm71ED.TXT", dir_ / "Data" / "KLM71ed.txt"},
      {"DATA\\klm71ed.txt", dir_ / "Data" / "KLM71ed.txt"},
      {"Data/SAME.txt", dir_ / "Data" / "SAME.txt"},        // exact match wins
      {"Data/same.TXT", dir_ / "Data" / "SAME.txt"},        // else the smallest name
      {"data/New File.txt", dir_ / "Data" / "New File.txt"},  // new leaf keeps its name
      {"nothing/Here.txt", dir_ / "nothing" / "Here.txt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolveCaseInsensitive(dir_.string() + "/" + c.query), c.expected) << c.query;
  }
}

TEST_F(FilesTest, ReadReportsWhatIsMissing) {
  Put(dir_ / "a.txt", "abc");
  EXPECT_EQ(Get(dir_ / "A.TXT"), "abc");
  EXPECT_EQ(ReadWholeFile(dir_ / "b.txt").error().code, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadWholeFile(dir_ / "no" / "b.txt").error().code, ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(ReadWholeFile(dir_).error().code, ERROR_ACCESS_DENIED);
  Put(dir_ / "empty", "");
  EXPECT_EQ(Get(dir_ / "empty"), "");
}

TEST_F(FilesTest, AtomicWriteReplacesTheExistingFileWhateverTheCase) {
  Put(dir_ / "Out.BIN", "old contents");
  ::chmod((dir_ / "Out.BIN").c_str(), 0640);
  ASSERT_TRUE(WriteFileAtomic(dir_.string() + "\\out.bin", Bytes("new")).ok());
  EXPECT_EQ(Get(dir_ / "Out.BIN"), "new");
  struct stat st {};
  ASSERT_EQ(::stat((dir_ / "Out.BIN").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  // Only the target remains: no second spelling, no temporary.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(FilesTest, AtomicWriteRefusalsLeaveTheOldFileAndNoTemporary) {
  Put(dir_ / "ro.txt", "keep");
  ::chmod((dir_ / "ro.txt").c_str(), 0444);
  auto st = WriteFileAtomic(dir_ / "ro.txt", Bytes("lost"));
  ASSERT_FALSE(st.ok());
  EXPECT_EQ(st.error().code, ERROR_ACCESS_DENIED);
  EXPECT_NE(st.error().message.find("ro.txt"), std::string::npos);
  EXPECT_EQ(Get(dir_ / "ro.txt"), "keep");

  EXPECT_EQ(WriteFileAtomic(dir_ / "missing" / "x.txt", Bytes("x")).error().code,
            ERROR_PATH_NOT_FOUND);
  fs::create_directory(dir_ / "folder");
  EXPECT_EQ(WriteFileAtomic(dir_ / "folder", Bytes("x")).error().code, ERROR_ACCESS_DENIED);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

TEST_F(FilesTest, CopyReplacesAndFailsCleanlyOnReadOnlyTargets) {
  Put(dir_ / "src.qmd", std::string("\0\x01\xff", 3));
  ASSERT_TRUE(CopyFileReplace(dir_ / "SRC.QMD", dir_ / "dst.qmd").ok());
  EXPECT_EQ(Get(dir_ / "dst.qmd"), std::string("\0\x01\xff", 3));

  Put(dir_ / "locked.bin", "printer file");
  ::chmod((dir_ / "locked.bin").c_str(), 0444);
  EXPECT_EQ(CopyFileReplace(dir_ / "src.qmd", dir_ / "locked.bin").error().code,
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(Get(dir_ / "locked.bin"), "printer file");
  EXPECT_EQ(CopyFileReplace(dir_ / "none.qmd", dir_ / "dst.qmd").error().code,
            ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace klm::platform
