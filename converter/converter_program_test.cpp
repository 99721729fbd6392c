// Runs the built KLM71cv on QMD files compiled by the built KLM71pc, through
// the real paper-data library (or, for what that library never reports, a
// fake one) placed in a fresh machine root's driver folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "converter/testing/qmd_fixture.h"
#include "platform/testing/temp_root.h"

namespace klm::converter {
namespace {

namespace fs = std::filesystem;
using testing::QmdSource;
using testing::RunOptions;

constexpr int kArgumentFailure = 255;  // exit code -1 as the system reports it

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> FilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(folder)) files.push_back(e.path().filename());
  return files;
}

class ConverterProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    work_ = root_.path() / "work";
    fs::create_directories(work_);
  }

  void UseRealLibrary() { testing::InstallPaperDataLibrary(KLM71_PAPERDATA_LIBRARY); }
  void UseFakeLibrary() { testing::InstallPaperDataLibrary(KLM71_FAKE_PAPERDATA_LIBRARY); }

  fs::path Compile(const QmdSource& source, const std::string& name = "in.qmd") {
    const fs::path qmd = work_ / name;
    std::string log;
    EXPECT_TRUE(testing::CompileQmd(source, qmd, &log)) << log;
    return qmd;
  }

  int Convert(const std::vector<std::string>& args, const RunOptions& options = {}) {
    return testing::RunProgram(testing::BuildBin() / "KLM71cv", args, options);
  }

  klm::testing::TempRoot root_;
  fs::path work_;
};

QmdSource ThreePapers() {
  QmdSource s;
  s.papers = {{{"nPaperSize", "343"}, {"nPaperWidth", "1015"}, {"nPaperLength", "290"},
               {"wPinOffsetLeft", "564"}},
              {{"nPaperSize", "344"}, {"nPaperWidth", "1014"}, {"nPaperLength", "1525"},
               {"wPinOffsetLeft", "600"}, {"byHeadDivide", "0x07"}},
              {{"nPaperSize", "345"}, {"nPaperWidth", "-7"}, {"nPaperLength", "0"},
               {"wPinOffsetLeft", "1152"}, {"byEnergyRank", "3"}}};
  return s;
}

TEST_F(ConverterProgram, ThreePapersGiveHeaderCountAndEntries) {
  UseRealLibrary();
  const fs::path qmd = Compile(ThreePapers());
  const fs::path out = work_ / "pdt0115.bin";
  ASSERT_EQ(Convert({qmd.string(), out.string()}), 0);
  const auto bytes = ReadBytes(out);
  ASSERT_EQ(bytes.size(), 386u);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 5),
            (std::vector<std::uint8_t>{0x1B, 0x69, 0x55, 0x77, 0x03}));
  struct Expected {
    std::uint8_t head_divide, energy_rank, width_mm;
    std::uint16_t length_mm, pin_offset_left, media_id;
  };
  const Expected expected[] = {{0x06, 2, 102, 29, 564, 343},
                               {0x07, 2, 101, 153, 600, 343},
                               {0x06, 3, 0, 0, 1152, 343}};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const std::uint8_t* e = bytes.data() + 5 + 127 * i;
    EXPECT_EQ(e[0], expected[i].head_divide);
    EXPECT_EQ(e[1], expected[i].energy_rank);
    EXPECT_EQ(e[2], expected[i].width_mm);
    EXPECT_EQ(e[3] | e[4] << 8, expected[i].length_mm);
    EXPECT_EQ(e[5], 62);  // byRollWidMm
    EXPECT_EQ(e[6] | e[7] << 8, expected[i].pin_offset_left);
    EXPECT_EQ(e[21] | e[22] << 8, expected[i].media_id);
    // Preset block 2_2 "2,912,348,0,0" packed to 9 bytes.
    EXPECT_EQ(std::vector<std::uint8_t>(e + 41, e + 50),
              (std::vector<std::uint8_t>{2, 0x90, 0x03, 0x5C, 0x01, 0, 0, 0, 0}));
  }
}

TEST_F(ConverterProgram, ArgumentsAreCountedAndMeasuredBeforeAnythingElse) {
  // No library in the driver folder: an argument failure must come first.
  const fs::path out = work_ / "out.bin";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exit_code;
  };
  const std::string long_path = (work_ / std::string(300, 'x')).string().substr(0, 259);
  const Case cases[] = {
      {"no argument", {}, kArgumentFailure},
      {"one argument", {out.string()}, kArgumentFailure},
      {"input of 259 characters", {long_path, out.string()}, kArgumentFailure},
      {"output of 259 characters", {out.string(), long_path}, kArgumentFailure},
      {"no library", {(work_ / "in.qmd").string(), out.string()}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Convert(c.args), c.exit_code);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(long_path));
  }
}

