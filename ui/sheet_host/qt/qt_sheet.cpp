#include "ui/sheet_host/qt/qt_sheet.h"

#include <QTimer>

namespace klm::ui::sheet {

int QtSheet::RunFrame(void*, const res::ResourceLibrary& library, const res::DialogKey& key,
                      DialogController& controller) {
  std::optional<res::DialogTemplate> dialog = library.Dialog(key);
  if (!dialog) return -1;
  qt::QtDialogView frame(std::move(*dialog), &library, shell_);
  frame.setModal(true);
  if (!frame.Start(controller)) return -1;
  if (shown_) QTimer::singleShot(0, &frame, [this, &frame] { shown_(frame); });
  return frame.RunModalLoop();
}

int QtSheet::RunDialog(DialogView& owner, const res::ResourceLibrary& library, const res::DialogKey& key,
                       DialogController& controller) {
  return qt::RunDialog(library, key, controller, shell_, dynamic_cast<QWidget*>(&owner));
}

}  // namespace klm::ui::sheet
