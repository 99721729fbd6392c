#include "resources/resource_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace klm::res {
namespace {

DialogTemplate SampleDialog() {
  DialogTemplate d;
  d.name = "DLG_SAMPLE";
  d.title = "@7";
  d.width = 200;
  d.height = 100;
  d.controls.push_back({800, ControlKind::Static, kCentre, {1, 2, 3, 4}, 0, "@8", {}});
  d.controls.push_back({1019, ControlKind::DropDownList, kSort, {5, 6, 7, 8}, 0, "", {"9600", "@9"}});
  d.controls.push_back({1054, ControlKind::UpDown, 0, {9, 10, 11, 12}, 1062, "", {}});
  return d;
}

LibraryBuilder SampleBuilder() {
  LibraryBuilder b;
  b.AddString(7, "en", "Title");
  b.AddString(7, "de", "Titel");
  b.AddString(8, "en", "Only English");
  b.AddString(9, "de", "Nur deutsch");
  DialogTemplate d = SampleDialog();
  b.AddDialog(d);
  d.name.clear();
  d.number = 400;
  b.AddDialog(d);
  const std::uint8_t bmp[] = {'B', 'M', 1, 2, 3};
  b.AddBitmap(101, bmp);
  const std::uint8_t sample[] = {9, 8, 7};
  b.AddData("BRIGHT_CONTRAST", sample);
  b.AddMenu("POPMENU", MenuTemplate{{MenuItem{0, "Menu", false, {MenuItem{40001, "&About", false, {}}}}}});
  return b;
}

TEST(ResourceLibrary, RoundTripKeepsEveryKindOfResource) {
  auto bytes = SampleBuilder().Serialize();
  auto lib = ResourceLibrary::FromBytes(bytes);
  ASSERT_TRUE(lib.ok()) << lib.error().message;

  auto d = lib->Dialog("dlg_sample");  // names match without regard to case
  ASSERT_TRUE(d.has_value());
  EXPECT_EQ(d->title, "Title");
  ASSERT_EQ(d->controls.size(), 3u);
  EXPECT_EQ(d->controls[0].text, "Only English");
  EXPECT_EQ(d->controls[0].rect, (Rect{1, 2, 3, 4}));
  EXPECT_EQ(d->controls[0].flags, kCentre);
  EXPECT_EQ(d->controls[1].items, (std::vector<std::string>{"9600", "Nur deutsch"}));
  EXPECT_EQ(d->controls[2].buddy, 1062);
  EXPECT_EQ(d->Find(1054)->kind, ControlKind::UpDown);
  EXPECT_TRUE(lib->Dialog(400).has_value());
  EXPECT_FALSE(lib->Dialog(401).has_value());
  EXPECT_FALSE(lib->Dialog("OTHER").has_value());

  ASSERT_TRUE(lib->Bitmap(101).has_value());
  EXPECT_EQ(lib->Bitmap(101)->size(), 5u);
  ASSERT_TRUE(lib->Data("bright_contrast").has_value());
  EXPECT_EQ((*lib->Data("BRIGHT_CONTRAST"))[2], 7);
  auto menu = lib->Menu("PopMenu");
  ASSERT_TRUE(menu.has_value());
  EXPECT_EQ(menu->items.at(0).children.at(0).id, 40001);

  // Write, read, write again: the same bytes.
  LibraryBuilder again;
  for (std::uint32_t id : lib->StringIds()) again.AddString(id, "en", *lib->LoadString(id));
  EXPECT_EQ(SerializeDialog(*ParseDialog(SerializeDialog(SampleDialog()))), SerializeDialog(SampleDialog()));
}

TEST(ResourceLibrary, StringsFallBackToTheBaseLanguagePerString) {
  auto lib = ResourceLibrary::FromBytes(SampleBuilder().Serialize());
  ASSERT_TRUE(lib.ok());
  EXPECT_EQ(lib->LoadString(7), "Title");
  lib->SetLanguage("de");
  EXPECT_EQ(lib->LoadString(7), "Titel");
  EXPECT_EQ(lib->LoadString(8), "Only English");
  lib->SetLanguage("fr");
  EXPECT_EQ(lib->LoadString(7), "Title");
  EXPECT_EQ(lib->LoadString(9), "Nur deutsch");  // no base text: any text beats none
  EXPECT_FALSE(lib->LoadString(10).has_value());
}

TEST(ResourceLibrary, BufferFormCutsAndAlwaysTerminates) {
  LibraryBuilder b;
  b.AddString(1, "en", "Größe");
  auto lib = ResourceLibrary::FromBytes(b.Serialize());
  ASSERT_TRUE(lib.ok());
  struct Case {
    std::size_t size;
    std::size_t copied;
    std::u16string text;
  };
  for (const Case& c : {Case{10, 5, u"Größe"}, Case{6, 5, u"Größe"}, Case{4, 3, u"Grö"}, Case{1, 0, u""}}) {
    std::vector<char16_t> buf(c.size, u'x');
    EXPECT_EQ(lib->LoadString(1, buf), c.copied) << c.size;
    EXPECT_EQ(std::u16string(buf.data()), c.text) << c.size;
  }
  std::vector<char16_t> buf(4, u'x');
  EXPECT_EQ(lib->LoadString(2, buf), 0u);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(lib->LoadString(1, std::span<char16_t>()), 0u);
}

TEST(ResourceLibrary, DamagedFilesAreRefusedAtEveryCut) {
  const auto bytes = SampleBuilder().Serialize();
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    auto lib = ResourceLibrary::FromBytes({bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)});
    ASSERT_FALSE(lib.ok()) << "cut at " << n;
    EXPECT_EQ(lib.error().code, ERROR_BAD_EXE_FORMAT);
  }
  auto longer = bytes;
  longer.push_back(0);
  EXPECT_FALSE(ResourceLibrary::FromBytes(longer).ok());
  auto bad_magic = bytes;
  bad_magic[0] = 'X';
  EXPECT_FALSE(ResourceLibrary::FromBytes(bad_magic).ok());
  auto bad_type = bytes;
  bad_type[12] = 99;  // type of the first entry
  EXPECT_FALSE(ResourceLibrary::FromBytes(bad_type).ok());
}

