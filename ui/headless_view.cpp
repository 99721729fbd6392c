#include "ui/headless_view.h"

#include <algorithm>

namespace klm::ui {

using res::ControlKind;

namespace {
constexpr int kMaxNotifyDepth = 32;

std::string Quote(std::string_view s) { return "\"" + std::string(s) + "\""; }
std::string RectText(const Rect& r) {
  return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.w) + "," + std::to_string(r.h);
}
bool IsList(ControlKind k) {
  return k == ControlKind::ListBox || k == ControlKind::ComboBox || k == ControlKind::DropDownList ||
         k == ControlKind::Tab;
}
}  // namespace

// ---- prompts and shell ----

int HeadlessPrompts::MessageBox(const std::string& text, const std::string& caption, std::uint32_t style) {
  asked_.push_back({"message", text, caption, style});
  if (!messages_.empty()) {
    int a = messages_.front();
    messages_.pop_front();
    return a;
  }
  switch (style & MB_TYPEMASK) {
    case MB_OK: return IDOK;
    case MB_YESNO: return IDNO;
    default: return IDCANCEL;
  }
}

std::optional<std::filesystem::path> HeadlessPrompts::OpenFile(const FileDialogOptions& options) {
  asked_.push_back({"open", options.title, {}, 0});
  last_file_options = options;
  if (files_.empty()) return std::nullopt;
  auto a = files_.front();
  files_.pop_front();
  return a;
}

std::optional<std::filesystem::path> HeadlessPrompts::SaveFile(const FileDialogOptions& options) {
  asked_.push_back({"save", options.title, {}, 0});
  last_file_options = options;
  if (files_.empty()) return std::nullopt;
  auto a = files_.front();
  files_.pop_front();
  return a;
}

std::optional<std::filesystem::path> HeadlessPrompts::BrowseForFolder(const std::string& title) {
  asked_.push_back({"folder", title, {}, 0});
  if (folders_.empty()) return std::nullopt;
  auto a = folders_.front();
  folders_.pop_front();
  return a;
}

int HeadlessPrompts::PopupMenu(const res::MenuItem& popup, int, int) {
  asked_.push_back({"menu", popup.text, {}, 0});
  if (menus_.empty()) return 0;
  int a = menus_.front();
  menus_.pop_front();
  return a;
}

Status RecordingShell::Open(const std::string& file, const std::string& parameters,
                            const std::filesystem::path& directory, int show) {
  opened.push_back({file, parameters, directory, show});
  return open_result;
}

Status RecordingShell::ShowHelp(const std::filesystem::path& book, std::uint32_t context) {
  help.push_back({book, context});
  return {};
}

// ---- the view ----

HeadlessView::HeadlessView(res::DialogTemplate dialog, const res::ResourceLibrary* library, Prompts& prompts,
                           Shell& shell)
    : template_(std::move(dialog)), library_(library), prompts_(prompts), shell_(shell) {
  title_ = template_.title;
  width_ = template_.width;
  height_ = template_.height;
  int group = 0;
  for (const res::ControlTemplate& t : template_.controls) {
    if (t.flags & res::kGroup || t.kind != ControlKind::RadioButton) ++group;
    if (t.id < 0) continue;
    Control c;
    c.kind = t.kind;
    c.flags = t.flags;
    c.rect = t.rect;
    c.group = group;
    c.text = t.text;
    c.enabled = !(t.flags & res::kDisabled);
    c.visible = !(t.flags & res::kHidden);
    c.items = t.items;
    c.item_data.assign(t.items.size(), 0);
    if (t.kind == ControlKind::Tab && !t.items.empty()) c.sel = 0;
    controls_.emplace(t.id, std::move(c));
  }
}

HeadlessView::~HeadlessView() { Destroy(); }

bool HeadlessView::Start(DialogController& controller) {
  controller_ = &controller;
  controller.Attach(this);
  ++depth_;
  const bool ok = controller.OnInit();
  --depth_;
  if (!ok) {
    Log("init refused");
    Destroy();
  }
  return ok;
}

