// The common property-sheet service of the machine stand-in: one run calls a
// driver's sheet function (INIT, GET_INFO_HEADER, SET_RESULT, DESTROY), shows
// the pages it added as a tabbed window with OK, Cancel and Apply, and
// answers the sheet's result. Pages of option items are drawn from their
// items, dialog pages from the driver's templates; how the windows appear
// (Qt, or headless in tests) is a SheetDisplay.
#pragma once

#include <cstdint>

#include "resources/resource_library.h"
#include "ui/dialog_controller.h"
#include "ui/sheet_host/compstui.h"

namespace klm::ui::sheet {

class OptionPage;

// Control ids of the sheet's frame window (the platform's property-sheet ids).
inline constexpr int kTabId = 0x3020;
inline constexpr int kApplyId = 0x3021;

class SheetDisplay {
 public:
  virtual ~SheetDisplay() = default;
  // Shows template `key` of `library` as the sheet's window over `owner`
  // with `controller` until it ends: its result, -1 when it could not be shown.
  virtual int RunFrame(void* owner, const res::ResourceLibrary& library, const res::DialogKey& key,
                       DialogController& controller) = 0;
  // Runs template `key` of `library` (a driver's dialog) modally over `owner`.
  virtual int RunDialog(DialogView& owner, const res::ResourceLibrary& library, const res::DialogKey& key,
                        DialogController& controller) = 0;
  // The page now shown (nullptr: none); for displays that look into pages.
  virtual void PageShown(OptionPage* /*page*/) {}
};

// One call of the service. Writes the sheet's result (what the sheet
// function made of SET_RESULT; CPSUI_CANCEL when nothing was accepted) to
// `result` and answers it; answers -1 and leaves `result` alone when the
// sheet function refused INIT, added no page, or the window could not be shown.
std::int32_t RunPropertySheet(SheetDisplay& display, void* owner, cpsui::PropSheetUiFn sheet,
                              std::intptr_t lparam, std::uint32_t* result);

}  // namespace klm::ui::sheet
