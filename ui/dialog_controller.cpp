#include "ui/dialog_controller.h"

namespace klm::ui {

DialogController::~DialogController() {
  if (view_) view_->ForgetController(this);
}

void DialogController::OnCommand(int id, Notify code) {
  switch (code) {
    case Notify::Clicked: OnClick(id); break;
    case Notify::DoubleClick: OnDoubleClick(id); break;
    case Notify::EditChange: OnEditChanged(id); break;
    case Notify::EditUpdate: OnEditUpdate(id); break;
    case Notify::SetFocus: OnSetFocus(id); break;
    case Notify::KillFocus: OnKillFocus(id); break;
    case Notify::SelChange: OnSelChange(id); break;
    case Notify::DropDown: OnDropDown(id); break;
    case Notify::ComboEdit: OnComboEdit(id); break;
  }
}

void DialogController::OnClick(int id) {
  if (id == IDOK || id == IDCANCEL) view().EndDialog(id);
}

}  // namespace klm::ui
