// The capability and print queries as a spooler asks them: the built KLM71ui
// library loaded through the module loader from a driver directory that
// `klm71 install` laid out, with a printer added by `klm71 printer add`.
#include "driver-ui/capabilities.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "driver-ui/devmode_init.h"
#include "driver-ui/devmode_layout.h"
#include "driver-ui/devmode_merge.h"
#include "driver-ui/fixed_text.h"
#include "driver-ui/print_query.h"
#include "driver-ui/user_formats.h"
#include "platform/locale.h"
#include "platform/machine_root.h"
#include "platform/module.h"
#include "platform/spooler.h"
#include "platform/testing/temp_root.h"
#include "resources/resource_library.h"

namespace klm::driver {
namespace {

namespace fs = std::filesystem;

using DeviceCapabilitiesFn = std::uint32_t (*)(void*, const char16_t*, std::uint16_t, void*, const void*);
using DevQueryPrintExFn = int (*)(DevQueryPrintInfo*);

constexpr const char* kPrinter = "LM-7100";
constexpr std::uint32_t kFailed = 0xFFFFFFFF;

int Klm71(const std::string& args) {
  const std::string command = "'" + (fs::path(std::getenv("KLM71_BUILD_BIN")) / "klm71").string() + "' " + args +
                              " >/dev/null 2>&1";
  return std::system(command.c_str());
}

UserFormat Format(const char* name, std::int32_t base_id, std::uint32_t length_hundredth_mm) {
  UserFormat f;
  std::memset(&f, 0, sizeof f);
  std::strncpy(f.name, name, sizeof f.name - 1);
  f.base_paper_id = base_id;
  f.length_hundredth_mm = length_hundredth_mm;
  return f;
}

class InstalledDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KLM71_ADMIN", "1", 1);
    ASSERT_TRUE(platform::SetLocaleOverride("measure", "0"));
    ASSERT_TRUE(platform::SetLocaleOverride("codepage", "1252"));
    ASSERT_EQ(Klm71("install"), 0);
    ASSERT_EQ(Klm71(std::string("printer add ") + kPrinter + " --port COM1:"), 0);
    auto module = platform::LoadModule(platform::DriverDataDirectory() / "KLM71ui.dll");
    ASSERT_TRUE(module) << module.error().message;
    module_ = *module;
    caps_ = reinterpret_cast<DeviceCapabilitiesFn>(platform::GetSymbol(module_, "DrvDeviceCapabilities"));
    query_ = reinterpret_cast<DevQueryPrintExFn>(platform::GetSymbol(module_, "DevQueryPrintEx"));
    ASSERT_TRUE(caps_ && query_);
    auto printer = platform::OpenPrinter(kPrinter);
    ASSERT_TRUE(printer) << printer.error().message;
    printer_ = *printer;
  }
  void TearDown() override {
    if (printer_) platform::ClosePrinter(printer_);
    if (module_) (void)platform::FreeModule(module_);
    unsetenv("KLM71_ADMIN");
  }

