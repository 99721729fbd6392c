// Message boxes, file dialogs, the folder browser and pop-up menus with Qt,
// modal over their owner window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "ui/prompts.h"

namespace klm::ui::qt {

class QtPrompts : public Prompts {
 public:
  explicit QtPrompts(QWidget* owner) : owner_(owner) {}
  int MessageBox(const std::string& text, const std::string& caption, std::uint32_t style) override;
  std::optional<std::filesystem::path> OpenFile(const FileDialogOptions& options) override;
  std::optional<std::filesystem::path> SaveFile(const FileDialogOptions& options) override;
  std::optional<std::filesystem::path> BrowseForFolder(const std::string& title) override;
  int PopupMenu(const res::MenuItem& popup, int x, int y) override;

 private:
  QPointer<QWidget> owner_;
};

// Qt's filter text ("Text files (*.txt);;All files (*)") for the options'
// filters; the platform's ';' between patterns becomes a blank.
QString QtFilter(const FileDialogOptions& options);

}  // namespace klm::ui::qt
