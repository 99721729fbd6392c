// The property sheet in Qt Widgets: the sheet's window and its pages are
// QtDialogViews; dialogs a page runs are modal over it. Needs a QApplication.
#pragma once

#include <functional>

#include "ui/qt/qt_dialog_view.h"
#include "ui/sheet_host/sheet_host.h"

namespace klm::ui::sheet {

class QtSheet : public SheetDisplay {
 public:
  explicit QtSheet(Shell& shell) : shell_(shell) {}

  // Called from the sheet's event loop once its window is shown (tests grab
  // it and press its buttons).
  void OnShown(std::function<void(qt::QtDialogView& frame)> shown) { shown_ = std::move(shown); }

  int RunFrame(void* owner, const res::ResourceLibrary& library, const res::DialogKey& key,
               DialogController& controller) override;
  int RunDialog(DialogView& owner, const res::ResourceLibrary& library, const res::DialogKey& key,
                DialogController& controller) override;

 private:
  Shell& shell_;
  std::function<void(qt::QtDialogView&)> shown_;
};

}  // namespace klm::ui::sheet