  std::uint32_t Caps(std::uint16_t index, void* output = nullptr, const void* devmode = nullptr) {
    return caps_(printer_, u"LM-7100", index, output, devmode);
  }
  // The papers of the installed catalogue, as an application counts them.
  int CatalogueEntries() {
    auto c = ReadCatalogueStandalone(printer_);
    EXPECT_TRUE(c);
    return c ? (*c)->catalogue.count : 0;
  }
  // A resource library whose bin name is longer than its slot.
  void InstallResourceLibrary(std::string_view bin_name) {
    res::LibraryBuilder builder;
    builder.AddString(1003, "en", bin_name);
    builder.AddString(2107, "en", "Custom size");
    const auto bytes = builder.Serialize();
    std::FILE* f = std::fopen((platform::DriverDataDirectory() / "KLM71r.dll").c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  Devmode DriverDefault() {
    auto c = ReadCatalogueStandalone(printer_);
    Devmode d;
    InitDevmode(d, u"LM-7100", (*c)->catalogue);
    return d;
  }

  klm::testing::TempRoot root_;
  platform::Module* module_ = nullptr;
  platform::PrinterHandle* printer_ = nullptr;
  DeviceCapabilitiesFn caps_ = nullptr;
  DevQueryPrintExFn query_ = nullptr;
};

TEST_F(InstalledDriver, ConstantsNeedNoPaperData) {
  std::filesystem::remove(platform::DriverDataDirectory() / "klm71ad.qmd");
  struct Case { std::uint16_t index; std::uint32_t answer; };
  const Case cases[] = {
      {DC_FIELDS, 0x1650F}, {DC_DUPLEX, 0}, {DC_SIZE, 220}, {DC_EXTRA, 276}, {DC_VERSION, 0x0401},
      {DC_DRIVER, 0x0500}, {DC_FILEDEPENDENCIES, 0}, {DC_TRUETYPE, 6}, {DC_ORIENTATION, 90},
      {DC_COPIES, 9999}, {DC_PRINTRATE, 40}, {DC_PRINTRATEUNIT, 4}, {DC_STAPLE, 0}, {DC_COLORDEVICE, 0},
      // Without paper data everything else fails, and so do unknown indexes.
      {DC_PAPERS, kFailed}, {DC_MINEXTENT, kFailed}, {DC_BINS, kFailed}, {DC_MEDIAREADY, kFailed},
      {19, kFailed}, {0, kFailed}, {0xFFFF, kFailed},
  };
  for (const auto& c : cases) EXPECT_EQ(Caps(c.index), c.answer) << c.index;
  char16_t dependencies[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(Caps(DC_FILEDEPENDENCIES, dependencies), 0u);
  EXPECT_EQ(dependencies[0], 0);
  std::uint16_t untouched[4] = {7, 7, 7, 7};
  EXPECT_EQ(Caps(DC_PAPERS, untouched), kFailed);
  EXPECT_EQ(untouched[0], 7);
}

TEST_F(InstalledDriver, PapersListEntriesCustomSizeAndTheGroupsUserFormats) {
  const std::vector<UserFormat> formats = {Format("Shelf", 345, 5000), Format("Jar", 366, 3000),
                                           Format("Box", 9999, 12345)};
  ASSERT_TRUE(WriteUserFormats(formats));
  const int entries = CatalogueEntries();
  ASSERT_GT(entries, 0);
  const auto count = static_cast<std::uint32_t>(entries + 1 + 3);
  EXPECT_EQ(Caps(DC_PAPERS), count);
  EXPECT_EQ(Caps(DC_PAPERNAMES), count);
  EXPECT_EQ(Caps(DC_PAPERSIZE), count);

  std::vector<std::uint16_t> ids(count + 1, 0xEEEE);
  ASSERT_EQ(Caps(DC_PAPERS, ids.data()), count);
  EXPECT_EQ(ids[count - 4], 256);
  EXPECT_EQ(ids[count - 3], 317);
  EXPECT_EQ(ids[count - 2], 318);
  EXPECT_EQ(ids[count - 1], 319);
  EXPECT_EQ(ids[count], 0xEEEE);  // nothing beyond the answer

  std::vector<std::int32_t> sizes(2 * count + 1, -7);
  ASSERT_EQ(Caps(DC_PAPERSIZE, sizes.data()), count);
  const auto size_of = [&](std::uint32_t i) { return std::pair(sizes[2 * i], sizes[2 * i + 1]); };
  EXPECT_EQ(size_of(count - 3).second, 500);          // a format on a tape: its own length
  EXPECT_EQ(size_of(count - 2), std::pair(1016, 1528));  // on a label: the label's size
  EXPECT_EQ(size_of(count - 1), std::pair(0, 1234));  // base paper unknown: width 0
  EXPECT_EQ(sizes[2 * count], -7);

  std::vector<char16_t> names(64 * count, u'?');
  ASSERT_EQ(Caps(DC_PAPERNAMES, names.data()), count);
  const auto name_of = [&](std::uint32_t i) { return std::u16string(names.data() + 64 * i); };
  EXPECT_FALSE(name_of(count - 4).empty());  // the custom size, from the resource library
  EXPECT_EQ(name_of(count - 3), u"Shelf");
  EXPECT_EQ(name_of(count - 1), u"Box");
  EXPECT_EQ(names[64 * count - 1], 0);  // every slot zero-filled
}

TEST_F(InstalledDriver, PaperListWithoutDevmodeGivesTheDefaultCustomSize) {
  auto c = ReadCatalogueStandalone(printer_);
  ASSERT_TRUE(c);
  const PaperCatalogue& catalogue = (*c)->catalogue;
  const int n = ListPapers(catalogue, {}, nullptr, {});
  std::vector<std::int32_t> sizes(2 * n);
  std::vector<std::uint16_t> ids(n);
  ASSERT_EQ(ListPapers(catalogue, {}, nullptr, {{}, ids, sizes}), n);
  EXPECT_EQ(ids[n - 1], 256);
  EXPECT_EQ(sizes[2 * n - 2], 1016);
  EXPECT_EQ(sizes[2 * n - 1], 1528);
  // Outputs too small for the list are written only as far as they reach.
  std::vector<std::uint16_t> few(2, 0);
  EXPECT_EQ(ListPapers(catalogue, {}, nullptr, {{}, few, {}}), n);
}

TEST_F(InstalledDriver, PaperAndExtentQueriesNeedTheFormList) {
  // Forms are always there in this stand-in; a printer handle it does not
  // know still fails the catalogue first.
  EXPECT_EQ(Caps(DC_MINEXTENT), static_cast<std::uint32_t>((120 << 16) | 120));
  EXPECT_EQ(Caps(DC_MAXEXTENT), static_cast<std::uint32_t>((30000 << 16) | 3974));
  EXPECT_EQ(caps_(nullptr, u"LM-7100", DC_PAPERS, nullptr, nullptr), kFailed);
}

TEST_F(InstalledDriver, BinsResolutionsAndBinNamesCutTo24Characters) {
  std::uint16_t bin = 0;
  EXPECT_EQ(Caps(DC_BINS, &bin), 1u);
  EXPECT_EQ(bin, 15);
  std::int32_t resolutions[3] = {0, 0, -1};
  EXPECT_EQ(Caps(DC_ENUMRESOLUTIONS, resolutions), 1u);
  EXPECT_EQ(resolutions[0], 300);
  EXPECT_EQ(resolutions[1], 300);
  EXPECT_EQ(resolutions[2], -1);

  // The installed resource library names the bin; a longer name is cut to its slot.
  std::vector<char16_t> name(30, u'?');
  EXPECT_EQ(Caps(DC_BINNAMES, name.data()), 1u);
  EXPECT_NE(name[0], 0);
  InstallResourceLibrary("Automatic feed through the front slot");
  EXPECT_EQ(Caps(DC_BINNAMES), 1u);
  EXPECT_EQ(Caps(DC_BINNAMES, name.data()), 1u);
  EXPECT_EQ(std::u16string(name.data(), 24), u"Automatic feed through t");
  EXPECT_EQ(name[24], u'?');
  InstallResourceLibrary("Auto");
  std::fill(name.begin(), name.end(), u'?');
  EXPECT_EQ(Caps(DC_BINNAMES, name.data()), 1u);
  EXPECT_EQ(std::u16string(name.data()), u"Auto");
  EXPECT_EQ(name[23], 0);
}

TEST_F(InstalledDriver, MediaReadyNamesTheDevmodesPaper) {
  Devmode d = DriverDefault();
  char16_t name[64];
  std::fill(std::begin(name), std::end(name), u'?');
  EXPECT_EQ(Caps(DC_MEDIAREADY, name, &d), 1u);
  EXPECT_EQ(std::u16string(name), u"102mm x 152mm");
  EXPECT_EQ(name[FieldText(name).size() + 1], u'?');  // the name and its terminator only

  // A custom size is no catalogue paper: no name, but the count without buffer.
  d.pub.dmPaperSize = 256;
  d.pub.dmFields = DM_PAPERSIZE;
  name[0] = u'?';
  EXPECT_EQ(Caps(DC_MEDIAREADY, name, &d), kFailed);
  EXPECT_EQ(name[0], u'?');
  EXPECT_EQ(Caps(DC_MEDIAREADY, nullptr, &d), 1u);
}

TEST_F(InstalledDriver, CapabilitiesSurviveAHostileDevmode) {
  Devmode d = DriverDefault();
  d.priv.TableBase = 0x7FFFFFFF;
  d.priv.EntryId = -32000;
  d.pub.dmPaperSize = 256;
  d.pub.dmPaperLength = -1;
  std::vector<std::int32_t> sizes(2 * 64);
  const std::uint32_t n = Caps(DC_PAPERSIZE, sizes.data(), &d);
  ASSERT_NE(n, kFailed);
  ASSERT_LE(n, 64u);
}

TEST_F(InstalledDriver, QueriesStartFromThePrintersDefaultDevmode) {
  Devmode printer_default = DriverDefault();
  printer_default.pub.dmPaperSize = 345;  // the 62 mm tape
  {
    platform::ScopedPrinter admin(*platform::OpenPrinter(kPrinter, platform::PRINTER_ALL_ACCESS));
    ASSERT_TRUE(platform::SetPrinterDevmode(admin.get(), printer_default.Bytes()));
  }
  char16_t name[64] = {};
  EXPECT_EQ(Caps(DC_MEDIAREADY, name), 1u);
  EXPECT_EQ(std::u16string(name), u"62mm");
  // The caller's DEVMODE is merged on top.
  Devmode caller = DriverDefault();
  EXPECT_EQ(Caps(DC_MEDIAREADY, name, &caller), 1u);
  EXPECT_EQ(std::u16string(name), u"102mm x 152mm");
}

TEST_F(InstalledDriver, MergeRefreshesBidiAndSetMediaAndTakesTheUsersDefault) {
  auto standalone = ReadCatalogueStandalone(printer_);
  ASSERT_TRUE(standalone);
  const PaperCatalogue& catalogue = (*standalone)->catalogue;
  // `klm71 printer add` makes a bidirectional printer; this one is not.
  ASSERT_TRUE(platform::AddPrinter({"Plain", "Koravel LM-7100", "COM2:", platform::PRINTER_ATTRIBUTE_LOCAL}));
  platform::ScopedPrinter plain(*platform::OpenPrinter("Plain"));
  {
    platform::ScopedPrinter admin(*platform::OpenPrinter(kPrinter, platform::PRINTER_ALL_ACCESS));
    ASSERT_TRUE(platform::SetPrinterData(admin.get(), "SetMedia", platform::RegValue::Dword(0x101)));
  }

  Devmode in = DriverDefault();
  in.priv.BidiEnabled = 7;
  in.priv.SetMedia = 9;
  Devmode w = DriverDefault();
  ASSERT_TRUE(MergeDevmode(w, in.Bytes(), MakeMergeTables(printer_, catalogue, {}, 366)));
  EXPECT_EQ(w.priv.BidiEnabled, 1);
  EXPECT_EQ(w.priv.SetMedia, 1);
  w = DriverDefault();
  ASSERT_TRUE(MergeDevmode(w, in.Bytes(), MakeMergeTables(plain.get(), catalogue, {}, 366)));
  EXPECT_EQ(w.priv.BidiEnabled, 0);  // no bidirectional attribute
  EXPECT_EQ(w.priv.SetMedia, 9);     // no "SetMedia" value: the incoming one stays

  // The per-user default stands in for a paper the catalogue lacks.
  Devmode user = DriverDefault();
  user.pub.dmPaperSize = 345;
  user.priv.EntryId = static_cast<std::int16_t>(FindPaper(catalogue, 345).index);
  ASSERT_TRUE(platform::SetUserDevmode(printer_, user.Bytes()));
  const MergeTables t = MakeMergeTables(printer_, catalogue, {}, 366);
  ASSERT_TRUE(t.user_default);
  in.pub.dmPaperSize = 999;
  w = DriverDefault();
  ASSERT_TRUE(MergeDevmode(w, in.Bytes(), t));
  EXPECT_EQ(w.pub.dmPaperSize, 345);
  user.priv.Signature = 0;
  ASSERT_TRUE(platform::SetUserDevmode(printer_, user.Bytes()));
  EXPECT_FALSE(MakeMergeTables(printer_, catalogue, {}, 366).user_default);
}

DevmodePublic Portrait(std::int16_t width, std::int16_t length) {
  DevmodePublic d;
  std::memset(&d, 0, sizeof d);
  d.dmFields = DM_PAPERWIDTH | DM_PAPERLENGTH | DM_ORIENTATION;
  d.dmOrientation = 1;
  d.dmPaperWidth = width;
  d.dmPaperLength = length;
  return d;
}

TEST_F(InstalledDriver, FormsMatchWithinOneMillimetre) {
  ASSERT_TRUE(platform::AddForm({"Label 4x6", 0, 101600, 152400, 0, 0, 101600, 152400}));
  struct Case { std::int16_t width, length; FormMatch match; };
  const Case cases[] = {
      {1009, 1520, FormMatch::Form},    // 0.7 mm and 0.4 mm off
      {1006, 1534, FormMatch::Form},    // exactly 1 mm each way
      {1005, 1520, FormMatch::Custom},  // 1.1 mm narrower
  };
  for (const auto& c : cases) {
    DevmodePublic d = Portrait(c.width, c.length);
    platform::FormInfo form;
    EXPECT_EQ(FindFormForDevmode(printer_, d, form), c.match) << c.width;
    if (c.match == FormMatch::Form) {
      EXPECT_EQ(form.name, "Label 4x6");
      EXPECT_EQ(d.dmPaperWidth, 1016);
      EXPECT_EQ(d.dmPaperLength, 1524);
      EXPECT_EQ(FieldText(d.dmFormName), u"Label 4x6");
      EXPECT_TRUE(d.dmFields & DM_FORMNAME);
    } else {
      EXPECT_TRUE(form.name.empty());
      EXPECT_EQ(form.width_um, c.width * 100);
      EXPECT_EQ(form.bottom_um, c.length * 100);
    }
  }
  // Landscape exchanges width and length.
  DevmodePublic d = Portrait(1520, 1009);
  d.dmOrientation = 2;
  platform::FormInfo form;
  EXPECT_EQ(FindFormForDevmode(printer_, d, form), FormMatch::Form);
  EXPECT_EQ(d.dmPaperWidth, 1524);
}

TEST_F(InstalledDriver, FormsByNumberAndByName) {
  auto forms = platform::EnumForms(printer_);
  ASSERT_TRUE(forms && forms->size() > 3);
  DevmodePublic d;
  std::memset(&d, 0, sizeof d);
  d.dmFields = DM_PAPERSIZE;
  d.dmPaperSize = 3;
  d.dmOrientation = 1;
  platform::FormInfo form;
  EXPECT_EQ(FindFormForDevmode(printer_, d, form), FormMatch::Form);
  EXPECT_EQ(form.name, (*forms)[2].name);
  d.dmPaperSize = static_cast<std::int16_t>(forms->size() + 1);
  EXPECT_EQ(FindFormForDevmode(printer_, d, form), FormMatch::Undecided);

  d.dmFields = DM_FORMNAME;
  SetField(d.dmFormName, u"a4");
  EXPECT_EQ(FindFormForDevmode(printer_, d, form), FormMatch::Form);
  EXPECT_EQ(form.name, "A4");
  d.dmFields = 0;
  EXPECT_EQ(FindFormForDevmode(printer_, d, form), FormMatch::Undecided);
}

std::vector<std::uint8_t> TrayTable(const std::vector<std::u16string>& forms, bool terminated = true) {
  std::vector<std::uint8_t> b = {0, 0};
  const auto put = [&](std::u16string_view s) {
    for (char16_t c : s) b.push_back(static_cast<std::uint8_t>(c)), b.push_back(static_cast<std::uint8_t>(c >> 8));
    b.push_back(0), b.push_back(0);
  };
  for (const auto& f : forms) {
    put(u"Tray");
    put(f);
    put(u"");
    b.push_back(1), b.push_back(0);
  }
  if (terminated) b.push_back(0), b.push_back(0);
  b[0] = static_cast<std::uint8_t>(b.size());
  b[1] = static_cast<std::uint8_t>(b.size() >> 8);
  return b;
}

TEST(TrayFormTable, WalkStaysWithinTheBytesAndTheSizeWord) {
  EXPECT_EQ(FindTrayForm(TrayTable({}), u"A4"), TrayFormLookup::NotLoaded);
  EXPECT_EQ(FindTrayForm(TrayTable({u"Letter", u"A4"}), u"A4"), TrayFormLookup::Loaded);
  EXPECT_EQ(FindTrayForm(TrayTable({u"Letter"}), u"a4"), TrayFormLookup::NotLoaded);  // exact names
  EXPECT_EQ(FindTrayForm(TrayTable({u"Letter"}, false), u"A4"), TrayFormLookup::Malformed);
  auto table = TrayTable({u"Letter", u"A4"});
  // A size word shorter than the entries cuts the walk off inside them.
  table[0] = 10;
  EXPECT_EQ(FindTrayForm(table, u"A4"), TrayFormLookup::Malformed);
  // Bytes cut inside a string, inside the flag word, and none at all.
  const auto whole = TrayTable({u"A4"});
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{5}, whole.size() - 4}) {
    EXPECT_EQ(FindTrayForm(std::span(whole).first(n), u"A4"), TrayFormLookup::Malformed) << n;
  }
}

class QueryPrint : public InstalledDriver {
 protected:
  void SetTrayTable(const std::vector<std::uint8_t>& table, std::uint32_t size) {
    platform::ScopedPrinter admin(*platform::OpenPrinter(kPrinter, platform::PRINTER_ALL_ACCESS));
    ASSERT_TRUE(platform::SetPrinterData(admin.get(), "TrayFormSize", platform::RegValue::Dword(size)));
    ASSERT_TRUE(platform::SetPrinterData(admin.get(), "TrayFormTable", platform::RegValue::Binary(table)));
  }
  int Ask(const Devmode* d, std::vector<char16_t>& text, DevQueryPrintInfo& info) {
    info = DevQueryPrintInfo{sizeof info, 1, printer_, d, text.data(), static_cast<std::uint32_t>(text.size()), 0};
    return query_(&info);
  }
  // A job whose 101.6 x 152.4 mm portrait page is a spooler form.
  Devmode Job() {
    Devmode d = DriverDefault();
    d.pub.dmOrientation = 1;
    d.pub.dmPaperWidth = 1016;
    d.pub.dmPaperLength = 1524;
    return d;
  }
};

TEST_F(QueryPrint, EmptyTrayTableHoldsAJobWhoseFormMatches) {
  ASSERT_TRUE(platform::AddForm({"Label 4x6", 0, 101600, 152400, 0, 0, 101600, 152400}));
  SetTrayTable({4, 0, 0, 0}, 4);
  const Devmode job = Job();
  const Devmode before = job;
  std::vector<char16_t> text(200, u'?');
  DevQueryPrintInfo info;
  EXPECT_EQ(Ask(&job, text, info), 0);
  const std::u16string reason(text.data());
  EXPECT_NE(reason.find(u"Label 4x6"), std::u16string::npos);
  EXPECT_EQ(info.cchNeeded, reason.size() + 1);
  EXPECT_EQ(std::memcmp(&job, &before, sizeof job), 0);  // the job's DEVMODE is never rewritten

  // A short buffer gets the start of the reason, terminated.
  std::vector<char16_t> small(8, u'?');
  EXPECT_EQ(Ask(&job, small, info), 0);
  EXPECT_EQ(small[7], 0);
  EXPECT_EQ(std::u16string(small.data()), reason.substr(0, 7));
  EXPECT_EQ(info.cchNeeded, reason.size() + 1);

  SetTrayTable(TrayTable({u"Label 4x6"}), static_cast<std::uint32_t>(TrayTable({u"Label 4x6"}).size()));
  EXPECT_EQ(Ask(&job, text, info), 1);
}

TEST_F(QueryPrint, AnythingUndecidedLetsTheJobPrint) {
  ASSERT_TRUE(platform::AddForm({"Label 4x6", 0, 101600, 152400, 0, 0, 101600, 152400}));
  const Devmode job = Job();
  std::vector<char16_t> text(200, u'?');
  DevQueryPrintInfo info;
  EXPECT_EQ(Ask(&job, text, info), 1);  // no table stored
  EXPECT_EQ(Ask(nullptr, text, info), 1);
  EXPECT_EQ(query_(nullptr), 1);

  SetTrayTable({4, 0, 0, 0}, 6);  // size value and size word disagree
  EXPECT_EQ(Ask(&job, text, info), 1);
  SetTrayTable({40, 0, 'T', 0, 0, 0}, 40);  // size word beyond the bytes: cut short
  EXPECT_EQ(Ask(&job, text, info), 1);

  SetTrayTable({4, 0, 0, 0}, 4);
  Devmode custom = job;
  custom.pub.dmPaperWidth = 700;  // no form of that size
  EXPECT_EQ(Ask(&custom, text, info), 1);
  Devmode refused = job;
  refused.priv.TableBase = 3;  // a merge refuses it
  EXPECT_EQ(Ask(&refused, text, info), 1);
  EXPECT_EQ(text[0], u'?');
}

}  // namespace
}  // namespace klm::driver
