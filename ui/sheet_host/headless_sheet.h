// The property sheet without a toolkit, for tests and for runs without a
// display: the sheet's window is a HeadlessView, and a script plays its user.
//
//   HeadlessSheet sheet;
//   sheet.OnShow([](HeadlessSheet& s) {
//     s.Page()->Type(s.Control(26, kValue), "50");   // the item with user data 26
//     s.Frame()->Click(IDOK);
//   });
//   std::uint32_t result = 0;
//   RunPropertySheet(sheet, nullptr, &DriverSheet, param, &result);
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/headless_view.h"
#include "ui/sheet_host/option_page.h"
#include "ui/sheet_host/sheet_host.h"

namespace klm::ui::sheet {

class HeadlessSheet : public SheetDisplay {
 public:
  // `shell` (default: a RecordingShell of this sheet) starts programs.
  explicit HeadlessSheet(Shell* shell = nullptr) : shell_(shell ? shell : &recording) {}

  // The script run while the sheet is shown. If the sheet is still open
  // afterwards, posted requests are delivered and then the close box ends it.
  void OnShow(std::function<void(HeadlessSheet&)> user) { user_ = std::move(user); }
  // Plays the user of a dialog a page runs (the version dialog); without a
  // handler it is closed with the close box.
  void OnDialog(HeadlessView::ModalHandler handler) { dialog_handler_ = std::move(handler); }

  // While shown: the sheet's window and the current page's window.
  HeadlessView* Frame() { return frame_; }
  HeadlessView* Page();
  // The control `part` of the current page's item whose user data is
  // `user_data`; 0 when the page has no such item.
  int Control(std::uintptr_t user_data, int part) const;
  // The current page's item with that user data, or nullptr.
  cpsui::OptItem* Item(std::uintptr_t user_data) const;

  // ---- what happened ----
  bool shown() const { return shown_; }
  const std::string& title() const { return title_; }
  const std::vector<std::string>& dialogs() const { return dialogs_; }
  // The last page's window log, kept after the sheet closed.
  const std::vector<std::string>& page_log() const { return page_log_; }

  HeadlessPrompts prompts;
  RecordingShell recording;

  // ---- SheetDisplay ----
  int RunFrame(void* owner, const res::ResourceLibrary& library, const res::DialogKey& key,
               DialogController& controller) override;
  int RunDialog(DialogView& owner, const res::ResourceLibrary& library, const res::DialogKey& key,
                DialogController& controller) override;
  void PageShown(OptionPage* page) override;

 private:
  Shell* shell_;
  std::function<void(HeadlessSheet&)> user_;
  HeadlessView::ModalHandler dialog_handler_;
  HeadlessView* frame_ = nullptr;
  OptionPage* page_ = nullptr;
  bool shown_ = false;
  std::string title_;
  std::vector<std::string> dialogs_;
  std::vector<std::string> page_log_;
};

}  // namespace klm::ui::sheet
