// The window of a dialog as its controller sees it: controls addressed by the
// numeric ids of the dialog's template. Implemented by the Qt view
// (ui/qt/) and by the headless view tests use (headless_view.h).
//
// Calls with an id the window lacks do nothing and answer the neutral value
// ("", 0, -1, false), as the platform's calls on a missing control do.
// Everything here runs on the dialog's thread, except Poster().
#pragma once

#include <algorithm>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "resources/resource_library.h"
#include "ui/dialog_codes.h"
#include "ui/drawing.h"
#include "ui/message_port.h"
#include "ui/prompts.h"

namespace klm::ui {

class DialogController;

struct Range {
  int min = 0, max = 100;
  bool operator==(const Range&) const = default;
  // Up-downs may run backwards (min above max); positions stay between the two.
  int Lo() const { return std::min(min, max); }
  int Hi() const { return std::max(min, max); }
  int Clamp(int pos) const { return std::clamp(pos, Lo(), Hi()); }
};

class DialogView {
 public:
  virtual ~DialogView() = default;

  // The controller is being destroyed before its window: the view must not
  // call it again (its window may outlive it, as when a test's controller
  // goes out of scope first).
  virtual void ForgetController(DialogController* controller) = 0;

  // ---- the window ----
  virtual void SetTitle(std::string_view title) = 0;
  virtual std::string Title() const = 0;
  // Ends a modal dialog with `result` once the current notification returns;
  // a modeless one is closed.
  virtual void EndDialog(int result) = 0;
  virtual bool HasControl(int id) const = 0;
  virtual res::ControlKind Kind(int id) const = 0;
  // Client-area size and control placement, in pixels.
  virtual Rect ClientRect() const = 0;
  virtual Rect ControlRect(int id) const = 0;
  virtual void MoveControl(int id, const Rect& rect) = 0;

  // ---- every control ----
  // Edits fire Notify::EditUpdate and EditChange also when the text is set here.
  virtual void SetText(int id, std::string_view text) = 0;
  virtual std::string Text(int id) const = 0;
  virtual void Enable(int id, bool enabled) = 0;
  virtual bool IsEnabled(int id) const = 0;
  virtual void Show(int id, bool visible) = 0;
  virtual bool IsVisible(int id) const = 0;
  virtual void SetFocus(int id) = 0;
  virtual int Focus() const = 0;  // id of the focused control, 0 none
  virtual void Invalidate(int id) = 0;
  // Width in pixels of `text` in the control's font.
  virtual int TextWidth(int id, std::string_view text) const = 0;

  // ---- buttons ----
  virtual void SetCheck(int id, int state) = 0;  // BST_*
  virtual int Check(int id) const = 0;

  // ---- edits ----
  // Selection as character positions; start == end is the caret.
  virtual void SetSelection(int id, int start, int end) = 0;
  virtual std::pair<int, int> Selection(int id) const = 0;
  virtual void SetTextLimit(int id, int characters) = 0;

  // ---- list boxes, combo boxes, tabs ----
  virtual void ClearItems(int id) = 0;
  // Index of the new item (sorted lists insert in order), -1 on failure.
  virtual int AddItem(int id, std::string_view text) = 0;
  virtual int InsertItem(int id, int index, std::string_view text) = 0;  // -1: at the end
  virtual void DeleteItem(int id, int index) = 0;
  virtual int ItemCount(int id) const = 0;
  virtual std::string ItemText(int id, int index) const = 0;
  virtual void SetItemData(int id, int index, std::int64_t data) = 0;
  virtual std::int64_t ItemData(int id, int index) const = 0;
  // -1 clears the selection; no notification is sent.
  virtual void SetCurSel(int id, int index) = 0;
  virtual int CurSel(int id) const = 0;
  // List-box horizontal scroll extent in pixels; combo drop-down width.
  virtual void SetHorizontalExtent(int id, int pixels) = 0;
  virtual void SetDroppedWidth(int id, int pixels) = 0;

  // ---- up-down controls, scroll bars, track bars, progress bars ----
  virtual void SetRange(int id, Range range) = 0;
  virtual Range GetRange(int id) const = 0;
  // Clamped into the range; no notification is sent.
  virtual void SetPos(int id, int pos) = 0;
  virtual int Pos(int id) const = 0;
  virtual void SetPageSize(int id, int page) = 0;

  // ---- pictures ----
  // Replaces what the control shows by `ops` (empty: its normal look).
  virtual void SetDrawing(int id, std::vector<DrawOp> ops) = 0;
  // Makes a button a picture button with one picture per state.
  virtual void SetButtonPictures(int id, Picture normal, Picture hot, Picture pressed,
                                 std::optional<std::uint32_t> transparent) = 0;
  virtual ButtonState PictureButtonState(int id) const = 0;

  // ---- time and messages ----
  // (Re)starts timer `timer` with `ms` milliseconds; OnTimer follows each period.
  virtual void SetTimer(int timer, int ms) = 0;
  virtual void KillTimer(int timer) = 0;
  // Thread-safe handle; posts arrive as DialogController::OnMessage.
  virtual Poster GetPoster() = 0;

  // ---- other windows ----
  // Runs the template `key` of this window's resource library modally over
  // this window with `controller`; answers its EndDialog result, -1 when the
  // template is missing or OnInit refused.
  virtual int RunModal(const res::DialogKey& key, DialogController& controller) = 0;
  // Creates a child dialog (a sheet) inside control `host_id`, or inside the
  // client area when host_id is 0. Nothing when the template is missing.
  // The child lives until this window closes or DestroyChild.
  virtual DialogView* CreateChild(const res::DialogKey& key, DialogController& controller, int host_id) = 0;
  virtual void DestroyChild(DialogView* child) = 0;

  virtual Prompts& prompts() = 0;
  virtual Shell& shell() = 0;
  // The library the window's template came from (strings, bitmaps); may be null.
  virtual const res::ResourceLibrary* library() const = 0;
};

}  // namespace klm::ui
