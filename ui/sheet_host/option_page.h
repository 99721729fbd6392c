// A page of option items: its window is built from the items (one row per
// item: a label and the item's controls), its controller keeps each item's
// value (Sel) in step with the controls and calls the driver's callbacks.
// The items stay the driver's: the page reads and writes them in place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resources/dialog_template.h"
#include "ui/dialog_controller.h"
#include "ui/sheet_host/compstui.h"

namespace klm::ui::sheet {

// Control ids of item `item` (its index on the page): the label, the value
// control (edit, drop-down list, check box, button; the first radio button,
// option k at kValue + k) and, for numbers, the up-down and the unit text.
inline constexpr int kItemIdBase = 1000;
inline constexpr int kItemIdStride = 100;
inline constexpr int kMaxShownOptions = 64;
enum ItemPart : int { kLabel = 0, kValue = 1, kUpDown = 2, kUnit = 3 };
constexpr int ItemControlId(int item, int part) { return kItemIdBase + item * kItemIdStride + part; }
inline constexpr int kAboutId = 900;

// What the page needs of the sheet around it.
class PageHost {
 public:
  virtual ~PageHost() = default;
  // The user changed a value: the sheet can be applied.
  virtual void PageChanged() = 0;
  virtual int RunDialog(DialogView& owner, const res::ResourceLibrary& library, const res::DialogKey& key,
                        DialogController& controller) = 0;
};

// A text the driver gave: UTF-16 up to its terminator (at most 4096 units).
// A null pointer or a resource number (below 0x10000) gives "".
std::string ItemText(const void* text);

// The tab title of a page: its item name, else its caller name.
std::string PageTitle(const cpsui::ComPropSheetUi& page);

// The page's window, a child template named `name`.
res::DialogTemplate BuildOptionPageTemplate(const cpsui::ComPropSheetUi& page, const std::string& name);

class OptionPage : public DialogController {
 public:
  OptionPage(cpsui::ComPropSheetUi& page, PageHost& host);

  // Items may be changed (the page's update permission).
  bool editable() const { return (page_.Flags & cpsui::CPSUIF_UPDATE_PERMISSION) != 0; }
  cpsui::ComPropSheetUi& page() { return page_; }

  // The page becomes the shown one, or stops being it.
  void Activate();
  void Deactivate();
  // The sheet is applied: the page callback hears APPLYNOW. False when it
  // answered CPSUICB_ACTION_NO_APPLY_EXIT (the sheet stays open); else
  // `result` gets what it set (CPSUI_OK unless it said otherwise).
  bool Apply(std::uintptr_t& result);
  // The sheet is cancelled: items changed since the last apply get their
  // values back, and the callback hears ITEMS_REVERTED.
  void Revert();

  bool OnInit() override;
  void OnClick(int id) override;
  void OnSelChange(int id) override;
  void OnEditChanged(int id) override;
  void OnKillFocus(int id) override;
  void OnScroll(int id, ScrollCode code, int pos) override;

 private:
  // What the page callback's hDlg is.
  class Window : public cpsui::PageWindow {
   public:
    explicit Window(OptionPage& page) : page_(page) {}
    DialogView& view() override { return page_.view(); }
    int RunDialog(const res::ResourceLibrary& library, const res::DialogKey& key,
                  DialogController& controller) override {
      return page_.host_.RunDialog(page_.view(), library, key, controller);
    }

   private:
    OptionPage& page_;
  };

  struct Answer {
    std::int32_t action = cpsui::CPSUICB_ACTION_NONE;
    std::uintptr_t result = cpsui::CPSUI_OK;
  };
  Answer Call(cpsui::CpsuiCallback callback, std::uint16_t reason, cpsui::OptItem* current, std::int32_t old_sel);
  Answer Callback(std::uint16_t reason, cpsui::OptItem* current, std::int32_t old_sel = 0);
  void Act(std::int32_t action);
  void ShowItem(int index);
  // The user set item `index` to `sel`.
  void UserSet(int index, std::int32_t sel);
  // Item and part of a control id; false for ids that are no item's.
  bool Locate(int id, int& index, int& part) const;
  cpsui::OptItem& Item(int index) { return page_.pOptItem[index]; }
  int Count() const { return page_.pOptItem ? page_.cOptItem : 0; }

  cpsui::ComPropSheetUi& page_;
  PageHost& host_;
  Window window_{*this};
  std::vector<std::int32_t> applied_;  // each item's value at the last apply
  int writing_ = 0;                    // > 0 while the page writes its own edits
};

}  // namespace klm::ui::sheet
