#include "ui/sheet_host/headless_sheet.h"

namespace klm::ui::sheet {

HeadlessView* HeadlessSheet::Page() {
  if (frame_ == nullptr) return nullptr;
  auto children = frame_->children();
  return children.empty() ? nullptr : children.back();
}

cpsui::OptItem* HeadlessSheet::Item(std::uintptr_t user_data) const {
  if (page_ == nullptr || page_->page().pOptItem == nullptr) return nullptr;
  for (int i = 0; i < page_->page().cOptItem; ++i)
    if (page_->page().pOptItem[i].UserData == user_data) return &page_->page().pOptItem[i];
  return nullptr;
}

int HeadlessSheet::Control(std::uintptr_t user_data, int part) const {
  const cpsui::OptItem* item = Item(user_data);
  return item ? ItemControlId(static_cast<int>(item - page_->page().pOptItem), part) : 0;
}

void HeadlessSheet::PageShown(OptionPage* page) { page_ = page; }

int HeadlessSheet::RunFrame(void*, const res::ResourceLibrary& library, const res::DialogKey& key,
                            DialogController& controller) {
  std::optional<res::DialogTemplate> dialog = library.Dialog(key);
  if (!dialog) return -1;
  HeadlessView frame(std::move(*dialog), &library, prompts, *shell_);
  frame_ = &frame;
  if (!frame.Start(controller)) {
    frame_ = nullptr;
    return -1;
  }
  shown_ = true;
  title_ = frame.Title();
  if (user_ && !frame.ended()) user_(*this);
  if (!frame.ended()) frame.DeliverPosted();
  if (!frame.ended()) frame.CloseBox();
  const int result = frame.result();
  if (HeadlessView* shown = Page()) page_log_ = shown->log();
  frame.Destroy();
  frame_ = nullptr;
  page_ = nullptr;
  return result;
}

int HeadlessSheet::RunDialog(DialogView&, const res::ResourceLibrary& library, const res::DialogKey& key,
                             DialogController& controller) {
  dialogs_.push_back(key.ToString());
  std::optional<res::DialogTemplate> dialog = library.Dialog(key);
  if (!dialog) return -1;
  HeadlessView view(std::move(*dialog), &library, prompts, *shell_);
  if (!view.Start(controller)) return -1;
  if (!view.ended() && dialog_handler_) {
    const int answer = dialog_handler_(view, controller);
    if (!view.ended()) view.EndDialog(answer);
  }
  if (!view.ended()) view.CloseBox();
  const int result = view.result();
  view.Destroy();
  return result;
}

}  // namespace klm::ui::sheet
