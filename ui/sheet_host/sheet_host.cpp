#include "ui/sheet_host/sheet_host.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/sheet_host/option_page.h"

namespace klm::ui::sheet {
namespace {

using namespace klm::cpsui;

constexpr std::uint32_t kPressMessage = 0x8001;
constexpr int kButtonW = 80, kButtonH = 24, kGap = 6;

class Session : public DialogController, public PageHost {
 public:
  Session(SheetDisplay& display, void* owner, PropSheetUiFn sheet, std::intptr_t lparam)
      : display_(display), owner_(owner), sheet_(sheet) {
    info_.cbSize = sizeof info_;
    info_.Version = PROPSHEETUI_INFO_VERSION;
    info_.Flags = PSUIINFO_UNICODE;
    info_.hComPropSheet = this;
    info_.pfnComPropSheet = &Session::Service;
    info_.lParamInit = lparam;
  }

  std::int32_t Run(std::uint32_t* result);

  // ---- the frame window ----
  bool OnInit() override;
  void OnClick(int id) override;
  void OnSelChange(int id) override;
  void OnMessage(std::uint32_t message, std::uint64_t wparam, std::int64_t lparam) override;
  void OnDestroy() override;

  // ---- PageHost ----
  void PageChanged() override {
    if (attached()) view().Enable(kApplyId, true);
  }
  int RunDialog(DialogView& owner, const res::ResourceLibrary& library, const res::DialogKey& key,
                DialogController& controller) override {
    return display_.RunDialog(owner, library, key, controller);
  }

 private:
  // A page of option items (`options`) or of the driver's own template (`proc`).
  struct Page {
    ComPropSheetUi* source;
    std::unique_ptr<OptionPage> options;
    DialogPageProc* proc = nullptr;
    res::DialogTemplate dialog;
    std::string title;
    DialogView* view = nullptr;
    bool shown_once = false;
    DialogController& controller() {
      return options ? static_cast<DialogController&>(*options) : static_cast<DialogController&>(*proc);
    }
  };

  static std::intptr_t Service(void* handle, std::uint32_t function, std::intptr_t lparam1, std::intptr_t lparam2);
  std::intptr_t AddPage(ComPropSheetUi* page, std::uint32_t* added);
  std::intptr_t AddDialogPages(ComPropSheetUi* page, std::uint32_t* added);
  std::int32_t CallSheet(std::uint16_t reason, std::intptr_t lparam) {
    info_.Reason = reason;
    return sheet_(&info_, lparam);
  }
  void ShowPage(int index);
  bool ApplyAll();
  void Press(std::intptr_t button);
  res::ResourceLibrary BuildLibrary(const std::string& title, bool apply_button);

