// The Qt Widgets view: a QDialog built from a dialog template, each control a
// widget at its template position, Qt's signals turned into the controller's
// notifications. Runs on the GUI thread; needs a QApplication.
#pragma once

#include <QDialog>
#include <QPointer>
#include <map>
#include <memory>

#include "resources/resource_library.h"
#include "ui/dialog_controller.h"
#include "ui/dialog_view.h"

class QTimer;

namespace klm::ui::qt {

class QtPrompts;

class QtDialogView : public QDialog, public DialogView {
 public:
  // `shell` must outlive the view. `as_child`: a sheet embedded in `parent`.
  QtDialogView(res::DialogTemplate dialog, const res::ResourceLibrary* library, Shell& shell,
               QWidget* parent = nullptr, bool as_child = false);
  ~QtDialogView() override;
  void ForgetController(DialogController* controller) override {
    if (controller_ == controller) controller_ = nullptr;
  }

  // Attaches the controller and runs OnInit; false when it refused.
  bool Start(DialogController& controller);
  // Runs modally; the EndDialog result, or IDCANCEL when closed otherwise.
  int RunModalLoop();
  bool ended() const { return ended_; }
  int result() const { return result_; }
  QWidget* Widget(int id) const;
  // Replaces the prompts (tests answer them without windows).
  void SetPrompts(Prompts* prompts) { prompts_override_ = prompts; }

  // ---- DialogView ----
  void SetTitle(std::string_view title) override;
  std::string Title() const override;
  void EndDialog(int result) override;
  bool HasControl(int id) const override { return controls_.count(id) != 0; }
  res::ControlKind Kind(int id) const override;
  Rect ClientRect() const override;
  Rect ControlRect(int id) const override;
  void MoveControl(int id, const Rect& rect) override;
  void SetText(int id, std::string_view text) override;
  std::string Text(int id) const override;
  void Enable(int id, bool enabled) override;
  bool IsEnabled(int id) const override;
  void Show(int id, bool visible) override;
  bool IsVisible(int id) const override;
  void SetFocus(int id) override;
  int Focus() const override;
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
  Prompts& prompts() override;
  Shell& shell() override { return shell_; }
  const res::ResourceLibrary* library() const override { return library_; }

  // Called by the control widgets.
  void Notify(int id, ui::Notify code);
  void UpDownClicked(int id, int delta);
  void SliderAction(int id, int action);
  void SliderReleased(int id);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void accept() override {}
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Control {
    res::ControlKind kind = res::ControlKind::Static;
    std::uint32_t flags = 0;
    int group = 0;
    QWidget* widget = nullptr;
    Range range{0, 100};
    int pos = 0;  // up-downs and scroll bars keep their own position
  };
  Control* Find(int id);
  const Control* Find(int id) const;
  void Build();
  QWidget* MakeWidget(int id, const res::ControlTemplate& t, Control& c);
  void DeliverPosted();
  int IdOf(QObject* widget) const;

  res::DialogTemplate template_;
  const res::ResourceLibrary* library_;
  Shell& shell_;
  Prompts* prompts_override_ = nullptr;
  std::unique_ptr<QtPrompts> prompts_;
  DialogController* controller_ = nullptr;
  std::map<int, Control> controls_;
  std::map<int, QTimer*> timers_;
  std::shared_ptr<MessagePort> port_ = std::make_shared<MessagePort>();
  std::vector<QPointer<QtDialogView>> children_;
  bool ended_ = false;
  int result_ = IDCANCEL;
  int updating_ = 0;  // > 0 while the program changes a control: no user notifications
  int depth_ = 0;
};

// Builds `key` from `library` and runs it modally over `parent` with
// `controller`: the EndDialog result, -1 when the template is missing or
// OnInit refused.
int RunDialog(const res::ResourceLibrary& library, const res::DialogKey& key, DialogController& controller,
              Shell& shell, QWidget* parent = nullptr, Prompts* prompts = nullptr);

// Decodes a picture for painting (BMP bytes), with `transparent` made clear.
QImage DecodePicture(const Picture& picture, std::optional<std::uint32_t> transparent);
// Paints `ops` into `rect` (the control's area).
void PaintOps(QPainter& painter, const QRect& rect, const std::vector<DrawOp>& ops);

}  // namespace klm::ui::qt
