// The desktop for Qt windows: programs and documents as the platform shell
// opens them, and help in the package's help window.
#pragma once

#include <QPointer>
#include <QTextBrowser>
#include <QWidget>
#include <filesystem>

#include "ui/help/help_book.h"
#include "ui/platform_shell.h"

namespace klm::ui::qt {

// Shows the pages of one help book; links between pages stay inside it.
class HelpBrowser : public QTextBrowser {
 public:
  explicit HelpBrowser(QWidget* parent = nullptr);
  void SetBook(HelpBook book) { book_ = std::move(book); }
  // "basic.html#copies"
  void ShowTopic(const std::string& topic);
  QVariant loadResource(int type, const QUrl& name) override;

 private:
  std::optional<HelpBook> book_;
};

class HelpWindow : public QWidget {
 public:
  HelpWindow();
  HelpBrowser& browser() { return *browser_; }

 private:
  HelpBrowser* browser_;
};

class QtShell : public PlatformShell {
 public:
  QtShell() = default;
  QtShell(const QtShell&) = delete;
  QtShell& operator=(const QtShell&) = delete;
  // The help window goes with the shell: nothing else could reach it.
  ~QtShell() override { delete window_.data(); }
  // Opens (or reuses) the help window at the topic of `context`; the start
  // page for a context the book's map lacks. ERROR_FILE_NOT_FOUND and no
  // window for a missing book; a damaged one is ERROR_INVALID_DATA.
  Status ShowHelp(const std::filesystem::path& book, std::uint32_t context) override;
  void CloseHelp() override;
  // The open help window, or null.
  HelpWindow* help_window() const { return window_.data(); }

 private:
  QPointer<HelpWindow> window_;
};

}  // namespace klm::ui::qt
