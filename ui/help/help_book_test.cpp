#include "ui/help/help_book.h"

#include <gtest/gtest.h>

#include <fstream>

#include "ui/dialog_controller.h"
#include "ui/headless_view.h"
#include "ui/help/context_help.h"

namespace klm::ui {
namespace {

namespace fs = std::filesystem;

std::vector<HelpPage> SmallPages() {
  return {{"index.html", "<h1>Start</h1>"}, {"basic.html", "<p id=copies>Copies</p>"}, {"other.html", "<p>Unit</p>"}};
}

HelpBook SmallBook() {
  auto bytes = HelpBook::Build(SmallPages(), "index.html", {{1000, "basic.html"}, {1006, "basic.html#copies"}});
  EXPECT_TRUE(bytes.ok());
  auto book = HelpBook::Parse(*bytes);
  EXPECT_TRUE(book.ok()) << book.error().message;
  return std::move(book).value();
}

TEST(HelpBook, MapsContextsToPagesAndUnknownOnesToTheStartPage) {
  const HelpBook book = SmallBook();
  struct Case {
    std::uint32_t context;
    const char* topic;
  } cases[] = {{1000, "basic.html"}, {1006, "basic.html#copies"}, {0, "index.html"}, {4711, "index.html"},
               {0xFFFFFFFF, "index.html"}};
  for (const Case& c : cases) EXPECT_EQ(book.TopicFor(c.context), c.topic) << c.context;
  ASSERT_NE(book.Page("basic.html#copies"), nullptr);
  EXPECT_EQ(book.Page("basic.html#copies")->html, "<p id=copies>Copies</p>");
  EXPECT_EQ(book.Page("missing.html"), nullptr);
}

TEST(HelpBook, BuildRefusesTargetsOutsideTheBook) {
  EXPECT_FALSE(HelpBook::Build(SmallPages(), "start.html", {}).ok());
  auto bad = HelpBook::Build(SmallPages(), "index.html", {{7, "nowhere.html#x"}});
  ASSERT_FALSE(bad.ok());
  EXPECT_NE(bad.error().message.find("nowhere.html"), std::string::npos);
}

TEST(HelpBook, DamagedBooksAreRefusedAtEveryCut) {
  auto bytes = HelpBook::Build(SmallPages(), "index.html", {{1006, "basic.html#copies"}});
  ASSERT_TRUE(bytes.ok());
  for (std::size_t n = 0; n < bytes->size(); ++n)
    EXPECT_FALSE(HelpBook::Parse(std::span(bytes->data(), n)).ok()) << "cut at " << n;
  auto extra = *bytes;
  extra.push_back(0);
  EXPECT_FALSE(HelpBook::Parse(extra).ok());
  auto bad_start = *bytes;
  bad_start[16] = 9;  // start page index
  EXPECT_FALSE(HelpBook::Parse(bad_start).ok());
  auto huge = *bytes;
  huge[8] = huge[9] = huge[10] = huge[11] = 0xFF;  // page count
  EXPECT_EQ(HelpBook::Parse(huge).error().code, ERROR_INVALID_DATA);
}

TEST(HelpBook, OpenFindsTheFileIgnoringCaseAndAMissingBookGivesNothing) {
  const fs::path dir = fs::path(::testing::TempDir()) / "help_book_open";
  fs::remove_all(dir);
  fs::create_directories(dir / "3");
  auto bytes = HelpBook::Build(SmallPages(), "index.html", {{1000, "basic.html"}});
  ASSERT_TRUE(bytes.ok());
  std::ofstream(dir / "3" / "KLM71v.chm", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));

  auto book = HelpBook::Open(dir / "3" / "klm71V.CHM");
  ASSERT_TRUE(book.ok()) << book.error().message;
  EXPECT_EQ(book->TopicFor(1000), "basic.html");