void HeadlessView::Destroy() {
  children_.clear();
  if (controller_) {
    DialogController* c = controller_;
    c->OnDestroy();
    c->Attach(nullptr);
    controller_ = nullptr;
  }
  port_->Close();
  timers_.clear();
  timer_set_.clear();
}

HeadlessView::Control* HeadlessView::Find(int id) {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : &it->second;
}
const HeadlessView::Control* HeadlessView::Find(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : &it->second;
}

bool HeadlessView::Usable(int id) const {
  const Control* c = Find(id);
  return c && c->enabled && c->visible && controller_ && !ended_;
}

bool HeadlessView::IsEdit(const Control& c) const { return c.kind == ControlKind::Edit; }

void HeadlessView::Notify(int id, ui::Notify code) {
  if (!controller_ || depth_ > kMaxNotifyDepth) return;
  ++depth_;
  controller_->OnCommand(id, code);
  --depth_;
}

// ---- user actions ----

bool HeadlessView::Type(int id, std::string_view text) {
  if (!Usable(id)) return false;
  Control* c = Find(id);
  if (!IsEdit(*c) && c->kind != ControlKind::ComboBox) return false;
  if (c->flags & res::kReadOnly) return false;
  MoveFocus(id);
  c = Find(id);
  std::string typed(text);
  if (c->text_limit > 0 && static_cast<int>(typed.size()) > c->text_limit) typed.resize(static_cast<std::size_t>(c->text_limit));
  c->text = typed;
  c->sel_start = c->sel_end = static_cast<int>(typed.size());
  Log("type " + std::to_string(id) + " " + Quote(typed));
  if (c->kind == ControlKind::ComboBox) {
    Notify(id, ui::Notify::ComboEdit);
  } else {
    Notify(id, ui::Notify::EditUpdate);
    Notify(id, ui::Notify::EditChange);
  }
  return true;
}

bool HeadlessView::Click(int id) {
  if (!Usable(id)) return false;
  MoveFocus(id);
  Control* c = Find(id);
  if (c->kind == ControlKind::CheckBox) {
    c->check = (c->flags & res::kTriState) ? (c->check + 1) % 3 : (c->check == BST_CHECKED ? 0 : 1);
  } else if (c->kind == ControlKind::RadioButton) {
    for (auto& [other_id, other] : controls_)
      if (other.kind == ControlKind::RadioButton && other.group == c->group) other.check = 0;
    c->check = BST_CHECKED;
  }
  Log("click " + std::to_string(id));
  Notify(id, ui::Notify::Clicked);
  return true;
}

bool HeadlessView::Select(int id, int index) {
  if (!Usable(id) || !IsList(Find(id)->kind)) return false;
  Control* c = Find(id);
  if (index < -1 || index >= static_cast<int>(c->items.size())) return false;
  c->sel = index;
  if (c->kind == ControlKind::ComboBox || c->kind == ControlKind::DropDownList)
    c->text = index >= 0 ? c->items[static_cast<std::size_t>(index)] : "";
  Log("select " + std::to_string(id) + " " + std::to_string(index));
  Notify(id, ui::Notify::SelChange);
  return true;
}

bool HeadlessView::DropDown(int id) {
  if (!Usable(id)) return false;
  Notify(id, ui::Notify::DropDown);
  return true;
}

bool HeadlessView::StepUpDown(int id, int delta) {
  if (!Usable(id) || Find(id)->kind != ControlKind::UpDown) return false;
  Log("updown " + std::to_string(id) + " " + std::to_string(delta));
  ++depth_;
  const bool refused = controller_->OnUpDown(id, delta);
  --depth_;
  if (refused || !controller_) return true;
  Control* c = Find(id);
  c->pos = c->range.Clamp(c->pos + delta);
  ++depth_;
  controller_->OnScroll(id, ScrollCode::ThumbPosition, c->pos);
  if (controller_) controller_->OnScroll(id, ScrollCode::EndScroll, Find(id)->pos);
  --depth_;
  return true;
}