TEST_F(ConverterProgram, AcceptsPathsOf258CharactersAndStripsQuotes) {
  UseRealLibrary();
  const fs::path qmd = Compile(ThreePapers());
  // Folders of 100 characters keep every component within the file-name limit.
  std::string path = work_.string();
  for (int i = 0; path.size() + 151 < 258; ++i) path += "/" + std::string(100 - i, 'd');
  fs::create_directories(path);
  path += "/" + std::string(258 - path.size() - 1, 'o');
  ASSERT_EQ(path.size(), 258u);
  EXPECT_EQ(Convert({qmd.string(), path}), 0);
  EXPECT_EQ(fs::file_size(path), 386u);

  const fs::path quoted = work_ / "quoted out.bin";
  EXPECT_EQ(Convert({"\"" + qmd.string() + "\"", "\"" + quoted.string() + "\""}), 0);
  EXPECT_EQ(fs::file_size(quoted), 386u);

  // Two quotes alone are a name, not an empty quoted path.
  RunOptions in_work;
  in_work.working_directory = work_;
  EXPECT_EQ(Convert({qmd.string(), "\"\""}, in_work), 0);
  EXPECT_EQ(fs::file_size(work_ / "\"\""), 386u);
}

TEST_F(ConverterProgram, WritesNothingForDataItCannotConvert) {
  UseRealLibrary();
  struct Case {
    const char* what;
    QmdSource source;
  };
  QmdSource other_series = ThreePapers();
  other_series.model["bySeriesCode"] = "6";
  QmdSource other_model = ThreePapers();
  other_model.model["byModelCode"] = "2";
  QmdSource swapped = ThreePapers();
  swapped.model["bySeriesCode"] = "1";
  swapped.model["byModelCode"] = "5";
  const Case cases[] = {{"series 6", other_series},
                        {"model 2", other_model},
                        {"codes swapped", swapped},
                        {"no papers", QmdSource{}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path qmd = Compile(c.source);
    const fs::path out = work_ / "out.bin";
    EXPECT_EQ(Convert({qmd.string(), out.string()}), 0);
    EXPECT_FALSE(fs::exists(out));
    // Nor may the output of an earlier run pass for this run's.
    std::ofstream(out, std::ios::binary) << "earlier";
    EXPECT_EQ(Convert({qmd.string(), out.string()}), 0);
    EXPECT_FALSE(fs::exists(out));
  }
  EXPECT_EQ(Convert({(work_ / "missing.qmd").string(), (work_ / "out.bin").string()}), 0);
  EXPECT_FALSE(fs::exists(work_ / "out.bin"));
}

TEST_F(ConverterProgram, RefusesLevelsThatDisagreeOrOverflowTheCount) {
  UseFakeLibrary();
  struct Case {
    const char* papers;
    const char* short_level;
    std::size_t size;  // 0: no file
  };
  const Case cases[] = {
      {"3,3", "", 5 + 3 * 127},
      {"255,255", "", 5 + 255 * 127},
      {"256,256", "", 0},
      {"300,300", "", 0},
      {"3,2", "", 0},
      {"2,3", "", 0},
      {"3,3", "4", 0},
      {"3,3", "1", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.papers) + " short " + c.short_level);
    const fs::path out = work_ / "out.bin";
    RunOptions options;
    options.env = {{"KLM71_FAKE_PAPERS", c.papers}, {"KLM71_FAKE_SHORT", c.short_level}};
    EXPECT_EQ(Convert({"any.qmd", out.string()}, options), 0);
    if (c.size == 0) {
      EXPECT_FALSE(fs::exists(out));
      continue;
    }
    const auto bytes = ReadBytes(out);
    ASSERT_EQ(bytes.size(), c.size);
    EXPECT_EQ(bytes[4], static_cast<std::uint8_t>(c.size / 127));
    // Records are paired by index: entry i holds paper i of both levels.
    for (std::size_t i = 0; i < bytes[4]; ++i) {
      EXPECT_EQ(bytes[5 + 127 * i], static_cast<std::uint8_t>(i));
      EXPECT_EQ(bytes[5 + 127 * i + 6], static_cast<std::uint8_t>(i));
    }
    fs::remove(out);
  }
}

TEST_F(ConverterProgram, AWriteThatFailsPartWayLeavesNoFile) {
  UseRealLibrary();
  const fs::path qmd = Compile(ThreePapers());
  const fs::path out_dir = work_ / "out";
  fs::create_directories(out_dir);
  const fs::path out = out_dir / "pdt0115.bin";
  std::ofstream(out, std::ios::binary) << "earlier";
  RunOptions limited;
  limited.file_size_limit = 200;  // the file needs 386 bytes
  EXPECT_EQ(Convert({qmd.string(), out.string()}, limited), 0);
  EXPECT_EQ(FilesIn(out_dir), std::vector<fs::path>{});
}

}  // namespace
}  // namespace klm::converter