  SheetDisplay& display_;
  void* owner_;
  PropSheetUiFn sheet_;
  PropSheetUiInfo info_{};
  std::vector<Page> pages_;
  int current_ = -1;
  bool applied_ = false;
  bool running_ = false;
  std::string title_;
};

std::intptr_t Session::Service(void* handle, std::uint32_t function, std::intptr_t lparam1, std::intptr_t lparam2) {
  auto* self = static_cast<Session*>(handle);
  if (self == nullptr) return 0;
  switch (function) {
    case CPSFUNC_ADD_PCOMPROPSHEETUIW:
      return self->AddPage(reinterpret_cast<ComPropSheetUi*>(lparam1), reinterpret_cast<std::uint32_t*>(lparam2));
    case CPSFUNC_GET_PAGECOUNT: return static_cast<std::intptr_t>(self->pages_.size());
    case CPSFUNC_SET_RESULT:
      self->info_.Result = static_cast<std::uintptr_t>(lparam2);
      return 1;
    case CPSFUNC_PRESS_BUTTON:
      // As the window's message would: handled once the current notification returned.
      if (!self->running_ || !self->attached()) return 0;
      self->view().GetPoster().Post(kPressMessage, static_cast<std::uint64_t>(lparam1), 0);
      return 1;
    case CPSFUNC_CHANGED:
    case CPSFUNC_UNCHANGED:
      if (!self->running_ || !self->attached()) return 0;
      self->view().Enable(kApplyId, function == CPSFUNC_CHANGED);
      return 1;
    default: return 0;
  }
}

std::intptr_t Session::AddPage(ComPropSheetUi* page, std::uint32_t* added) {
  if (added) *added = 0;
  // Pages are added while the sheet is being set up, and only whole records.
  if (running_ || page == nullptr || page->cbSize < sizeof(ComPropSheetUi)) return 0;
  if (page->cOptItem > 0 && page->pOptItem == nullptr) return 0;
  const auto layout = reinterpret_cast<std::uintptr_t>(page->pDlgPage);
  if (page->cDlgPage > 0 && layout > CPSUI_PDLGPAGE_TREEVIEWONLY) return AddDialogPages(page, added);
  Page added_page{page};
  added_page.options = std::make_unique<OptionPage>(*page, *this);
  pages_.push_back(std::move(added_page));
  if (added) *added = 1;
  return static_cast<std::intptr_t>(pages_.size());
}

// Every DLGPAGE becomes a tab, or none does: a record the service cannot
// show (no controller, a template the library lacks) refuses the whole add.
// Option items of such a page stay the driver's data; they are not drawn.
std::intptr_t Session::AddDialogPages(ComPropSheetUi* page, std::uint32_t* added) {
  const auto* library = static_cast<const res::ResourceLibrary*>(page->hInstCaller);
  if (library == nullptr) return 0;
  std::vector<Page> adding;
  for (std::uint16_t i = 0; i < page->cDlgPage; ++i) {
    const DlgPage& record = page->pDlgPage[i];
    if (record.cbSize < sizeof(DlgPage) || record.DlgProc == nullptr) return 0;
    const res::DialogKey key = record.DlgTemplateID < 0x10000
                                   ? res::DialogKey(static_cast<std::int32_t>(record.DlgTemplateID))
                                   : res::DialogKey(ItemText(reinterpret_cast<const char16_t*>(record.DlgTemplateID)));
    std::optional<res::DialogTemplate> dialog = library->Dialog(key);
    if (!dialog) return 0;
    Page p{page};
    p.proc = static_cast<DialogPageProc*>(record.DlgProc);
    const auto tab_name = reinterpret_cast<std::uintptr_t>(record.pTabName);
    if (tab_name != 0 && tab_name < 0x10000) p.title = library->LoadString(static_cast<std::uint32_t>(tab_name)).value_or("");
    else p.title = ItemText(record.pTabName);
    if (p.title.empty()) p.title = dialog->title.empty() ? PageTitle(*page) : dialog->title;
    p.dialog = std::move(*dialog);
    adding.push_back(std::move(p));
  }
  for (Page& p : adding) pages_.push_back(std::move(p));
  if (added) *added = page->cDlgPage;
  return static_cast<std::intptr_t>(pages_.size());
}

res::ResourceLibrary Session::BuildLibrary(const std::string& title, bool apply_button) {
  res::LibraryBuilder builder;
  int page_w = 0, page_h = 0;
  res::DialogTemplate tabs_holder;
  std::vector<std::string> titles;
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    res::DialogTemplate page;
    if (pages_[i].options) {
      page = BuildOptionPageTemplate(*pages_[i].source, "PAGE" + std::to_string(i));
    } else {
      page = pages_[i].dialog;
      page.name = "PAGE" + std::to_string(i);
      page.number = 0;
      page.title = pages_[i].title;
    }
    page_w = std::max(page_w, page.width);
    page_h = std::max(page_h, page.height);
    titles.push_back(page.title);
    builder.AddDialog(page);
  }

  res::DialogTemplate frame;
  frame.name = "SHEET";
  frame.title = title;
  const int tab_h = 24;
  frame.width = page_w + 16;
  const int buttons_y = 8 + tab_h + page_h + 10;
  frame.height = buttons_y + kButtonH + 10;
  res::ControlTemplate tab;
  tab.id = kTabId;
  tab.kind = res::ControlKind::Tab;
  tab.rect = {8, 8, page_w, tab_h};
  tab.items = titles;
  frame.controls.push_back(tab);
  const std::pair<int, const char*> buttons[] = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}, {kApplyId, "&Apply"}};
  int x = frame.width - 8 - 3 * kButtonW - 2 * kGap;
  for (const auto& [id, text] : buttons) {
    res::ControlTemplate b;
    b.id = id;
    b.kind = id == IDOK ? res::ControlKind::DefButton : res::ControlKind::Button;
    b.rect = {x, buttons_y, kButtonW, kButtonH};
    b.text = text;
    if (id == kApplyId) b.flags = res::kDisabled | (apply_button ? 0 : res::kHidden);
    frame.controls.push_back(b);
    x += kButtonW + kGap;
  }
  builder.AddDialog(frame);
  auto library = res::ResourceLibrary::FromBytes(builder.Serialize(), "property sheet");
  return std::move(*library);
}