bool HeadlessView::Scroll(int id, ScrollCode code, int pos) {
  if (!Usable(id)) return false;
  Control* c = Find(id);
  if (c->kind != ControlKind::HScrollBar && c->kind != ControlKind::VScrollBar && c->kind != ControlKind::TrackBar)
    return false;
  if (c->kind == ControlKind::TrackBar) {
    // A track bar moves itself before it reports, as the platform's does.
    const int page = c->page > 0 ? c->page : std::max(1, (c->range.max - c->range.min) / 5);
    switch (code) {
      case ScrollCode::LineUp: c->pos -= 1; break;
      case ScrollCode::LineDown: c->pos += 1; break;
      case ScrollCode::PageUp: c->pos -= page; break;
      case ScrollCode::PageDown: c->pos += page; break;
      case ScrollCode::ThumbPosition:
      case ScrollCode::ThumbTrack: c->pos = pos; break;
      case ScrollCode::Top: c->pos = c->range.min; break;
      case ScrollCode::Bottom: c->pos = c->range.max; break;
      case ScrollCode::EndScroll: break;
    }
    c->pos = std::clamp(c->pos, c->range.min, std::max(c->range.min, c->range.max));
    pos = c->pos;
  }
  Log("scroll " + std::to_string(id) + " " + std::to_string(static_cast<int>(code)) + " " + std::to_string(pos));
  ++depth_;
  controller_->OnScroll(id, code, pos);
  --depth_;
  return true;
}

void HeadlessView::MoveFocus(int id) {
  if (focus_ == id) return;
  const int old = focus_;
  focus_ = id;
  if (old != 0) Notify(old, ui::Notify::KillFocus);
  if (id != 0 && focus_ == id) {
    if (Control* c = Find(id); c && c->picture_button) c->button.FocusIn();
    Notify(id, ui::Notify::SetFocus);
  }
  if (Control* c = Find(old); c && c->picture_button) c->button.FocusOut();
}

void HeadlessView::Hover(int id) {
  if (Control* c = Find(id); c && c->picture_button) c->button.MouseMove();
  Invalidate(id);
}
void HeadlessView::PressMouse(int id) {
  if (Control* c = Find(id); c && c->picture_button) c->button.LeftDown();
  Invalidate(id);
}
void HeadlessView::ReleaseMouse(int id) {
  Control* c = Find(id);
  if (c && c->picture_button) c->button.LeftUp();
  Invalidate(id);
  if (Usable(id)) Click(id);
}
void HeadlessView::Leave(int id) {
  if (Control* c = Find(id); c && c->picture_button) c->button.MouseLeave();
  Invalidate(id);
}

bool HeadlessView::FireTimer(int timer) {
  if (!timer_set_.count(timer) || !controller_) return false;
  Log("fire timer " + std::to_string(timer));
  ++depth_;
  controller_->OnTimer(timer);
  --depth_;
  return true;
}

int HeadlessView::DeliverPosted() {
  int n = 0;
  for (const PostedMessage& m : port_->Drain()) {
    if (!controller_) break;
    ++n;
    ++depth_;
    controller_->OnMessage(m.message, m.wparam, m.lparam);
    --depth_;
  }
  return n;
}

int HeadlessView::WaitAndDeliver(std::chrono::milliseconds timeout) {
  port_->WaitForMessage(timeout);
  return DeliverPosted();
}

void HeadlessView::PressF1(int id) {
  if (controller_) controller_->OnHelp(id, HelpKind::F1);
}

void HeadlessView::RightClick(int id, int x, int y) {
  if (!controller_) return;
  controller_->OnHelp(id, HelpKind::ContextMenu);
  if (controller_) controller_->OnContextMenu(id, x, y);
}

void HeadlessView::CloseBox() {
  if (controller_ && !ended_) controller_->OnClose();
}

void HeadlessView::Activate(bool active) {
  if (controller_) controller_->OnActivate(active);
}

// ---- inspection ----

