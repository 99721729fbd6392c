// The library as a deliverable sees it: loaded with dlopen, used through the
// function table that QMD_Initialize fills, files made by KLM71pc.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

#include "paper-data/paper_data_reader.h"
#include "paper-data/qmd_file.h"
#include "paper-data/test_fixtures.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/machine_root.h"
#include "platform/testing/temp_root.h"
#include "platform/win_errors.h"

namespace klm::paperdata {
namespace {

using testing::SampleHeader;
using testing::SamplePaper;

std::filesystem::path BinDir() {
  const char* env = std::getenv("KLM71_BUILD_BIN");
  return env != nullptr ? env : KLM71_TEST_BIN_DIR;
}

template <typename T>
T At(const std::uint8_t* record, std::size_t offset) {
  T v;
  std::memcpy(&v, record + offset, sizeof v);
  return v;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data_dir_ = platform::DriverDataDirectory();
    std::filesystem::create_directories(data_dir_);
    library_ = dlopen((BinDir() / "KLM71i6.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    auto init = reinterpret_cast<QmdInitializeWFn>(dlsym(library_, "QMD_InitializeW"));
    ASSERT_NE(init, nullptr);
    table_.size = sizeof table_;
    ASSERT_NE(init(&table_), 0);
  }
  void TearDown() override {
    if (library_ != nullptr) dlclose(library_);
  }

  // Runs KLM71pc on a source written from `papers`; returns its exit code.
  int Compile(const std::vector<SourcePaper>& papers, const std::string& out_name,
              const std::string& source_text = "") {
    const auto src = root_.path() / "src.txt";
    const std::string text =
        source_text.empty() ? *FormatSource(SampleHeader(), papers) : source_text;
    EXPECT_TRUE(platform::WriteFileAtomic(
        src, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
    const std::string command = (BinDir() / "KLM71pc").string() + " /S /L=" +
                                (root_.path() / "log.txt").string() + " " + src.string() + " " +
                                (data_dir_ / out_name).string();
    return WEXITSTATUS(std::system(command.c_str()));
  }

  QmdHandle Open(const std::u16string& path) {
    QmdHandle handle = nullptr;
    EXPECT_NE(table_.QMD_Open(&handle, path.c_str()), 0) << GetLastError();
    return handle;
  }

  // Size query then fill, as every caller does it.
  std::vector<std::uint8_t> Enum(QmdHandle handle, std::uint32_t level, std::uint32_t* count) {
    std::uint32_t needed = 0;
    EXPECT_EQ(table_.QMD_EnumPapers(handle, level, nullptr, 0, &needed, count), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, *count * RecordSize(level));
    std::vector<std::uint8_t> buffer(needed);
    if (needed > 0) {
      std::uint32_t short_needed = 0, short_count = 0;
      EXPECT_EQ(table_.QMD_EnumPapers(handle, level, buffer.data(), needed - 1, &short_needed,
                                      &short_count), 0);
      EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    }
    EXPECT_NE(table_.QMD_EnumPapers(handle, level, buffer.data(), needed, &needed, count), 0);
    return buffer;
  }

  klm::testing::TempRoot root_;
  std::filesystem::path data_dir_;
  void* library_ = nullptr;
  PaperDataTable table_{};
};

TEST_F(LibraryTest, FieldsOfTheSourceArriveAtTheirOffsetsAtEveryLevel) {
  SourcePaper split = SamplePaper(u"split", 514);
  split.head.wSplit = 1;
  split.nCompatiblePaperSizes = "513";
  split.dwPaperAbility01 = 0x2;
  split.lblPitchDot = 1015;
  ASSERT_EQ(Compile({SamplePaper(u"62mm x 29mm", 513), split}, "klm71ad.qmd"), 0)
      << ReadText(root_.path() / "log.txt");
  QmdHandle handle = Open(u"klm71ad.qmd");  // relative: the driver's folder "3"
  ASSERT_NE(handle, nullptr);

  std::uint8_t model[118] = {};
  std::uint32_t needed = 0;
  ASSERT_NE(table_.QMD_GetModel(handle, 1, model, sizeof model, &needed), 0);
  EXPECT_EQ(needed, 118u);
  EXPECT_EQ(model[0], '5');
  EXPECT_EQ(model[1], '1');
  EXPECT_EQ(At<char16_t>(model, 2), u'K');
  EXPECT_EQ(At<std::int16_t>(model, 90), 366);
  EXPECT_EQ(At<std::int16_t>(model, 92), 1528);
  EXPECT_EQ(At<std::int16_t>(model, 94), 1805);
  EXPECT_EQ(At<std::uint16_t>(model, 98), 300);
  EXPECT_EQ(At<std::uint16_t>(model, 100), 300);
  EXPECT_EQ(table_.QMD_GetModel(handle, 1, model, 117, &needed), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(table_.QMD_GetModel(handle, 2, model, sizeof model, &needed), 0);

  std::uint32_t count = 0;
  const auto l5 = Enum(handle, 5, &count);
  ASSERT_EQ(count, 2u);
  const std::uint8_t* r5 = l5.data() + 272;
  EXPECT_EQ(At<char16_t>(r5, 0), u's');
  EXPECT_EQ(At<char16_t>(r5, 128), u'2');
  EXPECT_EQ(At<std::int16_t>(r5, 192), 75);
  EXPECT_EQ(At<std::int16_t>(r5, 194), 514);
  EXPECT_EQ(At<std::int16_t>(r5, 196), 620);
  EXPECT_EQ(At<std::int16_t>(r5, 210), 307);
  EXPECT_EQ(At<std::uint16_t>(r5, 216), 550);
  EXPECT_EQ(At<std::uint16_t>(r5, 226), 1);
  EXPECT_EQ(At<std::int16_t>(r5, 228), 1);   // clip left
  EXPECT_EQ(At<std::int16_t>(r5, 230), 2);   // clip top
  EXPECT_EQ(At<std::int16_t>(r5, 236), -12);
  EXPECT_EQ(At<std::int16_t>(r5, 238), 7);
  EXPECT_EQ(At<std::int16_t>(r5, 240), 513);
  EXPECT_EQ(At<std::uint32_t>(r5, 248), 0x2u);

  const auto l1 = Enum(handle, 1, &count);
  ASSERT_EQ(count, 2u);
  const std::uint8_t* r1 = l1.data() + 252;
  EXPECT_EQ(std::memcmp(r1, r5, 236), 0);
  EXPECT_EQ(At<std::int16_t>(r1, 236), 513);
  EXPECT_EQ(At<std::uint32_t>(r1, 244), 0x2u);

  const auto l4 = Enum(handle, 4, &count);
  ASSERT_EQ(count, 2u);
  const std::uint8_t* r4 = l4.data() + 279;
  EXPECT_EQ(At<std::int16_t>(r4, 0x84), 620);
  EXPECT_EQ(At<std::uint16_t>(r4, 0x88), 1015);
  EXPECT_EQ(At<std::int16_t>(r4, 0x8A), 290);
  EXPECT_EQ(At<std::uint16_t>(r4, 0x8C), 193);
  EXPECT_EQ(r4[0x9A], 0x06);
  EXPECT_EQ(r4[0x9C], 2);
  EXPECT_EQ(r4[0x9D], 65);
  EXPECT_EQ(r4[0x9E], 1);
  EXPECT_EQ(At<std::uint16_t>(r4, 0xA7), 514);
  EXPECT_EQ(r4[0xA9 + 10 * 5], 3);                      // PresetBlkPos3_3 kind
  EXPECT_EQ(At<std::uint16_t>(r4, 0xA9 + 10 * 5 + 2), 2);
  EXPECT_EQ(r4[0xF5], 18);                               // reserved_12_
  EXPECT_EQ(At<std::uint16_t>(r4, 0x105), 732);
  EXPECT_EQ(At<std::uint16_t>(r4, 0x109), 49);
  EXPECT_EQ(At<std::uint32_t>(r4, 0x10B), 0x2u);

  EXPECT_EQ(table_.QMD_EnumPapers(handle, 3, nullptr, 0, &needed, &count), 0);
  EXPECT_NE(table_.QMD_Close(handle), 0);
  EXPECT_EQ(table_.QMD_Close(handle), 0);  // a closed handle is refused, not followed
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(LibraryTest, PresetFilePresentsTheCustomFormatsAfterThePresets) {
  ASSERT_EQ(Compile({SamplePaper(u"p1", 366), SamplePaper(u"p2", 367)}, "KLM71ad.qmd"), 0);
  ASSERT_EQ(Compile({SamplePaper(u"c1", 513)}, "KLM71ed.qmd"), 0);
  struct Case {
    std::u16string path;
    std::vector<std::int16_t> ids;
  };
  const std::u16string dir = platform::Utf8ToUtf16(data_dir_.string());
  for (const Case& c : {Case{u"klm71ad.qmd", {366, 367, 513}},
                        Case{dir + u"/KLM71AD.QMD", {366, 367, 513}},
                        Case{u"KLM71ed.qmd", {513}}}) {
    QmdHandle handle = Open(c.path);
    ASSERT_NE(handle, nullptr);
    std::uint32_t count = 0;
    const auto bytes = Enum(handle, 5, &count);
    ASSERT_EQ(count, c.ids.size());
    for (std::size_t i = 0; i < c.ids.size(); ++i) {
      EXPECT_EQ(At<std::int16_t>(bytes.data() + i * 272, 194), c.ids[i]);
    }
    table_.QMD_Close(handle);
  }
  // A damaged custom file leaves the presets usable.
  auto custom = *platform::ReadWholeFile(data_dir_ / "KLM71ed.qmd");
  custom.resize(custom.size() - 1);
  ASSERT_TRUE(platform::WriteFileAtomic(data_dir_ / "KLM71ed.qmd", custom));
  QmdHandle handle = Open(u"klm71ad.qmd");
  std::uint32_t count = 0;
  Enum(handle, 1, &count);
  EXPECT_EQ(count, 2u);
  table_.QMD_Close(handle);
}

TEST_F(LibraryTest, DamagedFilesAreRefusedByOpen) {
  ASSERT_EQ(Compile({SamplePaper()}, "klm71ad.qmd"), 0);
  const auto good = *platform::ReadWholeFile(data_dir_ / "klm71ad.qmd");
  auto flipped = good;
  flipped[flipped.size() / 2] ^= 0x10;
  auto truncated = good;
  truncated.resize(good.size() - 100);
  for (const auto& bytes : {flipped, truncated, std::vector<std::uint8_t>{}}) {
    ASSERT_TRUE(platform::WriteFileAtomic(data_dir_ / "bad.qmd", bytes));
    QmdHandle handle = reinterpret_cast<QmdHandle>(1);
    EXPECT_EQ(table_.QMD_Open(&handle, u"bad.qmd"), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
    EXPECT_EQ(handle, nullptr);
  }
  QmdHandle handle = nullptr;
  EXPECT_EQ(table_.QMD_Open(&handle, u"missing.qmd"), 0);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  std::uint32_t needed = 0, count = 0;
  int local = 0;
  EXPECT_EQ(table_.QMD_EnumPapers(&local, 5, nullptr, 0, &needed, &count), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(LibraryTest, AnsiFlavourAndTableSizeCheck) {
  auto init_a = reinterpret_cast<QmdInitializeAFn>(dlsym(library_, "QMD_InitializeA"));
  ASSERT_NE(init_a, nullptr);
  PaperDataTableA table{};
  table.size = 20;  // the 32-bit table cannot be served by this build
  EXPECT_EQ(init_a(&table), 0);
  EXPECT_EQ(table.QMD_Open, nullptr);
  table.size = sizeof table;
  ASSERT_NE(init_a(&table), 0);
  ASSERT_EQ(Compile({SamplePaper()}, "klm71ad.qmd"), 0);
  QmdHandle handle = nullptr;
  ASSERT_NE(table.QMD_Open(&handle, "klm71ad.qmd"), 0);
  std::uint32_t needed = 0, count = 0;
  EXPECT_EQ(table.QMD_EnumPapers(handle, 1, nullptr, 0, &needed, &count), 0);
  EXPECT_EQ(needed, 252u);
  EXPECT_EQ(count, 1u);
  EXPECT_NE(table.QMD_Close(handle), 0);
}

TEST_F(LibraryTest, ReaderWrapperServesBothInstallNames) {
  ASSERT_EQ(Compile({SamplePaper(u"a", 513), SamplePaper(u"b", 514)}, "klm71ad.qmd"), 0);
  std::filesystem::copy_file(BinDir() / "KLM71i6.so", data_dir_ / "KLM71i6.so");
  std::filesystem::copy_file(BinDir() / "KLM71i6.so", data_dir_ / "KLM71i3.so");
  const std::uint32_t levels[] = {4, 1};
  auto a = ReadPaperDataA(data_dir_ / "KLM71i3.dll", "klm71ad.qmd", levels);
  ASSERT_TRUE(a) << a.error().message;
  EXPECT_TRUE(a->model_ok);
  EXPECT_EQ(+a->model.bySeriesCode, '5');
  ASSERT_EQ(a->levels.size(), 2u);
  for (const PaperLevelData& level : a->levels) {
    EXPECT_FALSE(level.query_ok);
    EXPECT_EQ(level.query_error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(level.count, 2u);
    EXPECT_TRUE(level.filled);
  }
  EXPECT_EQ(+RecordsOf<PaperRegRecord>(a->levels[0])[1].wPafMediaID, 514);
  EXPECT_EQ(+RecordsOf<PaperRecord1>(a->levels[1])[0].head.wPinOffsetLeft, 550);

  const std::uint32_t level5[] = {5};
  auto w = ReadPaperDataW(data_dir_ / "klm71i6.DLL", u"klm71ad.qmd", level5);
  ASSERT_TRUE(w);
  EXPECT_EQ(+RecordsOf<PaperRecord>(w->levels[0]).size(), 2u);
  auto missing = ReadPaperDataW(data_dir_ / "KLM71i9.dll", u"klm71ad.qmd", level5);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, ERROR_MOD_NOT_FOUND);
  auto unopened = ReadPaperDataW(data_dir_ / "KLM71i6.dll", u"none.qmd", level5);
  ASSERT_FALSE(unopened);
  EXPECT_EQ(unopened.error().code, ERROR_FILE_NOT_FOUND);
}

TEST_F(LibraryTest, CompilerLeavesNoOutputWhenTheSourceHasAProblem) {
  ASSERT_EQ(Compile({SamplePaper()}, "KLM71ed.qmd"), 0);
  ASSERT_TRUE(std::filesystem::exists(data_dir_ / "KLM71ed.qmd"));
  std::string text = *FormatSource(SampleHeader(), std::vector{SamplePaper()});
  text.replace(text.find("nPaperWidth=620"), 15, "nPaperWidth=62,0");
  EXPECT_NE(Compile({}, "KLM71ed.qmd", text), 0);
  EXPECT_FALSE(std::filesystem::exists(data_dir_ / "KLM71ed.qmd"));
  const std::string log = ReadText(root_.path() / "log.txt");
  EXPECT_NE(log.find("src.txt: [Paper00] nPaperWidth: \"62,0\" is not a number"), std::string::npos)
      << log;
}

}  // namespace
}  // namespace klm::paperdata
