#include "platform/profile.h"

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/testing/temp_root.h"

namespace klm::platform {
namespace {

namespace fs = std::filesystem;

void Put(const fs::path& p, std::string_view text) {
  std::ofstream(p, std::ios::binary) << text;
}

void Append(const fs::path& p, std::string_view text) {
  std::ofstream(p, std::ios::binary | std::ios::app) << text;
}

std::string Get(const fs::path& p) {
  auto bytes = ReadWholeFile(p);
  return bytes ? std::string(bytes->begin(), bytes->end()) : "<missing>";
}

// Lines joined with the given line end.
std::string Lines(std::vector<std::string_view> lines, std::string_view eol = "\r\n") {
  std::string out;
  for (auto l : lines) (out += l) += eol;
  return out;
}

const std::vector<std::string_view> kSample = {
    ";comment=ignored",
    "[Version]",
    "  FormatVersion = 1.00  ",
    "Quoted=\"  spaced  \"",
    "Single='x'",
    "Unbalanced=\"abc",
    "Empty=",
    "NoEquals",
    "",
    "[ model ]",
    "dwHeadPinNum=0x4a",
    "Neg=-5",
    "Mixed=12ab",
    "Word=abc",
    "Hex=0X1F",
    "Plus=+7",
    "Quoted=\"42\"",
    ";nType=99",
    "nType=0x4a",
    "0",
};

class ProfileTest : public ::testing::TestWithParam<std::string_view> {
 protected:
  testing::TempRoot root_;
  fs::path file_ = root_.path() / "Sample.INI";
};

TEST_P(ProfileTest, ReadsStringsLikeThePlatform) {
  Put(file_, Lines(kSample, GetParam()));
  struct Case {
    std::string_view section, key, fallback;
    std::size_t buffer;
    std::string expected;
  } cases[] = {
      {"Version", "FormatVersion", "\x01", 260, "1.00"},
      {"VERSION", "formatversion", "\x01", 260, "1.00"},
      {"Version", "Quoted", "", 260, "  spaced  "},
      {"Version", "Single", "", 260, "x"},
      {"Version", "Unbalanced", "", 260, "\"abc"},
      {"Version", "Empty", "\x01", 260, ""},
      {"Version", "NoEquals", "\x01", 260, ""},
      {"Version", "Missing", "\x01", 260, "\x01"},
      {"Nowhere", "FormatVersion", "dflt", 260, "dflt"},
      {"Model", "nType", "", 260, "0x4a"},
      {"Model", ";nType", "none", 260, "none"},
      {"Version", "FormatVersion", "", 3, "1."},
      {"Version", "Missing", "abcdef", 3, "ab"},
      {"Version", "FormatVersion", "", 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetProfileString(file_, c.section, c.key, c.fallback, c.buffer), c.expected)
        << c.section << "/" << c.key << " buffer " << c.buffer;
  }
}

TEST_P(ProfileTest, ReadsIntegersLikeThePlatform) {
  Put(file_, Lines(kSample, GetParam()));
  struct Case {
    std::string_view section, key;
    std::int32_t fallback;
    std::uint32_t expected;
  } cases[] = {
      {"Model", "dwHeadPinNum", 0, 74},   {"Model", "Neg", 0, 0xFFFFFFFBu},
      {"Model", "Mixed", 0, 12},          {"Model", "Word", 9, 0},
      {"Model", "Hex", 0, 31},            {"Model", "Plus", 0, 7},
      {"Model", "Quoted", 0, 42},         {"Model", "nType", 0, 74},
      {"Version", "Empty", 7, 7},         {"Model", "Missing", -3, 0xFFFFFFFDu},
      {"Version", "FormatVersion", 0, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetProfileInt(file_, c.section, c.key, c.fallback), c.expected)
        << c.section << "/" << c.key;
  }
  EXPECT_EQ(GetProfileInt(root_.path() / "none.ini", "Model", "nType", 5), 5u);
  EXPECT_EQ(GetProfileString(root_.path() / "none.ini", "Model", "nType", "d"), "d");
}

INSTANTIATE_TEST_SUITE_P(LineEnds, ProfileTest, ::testing::Values("\r\n", "\n"));

struct WriteCase {
  const char* name;
  std::string before;  // "<none>": no file
  std::string section, key, value;
  std::string after;
};

class ProfileWriteTest : public ::testing::TestWithParam<WriteCase> {
 protected:
  testing::TempRoot root_;
};

TEST_P(ProfileWriteTest, EditsInPlace) {
  const WriteCase& c = GetParam();
  fs::path file = root_.path() / "w.ini";
  if (c.before != "<none>") Put(file, c.before);
  EXPECT_TRUE(WriteProfileString(file, c.section, c.key, c.value));
  EXPECT_EQ(Get(file), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWriteTest,
    ::testing::Values(
        WriteCase{"NewFile", "<none>", "Sec", "Key", "V", "[Sec]\r\nKey=V\r\n"},
        WriteCase{"ReplaceInPlace", "[A]\r\nx=1\r\ny=2\r\n[B]\r\nx=3\r\n", "a", "X", " 9 ",
                  "[A]\r\nX= 9 \r\ny=2\r\n[B]\r\nx=3\r\n"},
        WriteCase{"NewKeyAfterLastKey", "[A]\r\nx=1\r\n\r\n; about B\r\n[B]\r\nz=3\r\n", "a", "y",
                  "2", "[A]\r\nx=1\r\ny=2\r\n\r\n; about B\r\n[B]\r\nz=3\r\n"},
        WriteCase{"NewKeyInEmptySection", "[A]\r\n[B]\r\n", "A", "k", "v", "[A]\r\nk=v\r\n[B]\r\n"},
        WriteCase{"CommentIsNoKey", "[A]\r\n;x=1\r\n", "A", "x", "2", "[A]\r\nx=2\r\n;x=1\r\n"},
        WriteCase{"NewSectionAtEnd", "[A]\r\nx=1\r\n", "B", "k", "v",
                  "[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n"},
        WriteCase{"NoBlankAddedAfterBlank", "; head\r\n\r\n", "B", "k", "", "; head\r\n\r\n[B]\r\nk=\r\n"},
        WriteCase{"LfFileWithoutLastLineEnd", "[A]\nx=1", "A", "y", "2", "[A]\nx=1\r\ny=2\r\n"},
        WriteCase{"KeyOnlyInLaterSection", "[A]\r\nq=1\r\n[B]\r\nk=1\r\n", "A", "k", "2",
                  "[A]\r\nq=1\r\nk=2\r\n[B]\r\nk=1\r\n"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(ProfileWrite, RefusesWhatWouldBreakTheFile) {
  testing::TempRoot root;
  fs::path file = root.path() / "w.ini";
  const std::string before = "[A]\r\nx=1\r\n";
  Put(file, before);
  EXPECT_FALSE(WriteProfileString(file, "A", "k=y", "1"));
  EXPECT_FALSE(WriteProfileString(file, "A", "k", "1\r\n[B]"));
  EXPECT_FALSE(WriteProfileString(file, "A]", "k", "1"));
  EXPECT_FALSE(WriteProfileString(file, "", "k", "1"));
  EXPECT_FALSE(WriteProfileString(file, "A", " ", "1"));
  EXPECT_FALSE(WriteProfileString(file, "A", ";k", "1"));
  EXPECT_EQ(Get(file), before);

  ::chmod(file.c_str(), 0444);
  EXPECT_FALSE(WriteProfileString(file, "A", "x", "2"));
  EXPECT_EQ(Get(file), before);
  EXPECT_FALSE(WriteProfileString(root.path() / "no" / "w.ini", "A", "x", "2"));
}

TEST(ProfileWrite, FindsTheFileWithWindowsPathsInAnyCase) {
  testing::TempRoot root;
  fs::create_directory(root.path() / "Three");
  Put(root.path() / "Three" / "beKLM71.dat", "[Default Setting]\r\nCopies=1\r\n");
  std::string windows_path = root.path().string() + "\\three\\BEklm71.DAT";
  EXPECT_TRUE(WriteProfileString(windows_path, "default setting", "Contrast", "-5"));
  EXPECT_EQ(GetProfileInt(windows_path, "Default Setting", "Contrast", 0), 0xFFFFFFFBu);
  EXPECT_EQ(Get(root.path() / "Three" / "beKLM71.dat"),
            "[Default Setting]\r\nCopies=1\r\nContrast=-5\r\n");
}

// A source text is made by a comment block written directly, then sections
// written key by key with "0" and an empty line appended after each.
TEST(ProfileWrite, SectionsWrittenOneAfterAnotherStayInOrder) {
  testing::TempRoot root;
  fs::path file = root.path() / "KLM71ed.txt";
  Put(file, Lines({";****", ";", ";\tLM-7100 QMD Source File", ";****", ""}));
  auto section = [&](std::string_view name, std::vector<std::pair<std::string, std::string>> keys) {
    for (const auto& [k, v] : keys) ASSERT_TRUE(WriteProfileString(file, name, k, v));
    Append(file, "0\r\n\r\n");
  };
  section("Version", {{"FormatVersion", "1"}, {"ModelVersion", "2"}, {"OutputFileName", "KLM71ed.qmd"}});
  section("Model", {{"bySeriesCode", "0x34"}, {"byModelCode", "0x12"}});
  section("Paper00", {{"szPaperName_mm", "62mm"}, {"nType", "0x4a"}});
  section("Paper01", {{"szPaperName_mm", "29mm x 90mm"}, {"nType", "0x4b"}});
  EXPECT_EQ(Get(file), Lines({";****", ";", ";\tLM-7100 QMD Source File", ";****", "",
                              "[Version]", "FormatVersion=1", "ModelVersion=2",
                              "OutputFileName=KLM71ed.qmd", "0", "",
                              "[Model]", "bySeriesCode=0x34", "byModelCode=0x12", "0", "",
                              "[Paper00]", "szPaperName_mm=62mm", "nType=0x4a", "0", "",
                              "[Paper01]", "szPaperName_mm=29mm x 90mm", "nType=0x4b", "0", ""}));
  EXPECT_EQ(GetProfileInt(file, "paper01", "NTYPE", 0), 75u);
}

}  // namespace
}  // namespace klm::platform