bool HeadlessView::LogHas(std::string_view entry) const {
  return std::find(log_.begin(), log_.end(), entry) != log_.end();
}

int HeadlessView::TimerPeriod(int timer) const {
  auto it = timers_.find(timer);
  return it == timers_.end() ? 0 : it->second;
}

std::vector<DrawOp> HeadlessView::Drawing(int id) const {
  const Control* c = Find(id);
  return c ? c->drawing : std::vector<DrawOp>{};
}

int HeadlessView::Invalidations(int id) const {
  const Control* c = Find(id);
  return c ? c->invalidations : 0;
}

int HeadlessView::TextLimit(int id) const {
  const Control* c = Find(id);
  return c ? c->text_limit : 0;
}

std::vector<HeadlessView*> HeadlessView::children() {
  std::vector<HeadlessView*> out;
  for (auto& c : children_) out.push_back(c.get());
  return out;
}

// ---- DialogView ----

void HeadlessView::SetTitle(std::string_view title) {
  title_ = title;
  Log("title " + Quote(title));
}

void HeadlessView::EndDialog(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  Log("end " + std::to_string(result));
}

ControlKind HeadlessView::Kind(int id) const {
  const Control* c = Find(id);
  return c ? c->kind : ControlKind::Custom;
}

Rect HeadlessView::ControlRect(int id) const {
  const Control* c = Find(id);
  return c ? c->rect : Rect{};
}

void HeadlessView::MoveControl(int id, const Rect& rect) {
  if (Control* c = Find(id)) {
    c->rect = rect;
    Log("move " + std::to_string(id) + " " + RectText(rect));
  }
}

void HeadlessView::SetText(int id, std::string_view text) {
  Control* c = Find(id);
  if (!c) return;
  c->text = text;
  Log("text " + std::to_string(id) + " " + Quote(text));
  if (IsEdit(*c)) {
    c->sel_start = c->sel_end = 0;
    Notify(id, ui::Notify::EditUpdate);
    Notify(id, ui::Notify::EditChange);
  }
}

std::string HeadlessView::Text(int id) const {
  const Control* c = Find(id);
  return c ? c->text : std::string();
}

void HeadlessView::Enable(int id, bool enabled) {
  if (Control* c = Find(id); c && c->enabled != enabled) {
    c->enabled = enabled;
    Log("enable " + std::to_string(id) + " " + (enabled ? "1" : "0"));
  }
}

bool HeadlessView::IsEnabled(int id) const {
  const Control* c = Find(id);
  return c && c->enabled;
}

void HeadlessView::Show(int id, bool visible) {
  if (Control* c = Find(id); c && c->visible != visible) {
    c->visible = visible;
    Log("show " + std::to_string(id) + " " + (visible ? "1" : "0"));
  }
}

bool HeadlessView::IsVisible(int id) const {
  const Control* c = Find(id);
  return c && c->visible;
}

void HeadlessView::SetFocus(int id) {
  if (id != 0 && !Find(id)) return;
  Log("focus " + std::to_string(id));
  MoveFocus(id);
}

void HeadlessView::Invalidate(int id) {
  if (Control* c = Find(id)) ++c->invalidations;
}

int HeadlessView::TextWidth(int id, std::string_view text) const {
  if (id != 0 && !Find(id)) return 0;
  // A fixed 7 pixels per character keeps extents predictable in tests.
  int chars = 0;
  for (unsigned char ch : text)
    if ((ch & 0xC0) != 0x80) ++chars;
  return chars * 7;
}

void HeadlessView::SetCheck(int id, int state) {
  if (Control* c = Find(id)) {
    c->check = state;
    Log("check " + std::to_string(id) + " " + std::to_string(state));
  }
}

int HeadlessView::Check(int id) const {
  const Control* c = Find(id);
  return c ? c->check : 0;
}

void HeadlessView::SetSelection(int id, int start, int end) {
  if (Control* c = Find(id)) {
    const int len = static_cast<int>(c->text.size());
    c->sel_start = start < 0 ? len : std::min(start, len);
    c->sel_end = end < 0 ? len : std::min(end, len);
  }
}

