// The behaviour of one dialog. A controller holds its state and talks to its
// window only through DialogView, so it runs unchanged in the Qt view and in
// the headless view of the tests.
//
// Writing one: derive, override OnInit and the notifications you need, and
// reach the window through view(). Notifications arrive on the dialog's
// thread, one at a time. Worker threads talk back through view().GetPoster().
#pragma once

#include <cstdint>

#include "ui/dialog_codes.h"
#include "ui/dialog_view.h"

namespace klm::ui {

enum class HelpKind : std::uint8_t { F1, ContextMenu };

class DialogController {
 public:
  virtual ~DialogController();

  // The window exists with its controls; set them up. False refuses the
  // dialog (a modal run then answers -1).
  virtual bool OnInit() { return true; }

  // Every command from a control. The default routes to the calls below by
  // code; override it to act after every command (e.g. an Apply-button state).
  virtual void OnCommand(int id, Notify code);
  // A button, check box, radio button or menu item. The default ends the
  // dialog for IDOK and IDCANCEL with that id.
  virtual void OnClick(int id);
  virtual void OnEditChanged(int /*id*/) {}
  virtual void OnEditUpdate(int /*id*/) {}
  virtual void OnSetFocus(int /*id*/) {}
  virtual void OnKillFocus(int /*id*/) {}
  virtual void OnSelChange(int /*id*/) {}
  virtual void OnDropDown(int /*id*/) {}
  virtual void OnComboEdit(int /*id*/) {}
  virtual void OnDoubleClick(int /*id*/) {}

  // An up-down arrow: `delta` +1 up, -1 down. Answer true to keep the
  // control's position where it is; false lets it move by delta within its
  // range, after which OnScroll(id, ThumbPosition, pos) and EndScroll follow.
  virtual bool OnUpDown(int /*id*/, int /*delta*/) { return false; }
  // Scroll bars, track bars and up-downs. Scroll bars keep their position
  // until the controller sets it; track bars have already moved.
  virtual void OnScroll(int /*id*/, ScrollCode /*code*/, int /*pos*/) {}
  virtual void OnTimer(int /*timer*/) {}
  virtual void OnMessage(std::uint32_t /*message*/, std::uint64_t /*wparam*/, std::int64_t /*lparam*/) {}
  // F1 on a control or a right click on it (id 0: the window itself).
  virtual void OnHelp(int /*id*/, HelpKind /*kind*/) {}
  // Right click at x, y in client coordinates (after OnHelp).
  virtual void OnContextMenu(int /*id*/, int /*x*/, int /*y*/) {}
  // The close box or Alt+F4. The default is a click of IDCANCEL.
  virtual void OnClose() { OnCommand(IDCANCEL, Notify::Clicked); }
  // The window is activated (true) or deactivated.
  virtual void OnActivate(bool /*active*/) {}
  // The window is going; controls still answer.
  virtual void OnDestroy() {}

  DialogView& view() { return *view_; }
  const DialogView& view() const { return *view_; }
  bool attached() const { return view_ != nullptr; }
  // Set by the view before OnInit and cleared after OnDestroy.
  void Attach(DialogView* view) { view_ = view; }

 private:
  DialogView* view_ = nullptr;
};

}  // namespace klm::ui
