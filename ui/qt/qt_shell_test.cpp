// The Qt shell's help window under Qt's offscreen platform.
#include "ui/qt/qt_shell.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <filesystem>

#include "ui/help/context_help.h"
#include "ui/qt/qt_dialog_view.h"

namespace klm::ui::qt {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "klm71_ui_qt_shell_test";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// The book the build made for installation.
std::filesystem::path Book() {
  const char* bin = std::getenv("KLM71_BUILD_BIN");
  return std::filesystem::path(bin ? bin : "bin").parent_path() / "share" / "klm71" / "KLM71v.chm";
}

class BasicSheetStandIn : public DialogController {
 public:
  void OnHelp(int id, HelpKind) override { last = help::ShowContextHelp(view(), Book(), help::kBasicSheet, id); }
  Status last;
};

TEST(QtShell, F1InADialogOpensTheControlsTopicInTheHelpWindow) {
  App();
  res::DialogTemplate dialog;
  dialog.width = 200;
  dialog.height = 100;
  dialog.controls.push_back({1062, res::ControlKind::Edit, 0, {10, 10, 80, 20}, 0, "", {}});
  dialog.controls.push_back({555, res::ControlKind::Edit, 0, {10, 40, 80, 20}, 0, "", {}});
  QtShell shell;
  QtDialogView view(dialog, nullptr, shell);
  BasicSheetStandIn controller;
  ASSERT_TRUE(view.Start(controller));
  view.show();

  QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QApplication::sendEvent(view.Widget(1062), &f1);
  ASSERT_TRUE(controller.last.ok()) << controller.last.error().message;
  ASSERT_NE(shell.help_window(), nullptr);
  HelpBrowser& browser = shell.help_window()->browser();
  EXPECT_EQ(browser.source().path(), "/basic.html");
  EXPECT_EQ(browser.source().fragment(), "length");
  EXPECT_EQ(shell.help_window()->windowTitle(), "Basic tab");
  EXPECT_TRUE(browser.toPlainText().contains("Length"));

  // A right click on a control the table lacks: the same window, start page.
  QContextMenuEvent right(QContextMenuEvent::Mouse, {5, 5}, {5, 5});
  QApplication::sendEvent(view.Widget(555), &right);
  EXPECT_EQ(browser.source().path(), "/index.html");
  // Links stay inside the book.
  browser.setSource(QUrl("other.html"));
  EXPECT_TRUE(browser.toPlainText().contains("millimetres"));

  shell.CloseHelp();
  QApplication::processEvents();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(shell.help_window(), nullptr);
}

TEST(QtShell, AMissingBookShowsNothing) {
  App();
  QtShell shell;
  auto status = shell.ShowHelp(Book().parent_path() / "none" / "KLM71v.chm", 1000);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().code, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(shell.help_window(), nullptr);
}

}  // namespace
}  // namespace klm::ui::qt