  for (const fs::path& missing : {dir / "3" / "other.chm", dir / "4" / "KLM71v.chm"}) {
    auto none = HelpBook::Open(missing);
    ASSERT_FALSE(none.ok());
    EXPECT_EQ(none.error().code, ERROR_FILE_NOT_FOUND) << missing;
  }
}

// The package's own book: it builds, and every context a window's table can
// ask for has a page of its own rather than falling back to the start page.
TEST(HelpBook, ThePackageBookCoversEveryContextOfTheWindows) {
  auto bytes = BuildHelpBookFromFolder(KLM71_HELP_SOURCE);
  ASSERT_TRUE(bytes.ok()) << bytes.error().message;
  auto book = HelpBook::Parse(*bytes);
  ASSERT_TRUE(book.ok()) << book.error().message;
  EXPECT_EQ(book->start_page(), "index.html");
  const std::span<const help::HelpPair> tables[] = {help::kMainDialog,       help::kBasicSheet,  help::kAdvancedSheet,
                                                    help::kOtherSheet,       help::kInformationPane, help::kClassicPage,
                                                    help::kUserFormatPage};
  for (auto table : tables)
    for (const auto& [id, context] : table) EXPECT_TRUE(book->Maps(context)) << "control " << id << " context " << context;
  for (std::uint32_t context : {help::kBasicTab, help::kAdvancedTab, help::kOtherTab, help::kPrinterProperties,
                                help::kPaperFormatEditor, help::kUtility}) {
    EXPECT_TRUE(book->Maps(context)) << context;
    EXPECT_NE(book->Page(book->TopicFor(context)), nullptr) << context;
  }
  // Links between pages lead somewhere.
  for (const HelpPage& page : book->pages())
    for (std::size_t at = page.html.find("href=\""); at != std::string::npos; at = page.html.find("href=\"", at + 1)) {
      const auto end = page.html.find('"', at + 6);
      const std::string target = page.html.substr(at + 6, end - at - 6);
      EXPECT_NE(book->Page(target), nullptr) << page.name << " links to " << target;
    }
}

TEST(HelpBook, FolderErrorsNameTheLine) {
  const fs::path dir = fs::path(::testing::TempDir()) / "help_book_folder";
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "index.html") << "<p>x</p>";
  struct Case {
    const char* map;
    const char* expected;
  } cases[] = {{"# c\n12 index.html\n", "line 2"},
               {"1\tindex.html\n1\tindex.html\n", "appears twice"},
               {"x1\tindex.html\n", "not a number"},
               {"5\tgone.html\n", "gone.html"}};
  for (const Case& c : cases) {
    std::ofstream(dir / "map.tsv", std::ios::trunc) << c.map;
    auto built = BuildHelpBookFromFolder(dir);
    ASSERT_FALSE(built.ok()) << c.map;
    EXPECT_NE(built.error().message.find(c.expected), std::string::npos) << built.error().message;
  }
}

// A window with the Basic tab's table answers F1 and right clicks through the shell.
class HelpingDialog : public DialogController {
 public:
  void OnHelp(int id, HelpKind) override { (void)help::ShowContextHelp(view(), "/drv/3/KLM71v.chm", help::kBasicSheet, id); }
};

TEST(ContextHelp, F1AndRightClickAskTheShellForTheControlsContext) {
  res::DialogTemplate dialog;
  for (int id : {1023, 1062, 1064, 777}) {
    res::ControlTemplate control;
    control.id = id;
    control.kind = res::ControlKind::Edit;
    dialog.controls.push_back(control);
  }
  HeadlessPrompts prompts;
  RecordingShell shell;
  HeadlessView view(dialog, nullptr, prompts, shell);
  HelpingDialog controller;
  ASSERT_TRUE(view.Start(controller));
  view.PressF1(1062);
  view.RightClick(1023, 5, 5);
  view.PressF1(777);  // not in the table: the start page
  ASSERT_EQ(shell.help.size(), 3u);
  EXPECT_EQ(shell.help[0].context, 1003u);
  EXPECT_EQ(shell.help[1].context, 1001u);
  EXPECT_EQ(shell.help[2].context, 0u);
  EXPECT_EQ(shell.help[0].book, fs::path("/drv/3/KLM71v.chm"));
}

}  // namespace
}  // namespace klm::ui
