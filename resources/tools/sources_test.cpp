#include "resources/tools/sources.h"

#include <gtest/gtest.h>

#include "resources/resource_library.h"

namespace klm::res::tools {
namespace {

std::string Geometry(int x, int y, int w, int h) {
  return "<property name=\"geometry\"><rect><x>" + std::to_string(x) + "</x><y>" + std::to_string(y) +
         "</y><width>" + std::to_string(w) + "</width><height>" + std::to_string(h) + "</height></rect></property>";
}

std::string Ui(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ui version=\"4.0\"><class>X</class>"
         "<widget class=\"QDialog\" name=\"X\">" +
         Geometry(0, 0, 300, 200) +
         "<property name=\"windowTitle\"><string>Caf&#233; &amp; more</string></property>" + body +
         "</widget></ui>";
}

TEST(DialogFromUi, ReadsIdsKindsFlagsAndNestedPlacement) {
  const std::string body =
      "<widget class=\"QGroupBox\" name=\"group\">" + Geometry(10, 20, 200, 100) +
      "<property name=\"title\"><string>Group</string></property>"
      "<widget class=\"QRadioButton\" name=\"id_1052\">" + Geometry(5, 6, 50, 20) +
      "<property name=\"group\" stdset=\"0\"><bool>true</bool></property></widget></widget>"
      "<widget class=\"QComboBox\" name=\"anything\">" + Geometry(1, 2, 3, 4) +
      "<property name=\"controlId\" stdset=\"0\"><number>1019</number></property>"
      "<item><property name=\"text\"><string>9600</string></property></item>"
      "<item><property name=\"text\"><string>@4020</string></property></item></widget>"
      "<widget class=\"QPushButton\" name=\"IDCANCEL\">" + Geometry(1, 2, 3, 4) +
      "<property name=\"enabled\"><bool>false</bool></property></widget>"
      "<widget class=\"QScrollBar\" name=\"id430\">" + Geometry(1, 2, 3, 4) +
      "<property name=\"orientation\"><enum>Qt::Vertical</enum></property></widget>"
      "<widget class=\"QLabel\" name=\"id_806\">" + Geometry(1, 2, 3, 4) +
      "<property name=\"kind\" stdset=\"0\"><string>picture</string></property></widget>"
      "<widget class=\"QWidget\" name=\"id_1054\">" + Geometry(1, 2, 3, 4) +
      "<property name=\"kind\" stdset=\"0\"><string>updown</string></property>"
      "<property name=\"buddyId\" stdset=\"0\"><number>1062</number></property></widget>"
      "<!-- a comment --><widget class=\"QLineEdit\" name=\"id_1062\">" + Geometry(1, 2, 3, 4) +
      "<property name=\"readOnly\"><bool>true</bool></property></widget>";
  auto d = DialogFromUi(Ui(body), "400");
  ASSERT_TRUE(d.ok()) << d.error().message;
  EXPECT_EQ(d->number, 400);
  EXPECT_TRUE(d->name.empty());
  EXPECT_EQ(d->title, "Caf\xC3\xA9 & more");
  EXPECT_EQ(d->width, 300);

  struct Expect {
    int id;
    ControlKind kind;
    std::uint32_t flags;
  };
  for (const Expect& e : {Expect{1052, ControlKind::RadioButton, kGroup}, Expect{1019, ControlKind::DropDownList, 0},
                          Expect{2, ControlKind::Button, kDisabled}, Expect{430, ControlKind::VScrollBar, 0},
                          Expect{806, ControlKind::Picture, 0}, Expect{1054, ControlKind::UpDown, 0},
                          Expect{1062, ControlKind::Edit, kReadOnly}}) {
    const ControlTemplate* c = d->Find(e.id);
    ASSERT_NE(c, nullptr) << e.id;
    EXPECT_EQ(c->kind, e.kind) << e.id;
    EXPECT_EQ(c->flags, e.flags) << e.id;
  }
  EXPECT_EQ(d->Find(1052)->rect, (Rect{15, 26, 50, 20}));  // inside the group box
  EXPECT_EQ(d->Find(1019)->items, (std::vector<std::string>{"9600", "@4020"}));
  EXPECT_EQ(d->Find(1054)->buddy, 1062);
  EXPECT_EQ(d->controls.front().id, -1);  // the group box has no id
  EXPECT_EQ(d->controls.front().text, "Group");
}

TEST(DialogFromUi, RefusesWhatItCannotPlace) {
  struct Case {
    std::string xml;
    const char* why;
  };
  const Case cases[] = {
      {Ui("<widget class=\"QLabel\" name=\"id_1\"/>"), "no geometry"},
      {Ui("<widget class=\"QCalendarWidget\" name=\"id_1\">" + Geometry(0, 0, 1, 1) + "</widget>"), "QCalendarWidget"},
      {Ui("<widget class=\"QLabel\" name=\"id_1\">"), "closes"},
      {"<ui><widget class=\"QDialog\" name=\"X\">&bogus;</widget></ui>", "unknown entity"},
      {"<notui/>", "not <ui>"},
  };
  for (const Case& c : cases) {
    auto d = DialogFromUi(c.xml, "X");
    ASSERT_FALSE(d.ok()) << c.why;
    EXPECT_NE(d.error().message.find(c.why), std::string::npos) << d.error().message;
  }
}

TEST(StringsFromTsv, ReadsLanguagesAndEscapes) {
  auto s = StringsFromTsv("# comment\nid\ten\tde\n3014\t%s driver\\n2nd\tTreiber\n3015\tOnly\n");
  ASSERT_TRUE(s.ok()) << s.error().message;
  ASSERT_EQ(s->size(), 3u);
  EXPECT_EQ((*s)[0].text, "%s driver\n2nd");
  EXPECT_EQ((*s)[1].language, "de");
  EXPECT_EQ((*s)[2].id, 3015u);
}

TEST(StringsFromTsv, RefusesAmbiguousTables) {
  struct Case {
    const char* tsv;
    const char* why;
  };
  for (const Case& c : {Case{"id\tde\n1\tx\n", "header"}, Case{"id\ten\n1\ta\n1\tb\n", "twice"},
                        Case{"id\ten\tde\n1\t\tnur\n", "no \"en\""}, Case{"id\ten\nabc\tx\n", "not a string id"},
                        Case{"id\ten\n1\ta\tb\n", "more columns"}, Case{"id\ten\n1\ta\\q\n", "escape"}}) {
    auto s = StringsFromTsv(c.tsv);
    ASSERT_FALSE(s.ok()) << c.tsv;
    EXPECT_NE(s.error().message.find(c.why), std::string::npos) << s.error().message;
  }
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

TEST(PictureFromScript, WritesABottomUp24BitBmpWithMagentaBackground) {
  auto bmp = PictureFromScript("# test\nsize 3 2\nrect 0 0 1 1 #112233\n");
  ASSERT_TRUE(bmp.ok()) << bmp.error().message;
  ASSERT_EQ(bmp->size(), 54u + 2 * 12u);  // rows of 9 bytes padded to 12
  EXPECT_EQ((*bmp)[0], 'B');
  EXPECT_EQ(Le32(*bmp, 2), bmp->size());
  EXPECT_EQ(Le32(*bmp, 10), 54u);
  EXPECT_EQ(Le32(*bmp, 18), 3u);
  EXPECT_EQ(Le32(*bmp, 22), 2u);
  EXPECT_EQ((*bmp)[28], 24);
  // Bottom row first: magenta (stored B, G, R); the top-left pixel follows in the second row.
  EXPECT_EQ((*bmp)[54], 0xFF);
  EXPECT_EQ((*bmp)[55], 0x00);
  EXPECT_EQ((*bmp)[56], 0xFF);
  EXPECT_EQ((*bmp)[66], 0x33);
  EXPECT_EQ((*bmp)[67], 0x22);
  EXPECT_EQ((*bmp)[68], 0x11);
}

TEST(PictureFromScript, EightBitPicturesCarryAGreyPalette) {
  auto bmp = PictureFromScript("size 2 1\ndepth 8\nfill #FFFFFF\n");
  ASSERT_TRUE(bmp.ok());
  EXPECT_EQ((*bmp)[28], 8);
  EXPECT_EQ(Le32(*bmp, 10), 54u + 1024u);
  EXPECT_EQ((*bmp)[54 + 1024], 255);
}

TEST(PictureFromScript, RefusesBadScripts) {
  for (const char* script : {"rect 0 0 1 1 #000000\n", "size 0 5\n", "size 5 5\nrect 0 0 1 #000000\n",
                             "size 5 5\nwobble\n", "size 5000 5\n", "size 5 5\nfill red\n", ""}) {
    EXPECT_FALSE(PictureFromScript(script).ok()) << script;
  }
}

TEST(MenuFromText, NestsPopups) {
  auto m = MenuFromText("popup Menu\n  item 40001 &About...\n  separator\n  popup More\n    item 5 Five\n  end\nend\n");
  ASSERT_TRUE(m.ok()) << m.error().message;
  ASSERT_EQ(m->items.size(), 1u);
  const MenuItem& top = m->items[0];
  EXPECT_EQ(top.text, "Menu");
  ASSERT_EQ(top.children.size(), 3u);
  EXPECT_EQ(top.children[0].text, "&About...");
  EXPECT_TRUE(top.children[1].separator);
  EXPECT_EQ(top.children[2].children.at(0).id, 5);
  EXPECT_FALSE(MenuFromText("popup A\nitem 1 x\n").ok());
  EXPECT_FALSE(MenuFromText("end\n").ok());
  EXPECT_FALSE(MenuFromText("item x y\n").ok());
}

}  // namespace
}  // namespace klm::res::tools