void Session::ShowPage(int index) {
  if (index == current_ || index < 0 || index >= static_cast<int>(pages_.size())) return;
  if (current_ >= 0) {
    Page& old = pages_[current_];
    if (old.proc && old.view && !old.proc->OnKillActive()) {
      view().SetCurSel(kTabId, current_);  // the page keeps the sheet on it
      return;
    }
    if (old.options) old.options->Deactivate();
    // One page window at a time; the items keep the page's state.
    if (old.view) view().DestroyChild(old.view);
    old.view = nullptr;
  }
  current_ = index;
  Page& page = pages_[index];
  page.view = view().CreateChild(res::DialogKey("PAGE" + std::to_string(index)), page.controller(), kTabId);
  view().SetCurSel(kTabId, index);
  display_.PageShown(page.view && page.options ? page.options.get() : nullptr);
  if (!page.view) return;
  page.shown_once = true;
  if (page.options) page.options->Activate();
  else page.proc->OnSetActive();
}

bool Session::OnInit() {
  running_ = true;
  view().SetTitle(title_);
  ShowPage(0);
  return true;
}

void Session::OnDestroy() {
  display_.PageShown(nullptr);
  running_ = false;
  current_ = -1;
}

void Session::OnSelChange(int id) {
  if (id == kTabId) ShowPage(view().CurSel(kTabId));
}

bool Session::ApplyAll() {
  std::uintptr_t result = CPSUI_OK;
  for (Page& page : pages_) {
    if (page.proc) {
      if (page.shown_once && !page.proc->OnApply()) return false;
      continue;
    }
    std::uintptr_t page_result = CPSUI_OK;
    if (!page.options->Apply(page_result)) return false;
    if (page_result != CPSUI_OK) result = page_result;
  }
  SetResultInfo set{};
  set.cbSize = sizeof set;
  set.hSetResult = this;
  set.Result = static_cast<std::intptr_t>(result);
  (void)CallSheet(PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<std::intptr_t>(&set));
  applied_ = true;
  view().Enable(kApplyId, false);
  return true;
}

void Session::Press(std::intptr_t button) {
  switch (button) {
    case PSBTN_OK:
      if (ApplyAll()) view().EndDialog(IDOK);
      break;
    case PSBTN_APPLYNOW: (void)ApplyAll(); break;
    case PSBTN_CANCEL: {
      for (Page& page : pages_) {
        if (page.options) page.options->Revert();
        else if (page.shown_once) page.proc->OnReset();
      }
      // A sheet applied before keeps the result it was given then.
      if (!applied_) {
        SetResultInfo set{};
        set.cbSize = sizeof set;
        set.hSetResult = this;
        set.Result = CPSUI_CANCEL;
        (void)CallSheet(PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<std::intptr_t>(&set));
      }
      view().EndDialog(IDCANCEL);
      break;
    }
    default: break;
  }
}

void Session::OnClick(int id) {
  if (id == IDOK) Press(PSBTN_OK);
  else if (id == IDCANCEL) Press(PSBTN_CANCEL);
  else if (id == kApplyId) Press(PSBTN_APPLYNOW);
}

void Session::OnMessage(std::uint32_t message, std::uint64_t wparam, std::int64_t) {
  if (message == kPressMessage) Press(static_cast<std::intptr_t>(wparam));
}

std::int32_t Session::Run(std::uint32_t* result) {
  if (sheet_ == nullptr) return ERR_CPSUI_GETLASTERROR;
  if (CallSheet(PROPSHEETUI_REASON_INIT, info_.lParamInit) <= 0) return ERR_CPSUI_GETLASTERROR;
  if (pages_.empty()) {
    (void)CallSheet(PROPSHEETUI_REASON_DESTROY, 0);
    return ERR_CPSUI_GETLASTERROR;
  }

  PropSheetUiInfoHeader header{};
  header.cbSize = sizeof header;
  header.hWndParent = owner_;
  std::uint16_t flags = 0;
  if (CallSheet(PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<std::intptr_t>(&header)) > 0) {
    title_ = ItemText(header.pTitle);
    flags = header.Flags;
  }
  if (flags & PSUIHDRF_PROPTITLE) title_ += title_.empty() ? "Properties" : " Properties";

  const res::ResourceLibrary library = BuildLibrary(title_, !(flags & PSUIHDRF_NOAPPLYNOW));
  const int shown = display_.RunFrame(owner_, library, res::DialogKey("SHEET"), *this);
  (void)CallSheet(PROPSHEETUI_REASON_DESTROY, 0);
  if (shown < 0) return ERR_CPSUI_GETLASTERROR;
  const auto answer = static_cast<std::uint32_t>(info_.Result);
  if (result) *result = answer;
  return static_cast<std::int32_t>(answer);
}

}  // namespace

std::int32_t RunPropertySheet(SheetDisplay& display, void* owner, PropSheetUiFn sheet, std::intptr_t lparam,
                              std::uint32_t* result) {
  Session session(display, owner, sheet, lparam);
  return session.Run(result);
}

}  // namespace klm::ui::sheet