TEST(ResourceLibrary, DamagedDialogBytesAreRefused) {
  const auto bytes = SerializeDialog(SampleDialog());
  for (std::size_t n = 0; n < bytes.size(); ++n)
    EXPECT_FALSE(ParseDialog({bytes.data(), n}).has_value()) << n;
  auto bad_kind = bytes;
  // The first control's kind byte follows the header and the control's id.
  const std::size_t kind_at = 2 + 2 + 2 + 4 + 4 + 4 + 2 + 4 + 2 + 4;
  bad_kind[kind_at] = kControlKindCount;
  EXPECT_FALSE(ParseDialog(bad_kind).has_value());
}

TEST(ResourceLibrary, OpenReportsTheMissingFile) {
  auto lib = ResourceLibrary::Open("/nonexistent/KLM71r.dll");
  ASSERT_FALSE(lib.ok());
  EXPECT_NE(lib.error().message.find("KLM71r.dll"), std::string::npos);
}

TEST(TextHelpers, FormatOneReplacesTheFirstDirectiveOnly) {
  struct Case {
    const char* format;
    const char* out;
  };
  for (const Case& c : {Case{"%s printer driver", "LM-7100 printer driver"}, Case{"Version %ls", "Version LM-7100"},
                        Case{"%3d%%", "LM-7100%"}, Case{"no directive", "no directive"},
                        Case{"%s and %s", "LM-7100 and "}, Case{"100%", "100%"}, Case{"%n", "%n"}}) {
    EXPECT_EQ(FormatOne(c.format, "LM-7100"), c.out) << c.format;
  }
}

TEST(TextHelpers, AcceleratorGroupIsCutOnlyWhenTheTextIsLongEnough) {
  struct Case {
    std::u16string in, out;
  };
  for (const Case& c : {Case{u"Document Options (&D)", u"Document Options "}, Case{u"Orientation (&O):", u"Orientation "},
                        Case{u"Plain", u"Plain"}, Case{u"(&D)", u""}, Case{u"D)", u"D)"}, Case{u"ab:", u"ab:"},
                        Case{u"", u""}}) {
    EXPECT_EQ(CutAcceleratorGroup(c.in), c.out);
  }
}

TEST(TextHelpers, Utf16RoundTripAndInvalidInput) {
  const std::string text = "A\xC3\xB6\xE2\x82\xAC\xF0\x9F\x98\x80";  // A ö € 😀
  EXPECT_EQ(Utf8ToUtf16(text), u"Aö€\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");            // cut sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), u"\uFFFD\uFFFD");  // overlong: each byte replaced
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate: each byte replaced
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // lone surrogate
}

// The libraries the build wrote into bin/ carry what the driver core and the
// printer-properties page read.
TEST(BuiltLibraries, DriverLibraryHoldsTheStringsAndTemplatesOthersRead) {
  const char* bin = std::getenv("KLM71_BUILD_BIN");
  ASSERT_NE(bin, nullptr);
  auto lib = ResourceLibrary::Open(std::filesystem::path(bin) / "klm71R.DLL");  // any letter case
  ASSERT_TRUE(lib.ok()) << lib.error().message;
  for (std::uint32_t id : {1003u, 2107u, 3013u, 3014u, 3015u, 3017u, 3018u, 3019u, 1101u, 1102u, 1104u, 1122u})
    EXPECT_TRUE(lib->LoadString(id).has_value()) << id;
  auto version = lib->Dialog("DLG_VERSION");
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(version->title, *lib->LoadString(3013));
  for (int id : {800, 801, 803, 804, 805, 806, 807, 1}) EXPECT_NE(version->Find(id), nullptr) << id;
  EXPECT_EQ(version->Find(806)->kind, ControlKind::Picture);
  EXPECT_EQ(version->Find(1)->kind, ControlKind::DefButton);

  auto own = ResourceLibrary::Open(std::filesystem::path(bin) / "KLM71ui.res");
  ASSERT_TRUE(own.ok()) << own.error().message;
  ASSERT_TRUE(own->Bitmap(101).has_value());
  EXPECT_EQ((*own->Bitmap(101))[0], 'B');
  for (const char* name : {"KLM71ct.dll", "KLM71ut.dll"})
    EXPECT_TRUE(ResourceLibrary::Open(std::filesystem::path(bin) / name).ok()) << name;
}

}  // namespace
}  // namespace klm::res
