// A window without a toolkit, for tests: it keeps each control's state,
// records every change in a log, and lets a test act as the user (type,
// click, select, scroll, step up-downs, fire timers, deliver posted
// messages). Notifications follow the same rules as in the Qt view.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "resources/resource_library.h"
#include "ui/dialog_controller.h"
#include "ui/dialog_view.h"

namespace klm::ui {

// Answers prompts from a script and records what was asked.
class HeadlessPrompts : public Prompts {
 public:
  struct Asked {
    std::string kind;  // "message", "open", "save", "folder", "menu"
    std::string text;  // message text, dialog title
    std::string caption;
    std::uint32_t style = 0;
  };

  void AnswerMessage(int answer) { messages_.push_back(answer); }
  void AnswerFile(std::optional<std::filesystem::path> path) { files_.push_back(std::move(path)); }
  void AnswerFolder(std::optional<std::filesystem::path> path) { folders_.push_back(std::move(path)); }
  void AnswerMenu(int command) { menus_.push_back(command); }
  const std::vector<Asked>& asked() const { return asked_; }
  void ClearAsked() { asked_.clear(); }

  // Unscripted message boxes answer the safe choice: IDOK for MB_OK, else
  // IDCANCEL or IDNO; unscripted file, folder and menu prompts are cancelled.
  int MessageBox(const std::string& text, const std::string& caption, std::uint32_t style) override;
  std::optional<std::filesystem::path> OpenFile(const FileDialogOptions& options) override;
  std::optional<std::filesystem::path> SaveFile(const FileDialogOptions& options) override;
  std::optional<std::filesystem::path> BrowseForFolder(const std::string& title) override;
  int PopupMenu(const res::MenuItem& popup, int x, int y) override;

  FileDialogOptions last_file_options;

 private:
  std::deque<int> messages_, menus_;
  std::deque<std::optional<std::filesystem::path>> files_, folders_;
  std::vector<Asked> asked_;
};

// Records what the dialogs ask of the desktop; starts nothing.
class RecordingShell : public Shell {
 public:
  struct Call {
    std::string file, parameters;
    std::filesystem::path directory;
    int show = 0;
  };
  struct Help {
    std::filesystem::path book;
    std::uint32_t context = 0;
  };
  Status Open(const std::string& file, const std::string& parameters, const std::filesystem::path& directory,
              int show) override;
  Status ShowHelp(const std::filesystem::path& book, std::uint32_t context) override;
  void CloseHelp() override { ++help_closed; }

  std::vector<Call> opened;
  std::vector<Help> help;
  int help_closed = 0;
  Status open_result;  // what Open answers
};

class HeadlessView : public DialogView {
 public:
  // `library` may be null (then RunModal/CreateChild find no templates).
  HeadlessView(res::DialogTemplate dialog, const res::ResourceLibrary* library, Prompts& prompts, Shell& shell);
  ~HeadlessView() override;
  void ForgetController(DialogController* controller) override {
    if (controller_ == controller) controller_ = nullptr;
  }

  // Attaches the controller and runs OnInit; false when it refused.
  bool Start(DialogController& controller);
  // OnDestroy, detaches, drops posted messages. Also done by the destructor.
  void Destroy();

  // ---- acting as the user; each does nothing on a disabled or hidden control ----
  // Focus to `id` (kill-focus to the old one), the text replaced, then
  // EditUpdate and EditChange (ComboEdit for a combo box).
  bool Type(int id, std::string_view text);
  // Focus to `id`; check boxes toggle, radio buttons check and clear the
  // others of their group; then Clicked.
  bool Click(int id);
  // The selection set, then SelChange.
  bool Select(int id, int index);
  bool DropDown(int id);
  // The arrow of an up-down: OnUpDown, then (unless refused) the position
  // moves within the range and ThumbPosition and EndScroll follow.
  bool StepUpDown(int id, int delta);
  // A scroll bar or track bar action. Track bars move to `pos` first for
  // ThumbTrack/ThumbPosition and by line/page for the others.
  bool Scroll(int id, ScrollCode code, int pos = 0);
  // Focus moves (Tab key or mouse): KillFocus to the old control, SetFocus to the new.
  void MoveFocus(int id);
  // The picture button under the mouse/pressed/released/left.
  void Hover(int id);
  void PressMouse(int id);
  void ReleaseMouse(int id);
  void Leave(int id);
  // False when the timer is not running.
  bool FireTimer(int timer);
  // Delivers what was posted so far; answers how many.
  int DeliverPosted();
  // Waits up to `timeout` for a post from another thread, then delivers.
  int WaitAndDeliver(std::chrono::milliseconds timeout);
  void PressF1(int id);
  void RightClick(int id, int x = 0, int y = 0);
  void CloseBox();
  void Activate(bool active);

  // ---- what happened ----
  bool ended() const { return ended_; }
  int result() const { return result_; }
  const std::vector<std::string>& log() const { return log_; }
  void ClearLog() { log_.clear(); }
  bool LogHas(std::string_view entry) const;
  const std::set<int>& timers() const { return timer_set_; }
  int TimerPeriod(int timer) const;
  std::vector<DrawOp> Drawing(int id) const;
  int Invalidations(int id) const;
  int TextLimit(int id) const;