std::pair<int, int> HeadlessView::Selection(int id) const {
  const Control* c = Find(id);
  return c ? std::pair{c->sel_start, c->sel_end} : std::pair{0, 0};
}

void HeadlessView::SetTextLimit(int id, int characters) {
  if (Control* c = Find(id)) c->text_limit = characters;
}

void HeadlessView::ClearItems(int id) {
  if (Control* c = Find(id)) {
    c->items.clear();
    c->item_data.clear();
    c->sel = -1;
    Log("clear " + std::to_string(id));
  }
}

int HeadlessView::AddItem(int id, std::string_view text) {
  Control* c = Find(id);
  if (!c) return -1;
  int at = static_cast<int>(c->items.size());
  if (c->flags & res::kSort) {
    at = static_cast<int>(std::upper_bound(c->items.begin(), c->items.end(), std::string(text)) - c->items.begin());
  }
  return InsertItem(id, at, text);
}

int HeadlessView::InsertItem(int id, int index, std::string_view text) {
  Control* c = Find(id);
  if (!c) return -1;
  if (index < 0 || index > static_cast<int>(c->items.size())) index = static_cast<int>(c->items.size());
  c->items.insert(c->items.begin() + index, std::string(text));
  c->item_data.insert(c->item_data.begin() + index, 0);
  if (c->sel >= index) ++c->sel;
  Log("add " + std::to_string(id) + " " + Quote(text));
  return index;
}

void HeadlessView::DeleteItem(int id, int index) {
  Control* c = Find(id);
  if (!c || index < 0 || index >= static_cast<int>(c->items.size())) return;
  c->items.erase(c->items.begin() + index);
  c->item_data.erase(c->item_data.begin() + index);
  if (c->sel == index) c->sel = -1;
  else if (c->sel > index) --c->sel;
  Log("delete " + std::to_string(id) + " " + std::to_string(index));
}

int HeadlessView::ItemCount(int id) const {
  const Control* c = Find(id);
  return c ? static_cast<int>(c->items.size()) : 0;
}

std::string HeadlessView::ItemText(int id, int index) const {
  const Control* c = Find(id);
  if (!c || index < 0 || index >= static_cast<int>(c->items.size())) return {};
  return c->items[static_cast<std::size_t>(index)];
}

void HeadlessView::SetItemData(int id, int index, std::int64_t data) {
  Control* c = Find(id);
  if (c && index >= 0 && index < static_cast<int>(c->item_data.size())) c->item_data[static_cast<std::size_t>(index)] = data;
}

std::int64_t HeadlessView::ItemData(int id, int index) const {
  const Control* c = Find(id);
  if (!c || index < 0 || index >= static_cast<int>(c->item_data.size())) return 0;
  return c->item_data[static_cast<std::size_t>(index)];
}

void HeadlessView::SetCurSel(int id, int index) {
  Control* c = Find(id);
  if (!c) return;
  c->sel = (index >= 0 && index < static_cast<int>(c->items.size())) ? index : -1;
  if (c->kind == ControlKind::ComboBox || c->kind == ControlKind::DropDownList)
    c->text = c->sel >= 0 ? c->items[static_cast<std::size_t>(c->sel)] : "";
  Log("sel " + std::to_string(id) + " " + std::to_string(c->sel));
}

int HeadlessView::CurSel(int id) const {
  const Control* c = Find(id);
  return c ? c->sel : -1;
}

void HeadlessView::SetHorizontalExtent(int id, int pixels) {
  if (Find(id)) Log("extent " + std::to_string(id) + " " + std::to_string(pixels));
}

void HeadlessView::SetDroppedWidth(int id, int pixels) {
  if (Find(id)) Log("dropped width " + std::to_string(id) + " " + std::to_string(pixels));
}

void HeadlessView::SetRange(int id, Range range) {
  Control* c = Find(id);
  if (!c) return;
  c->range = range;
  c->pos = range.Clamp(c->pos);
  Log("range " + std::to_string(id) + " " + std::to_string(range.min) + ".." + std::to_string(range.max));
}