  // Modal runs: `handler` plays the user of the child window and answers its
  // result (or ends it through the child view). Without one, a modal dialog
  // that did not end in OnInit is closed with the close box.
  using ModalHandler = std::function<int(HeadlessView& child, DialogController& controller)>;
  void OnModal(ModalHandler handler) { modal_handler_ = std::move(handler); }
  const std::vector<std::string>& modal_runs() const { return modal_runs_; }
  HeadlessView* last_modal() { return last_modal_.get(); }
  std::vector<HeadlessView*> children();

  // ---- DialogView ----
  void SetTitle(std::string_view title) override;
  std::string Title() const override { return title_; }
  void EndDialog(int result) override;
  bool HasControl(int id) const override { return controls_.count(id) != 0; }
  res::ControlKind Kind(int id) const override;
  Rect ClientRect() const override { return {0, 0, width_, height_}; }
  Rect ControlRect(int id) const override;
  void MoveControl(int id, const Rect& rect) override;
  void SetText(int id, std::string_view text) override;
  std::string Text(int id) const override;
  void Enable(int id, bool enabled) override;
  bool IsEnabled(int id) const override;
  void Show(int id, bool visible) override;
  bool IsVisible(int id) const override;
  void SetFocus(int id) override;
  int Focus() const override { return focus_; }
  void Invalidate(int id) override;
  int TextWidth(int id, std::string_view text) const override;
  void SetCheck(int id, int state) override;
  int Check(int id) const override;
  void SetSelection(int id, int start, int end) override;
  std::pair<int, int> Selection(int id) const override;
  void SetTextLimit(int id, int characters) override;
  void ClearItems(int id) override;
  int AddItem(int id, std::string_view text) override;
  int InsertItem(int id, int index, std::string_view text) override;
  void DeleteItem(int id, int index) override;
  int ItemCount(int id) const override;
  std::string ItemText(int id, int index) const override;
  void SetItemData(int id, int index, std::int64_t data) override;
  std::int64_t ItemData(int id, int index) const override;
  void SetCurSel(int id, int index) override;
  int CurSel(int id) const override;
  void SetHorizontalExtent(int id, int pixels) override;
  void SetDroppedWidth(int id, int pixels) override;
  void SetRange(int id, Range range) override;
  Range GetRange(int id) const override;
  void SetPos(int id, int pos) override;
  int Pos(int id) const override;
  void SetPageSize(int id, int page) override;
  void SetDrawing(int id, std::vector<DrawOp> ops) override;
  void SetButtonPictures(int id, Picture normal, Picture hot, Picture pressed,
                         std::optional<std::uint32_t> transparent) override;
  ButtonState PictureButtonState(int id) const override;
  void SetTimer(int timer, int ms) override;
  void KillTimer(int timer) override;
  Poster GetPoster() override { return Poster(port_); }
  int RunModal(const res::DialogKey& key, DialogController& controller) override;
  DialogView* CreateChild(const res::DialogKey& key, DialogController& controller, int host_id) override;
  void DestroyChild(DialogView* child) override;
  Prompts& prompts() override { return prompts_; }
  Shell& shell() override { return shell_; }
  const res::ResourceLibrary* library() const override { return library_; }

 private:
  struct Control {
    res::ControlKind kind = res::ControlKind::Static;
    std::uint32_t flags = 0;
    Rect rect;
    int group = 0;  // radio group number
    std::string text;
    bool enabled = true, visible = true;
    int check = 0;
    std::vector<std::string> items;
    std::vector<std::int64_t> item_data;
    int sel = -1;
    Range range{0, 100};
    int pos = 0, page = 0;
    int sel_start = 0, sel_end = 0;
    int text_limit = 0;
    int invalidations = 0;
    std::vector<DrawOp> drawing;
    bool picture_button = false;
    PictureButtonStateMachine button;
  };
  Control* Find(int id);
  const Control* Find(int id) const;
  bool Usable(int id) const;
  void Notify(int id, ui::Notify code);
  void Log(std::string entry) { log_.push_back(std::move(entry)); }
  bool IsEdit(const Control& c) const;

  res::DialogTemplate template_;
  const res::ResourceLibrary* library_;
  Prompts& prompts_;
  Shell& shell_;
  DialogController* controller_ = nullptr;
  std::map<int, Control> controls_;
  std::string title_;
  int width_ = 0, height_ = 0;
  int focus_ = 0;
  bool ended_ = false;
  int result_ = 0;
  int depth_ = 0;  // notification nesting, bounded against endless echo loops
  std::map<int, int> timers_;
  std::set<int> timer_set_;
  std::shared_ptr<MessagePort> port_ = std::make_shared<MessagePort>();
  std::vector<std::string> log_;
  ModalHandler modal_handler_;
  std::vector<std::string> modal_runs_;
  std::unique_ptr<HeadlessView> last_modal_;
  std::vector<std::unique_ptr<HeadlessView>> children_;
};

}  // namespace klm::ui