Range HeadlessView::GetRange(int id) const {
  const Control* c = Find(id);
  return c ? c->range : Range{0, 0};
}

void HeadlessView::SetPos(int id, int pos) {
  Control* c = Find(id);
  if (!c) return;
  c->pos = c->range.Clamp(pos);
  Log("pos " + std::to_string(id) + " " + std::to_string(c->pos));
}

int HeadlessView::Pos(int id) const {
  const Control* c = Find(id);
  return c ? c->pos : 0;
}

void HeadlessView::SetPageSize(int id, int page) {
  if (Control* c = Find(id)) c->page = page;
}

void HeadlessView::SetDrawing(int id, std::vector<DrawOp> ops) {
  Control* c = Find(id);
  if (!c) return;
  std::string entry = "draw " + std::to_string(id);
  for (const DrawOp& op : ops) {
    if (auto* p = std::get_if<DrawPicture>(&op)) entry += " picture " + std::to_string(p->picture.id);
    else if (auto* t = std::get_if<DrawText>(&op)) entry += " text " + Quote(t->text);
    else if (std::holds_alternative<DrawFrame>(op)) entry += " frame";
    else entry += " fill";
  }
  c->drawing = std::move(ops);
  ++c->invalidations;
  Log(entry);
}

void HeadlessView::SetButtonPictures(int id, Picture normal, Picture hot, Picture pressed,
                                     std::optional<std::uint32_t>) {
  Control* c = Find(id);
  if (!c) return;
  c->picture_button = true;
  Log("button pictures " + std::to_string(id) + " " + std::to_string(normal.id) + " " + std::to_string(hot.id) + " " +
      std::to_string(pressed.id));
}

ButtonState HeadlessView::PictureButtonState(int id) const {
  const Control* c = Find(id);
  return c ? c->button.state() : ButtonState::Normal;
}

void HeadlessView::SetTimer(int timer, int ms) {
  timers_[timer] = ms;
  timer_set_.insert(timer);
  Log("timer " + std::to_string(timer) + " " + std::to_string(ms));
}

void HeadlessView::KillTimer(int timer) {
  if (timer_set_.erase(timer)) Log("kill timer " + std::to_string(timer));
  timers_.erase(timer);
}

int HeadlessView::RunModal(const res::DialogKey& key, DialogController& controller) {
  modal_runs_.push_back(key.ToString());
  Log("modal " + key.ToString());
  std::optional<res::DialogTemplate> dialog = library_ ? library_->Dialog(key) : std::nullopt;
  if (!dialog) return -1;
  last_modal_ = std::make_unique<HeadlessView>(std::move(*dialog), library_, prompts_, shell_);
  HeadlessView& child = *last_modal_;
  if (!child.Start(controller)) return -1;
  if (!child.ended() && modal_handler_) {
    const int answer = modal_handler_(child, controller);
    if (!child.ended()) child.EndDialog(answer);
  }
  if (!child.ended()) child.CloseBox();
  const int result = child.ended() ? child.result() : IDCANCEL;
  child.Destroy();
  return result;
}

DialogView* HeadlessView::CreateChild(const res::DialogKey& key, DialogController& controller, int host_id) {
  std::optional<res::DialogTemplate> dialog = library_ ? library_->Dialog(key) : std::nullopt;
  if (!dialog) return nullptr;
  Log("child " + key.ToString() + " in " + std::to_string(host_id));
  children_.push_back(std::make_unique<HeadlessView>(std::move(*dialog), library_, prompts_, shell_));
  HeadlessView* child = children_.back().get();
  if (!child->Start(controller)) {
    children_.pop_back();
    return nullptr;
  }
  return child;
}

void HeadlessView::DestroyChild(DialogView* child) {
  auto it = std::find_if(children_.begin(), children_.end(), [&](const auto& c) { return c.get() == child; });
  if (it != children_.end()) children_.erase(it);
}

}  // namespace klm::ui
