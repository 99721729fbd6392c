// The binary interface of the common property-sheet service: the records a
// driver's sheet function and the service exchange, laid out as the 64-bit
// platform lays them out (the driver fills them in its own memory and hands
// pointers over), and the numbers they carry.
//
// A window handle ("hDlg") the service gives a page callback is a
// `PageWindow*`: the page's controls, and a way to run a dialog of the
// caller's own resource library over the page.
#pragma once

#include <cstddef>
#include <cstdint>

#include "resources/resource_library.h"
#include "ui/dialog_controller.h"
#include "ui/dialog_view.h"

namespace klm::cpsui {

// ---- the sheet function and its reasons (PROPSHEETUI_INFO) ----
inline constexpr std::uint16_t PROPSHEETUI_REASON_INIT = 0;
inline constexpr std::uint16_t PROPSHEETUI_REASON_GET_INFO_HEADER = 1;
inline constexpr std::uint16_t PROPSHEETUI_REASON_DESTROY = 2;
inline constexpr std::uint16_t PROPSHEETUI_REASON_SET_RESULT = 3;
inline constexpr std::uint16_t PROPSHEETUI_INFO_VERSION = 0x0100;
inline constexpr std::uint16_t PSUIINFO_UNICODE = 0x1;

// Results of a sheet.
inline constexpr std::intptr_t CPSUI_CANCEL = 0;
inline constexpr std::intptr_t CPSUI_OK = 1;

using ComPropSheetFn = std::intptr_t (*)(void* handle, std::uint32_t function, std::intptr_t lparam1,
                                         std::intptr_t lparam2);

struct PropSheetUiInfo {
  std::uint16_t cbSize;  // 48
  std::uint16_t Version;
  std::uint16_t Flags;
  std::uint16_t Reason;
  void* hComPropSheet;
  ComPropSheetFn pfnComPropSheet;
  std::intptr_t lParamInit;  // what the service's caller passed
  std::uintptr_t UserData;   // the driver's, kept between calls
  std::uintptr_t Result;     // what the sheet answers its caller
};
static_assert(sizeof(PropSheetUiInfo) == 48);
static_assert(offsetof(PropSheetUiInfo, pfnComPropSheet) == 16);
static_assert(offsetof(PropSheetUiInfo, UserData) == 32);
static_assert(offsetof(PropSheetUiInfo, Result) == 40);

using PropSheetUiFn = std::int32_t (*)(PropSheetUiInfo* info, std::intptr_t lparam);

// Filled by the sheet function at GET_INFO_HEADER.
inline constexpr std::uint16_t PSUIHDRF_NOAPPLYNOW = 0x2;  // no Apply button
inline constexpr std::uint16_t PSUIHDRF_PROPTITLE = 0x4;   // "<title> Properties"
struct PropSheetUiInfoHeader {
  std::uint16_t cbSize;  // 40
  std::uint16_t Flags;
  const char16_t* pTitle;
  void* hWndParent;
  void* hInst;
  std::uintptr_t IconID;
};
static_assert(sizeof(PropSheetUiInfoHeader) == 40);
static_assert(offsetof(PropSheetUiInfoHeader, IconID) == 32);

// The parameter of SET_RESULT.
struct SetResultInfo {
  std::uint16_t cbSize;  // 24
  std::uint16_t wReserved;
  void* hSetResult;
  std::intptr_t Result;
};
static_assert(sizeof(SetResultInfo) == 24);

// A device-property sheet's parameter.
inline constexpr std::uint16_t DPS_NOPERMISSION = 0x1;
struct DevicePropertyHeader {
  std::uint16_t cbSize;  // 24
  std::uint16_t Flags;
  void* hPrinter;
  const char16_t* pszPrinterName;
};
static_assert(sizeof(DevicePropertyHeader) == 24);
static_assert(offsetof(DevicePropertyHeader, pszPrinterName) == 16);

// ---- service functions (the sheet function calls pfnComPropSheet) ----
inline constexpr std::uint32_t CPSFUNC_ADD_PCOMPROPSHEETUIW = 3;  // lparam1 COMPROPSHEETUI*, lparam2 u32* pages added
inline constexpr std::uint32_t CPSFUNC_GET_PAGECOUNT = 8;
inline constexpr std::uint32_t CPSFUNC_SET_RESULT = 9;
// The property-sheet window's own requests, as service functions here:
// press a button (lparam1 PSBTN_*), mark the sheet changed or unchanged
// (lparam1 the page's handle or 0; enables or disables Apply).
inline constexpr std::uint32_t CPSFUNC_PRESS_BUTTON = 0x100;
inline constexpr std::uint32_t CPSFUNC_CHANGED = 0x101;
inline constexpr std::uint32_t CPSFUNC_UNCHANGED = 0x102;
inline constexpr std::intptr_t PSBTN_OK = 3;
inline constexpr std::intptr_t PSBTN_APPLYNOW = 4;
inline constexpr std::intptr_t PSBTN_CANCEL = 5;

// ---- option items ----
// Item kinds (OPTTYPE::Type).
inline constexpr std::uint8_t TVOT_2STATES = 0;
inline constexpr std::uint8_t TVOT_3STATES = 1;
inline constexpr std::uint8_t TVOT_UDARROW = 2;
inline constexpr std::uint8_t TVOT_TRACKBAR = 3;
inline constexpr std::uint8_t TVOT_SCROLLBAR = 4;
inline constexpr std::uint8_t TVOT_LISTBOX = 5;
inline constexpr std::uint8_t TVOT_COMBOBOX = 6;
inline constexpr std::uint8_t TVOT_EDITBOX = 7;
inline constexpr std::uint8_t TVOT_PUSHBUTTON = 8;
inline constexpr std::uint8_t TVOT_CHKBOX = 9;
inline constexpr std::uint8_t TVOT_NSTATES_EX = 10;

// Push-button styles (OPTPARAM::Style of a TVOT_PUSHBUTTON's parameter).
inline constexpr std::uint8_t PUSHBUTTON_TYPE_DLGPROC = 0;
inline constexpr std::uint8_t PUSHBUTTON_TYPE_CALLBACK = 1;

// OPTPARAM::Flags.
inline constexpr std::uint8_t OPTPF_HIDE = 0x1;
inline constexpr std::uint8_t OPTPF_DISABLED = 0x2;

// OPTITEM::Flags.
inline constexpr std::uint32_t OPTIF_COLLAPSE = 0x1;
inline constexpr std::uint32_t OPTIF_HIDE = 0x2;
inline constexpr std::uint32_t OPTIF_CALLBACK = 0x4;
inline constexpr std::uint32_t OPTIF_CHANGED = 0x8;
inline constexpr std::uint32_t OPTIF_CHANGEONCE = 0x10;
inline constexpr std::uint32_t OPTIF_DISABLED = 0x20;

struct OptParam {
  std::uint16_t cbSize;  // 48
  std::uint8_t Flags;
  std::uint8_t Style;
  // A text; for a callback push button the button's callback (CpsuiCallback).
  void* pData;
  std::uintptr_t IconID;  // the low end of an up-down's range in its second parameter
  std::intptr_t lParam;   // the high end of an up-down's range in its second parameter
  std::uintptr_t dwReserved[2];
};
static_assert(sizeof(OptParam) == 48);
static_assert(offsetof(OptParam, pData) == 8);
static_assert(offsetof(OptParam, lParam) == 24);

struct OptType {
  std::uint16_t cbSize;  // 48
  std::uint8_t Type;     // TVOT_*
  std::uint8_t Flags;
  std::uint16_t Count;   // parameters at pOptParam
  std::uint16_t BegCtrlID;
  OptParam* pOptParam;
  std::uint16_t Style;
  std::uint16_t wReserved[3];
  std::uintptr_t dwReserved[3];
};
static_assert(sizeof(OptType) == 48);
static_assert(offsetof(OptType, pOptParam) == 8);
static_assert(offsetof(OptType, Style) == 16);

struct OptItem {
  std::uint16_t cbSize;  // 88
  std::uint8_t Level;
  std::uint8_t DlgPageIdx;
  std::uint32_t Flags;   // OPTIF_*
  std::uintptr_t UserData;
  const char16_t* pName;
  union {
    std::int32_t Sel;  // the value: an option index, a number, a check state
    const char16_t* pSel;
    std::uintptr_t SelBits;
  };
  void* pExtChkBox;
  OptType* pOptType;  // nullptr: a header item
  std::uint32_t HelpIndex;
  std::uint8_t DMPubID;
  std::uint8_t UserItemID;
  std::uint16_t wReserved;
  void* pOIExt;
  std::uintptr_t dwReserved[3];
};
static_assert(sizeof(OptItem) == 88);
static_assert(offsetof(OptItem, UserData) == 8);
static_assert(offsetof(OptItem, Sel) == 24);
static_assert(offsetof(OptItem, pOptType) == 40);
static_assert(offsetof(OptItem, HelpIndex) == 48);

// ---- the page callback ----
inline constexpr std::uint16_t CPSUICB_REASON_SEL_CHANGED = 0;
inline constexpr std::uint16_t CPSUICB_REASON_PUSHBUTTON = 1;
inline constexpr std::uint16_t CPSUICB_REASON_ECB_CHANGED = 2;
inline constexpr std::uint16_t CPSUICB_REASON_APPLYNOW = 6;
inline constexpr std::uint16_t CPSUICB_REASON_ITEMS_REVERTED = 8;
inline constexpr std::uint16_t CPSUICB_REASON_ABOUT = 9;
inline constexpr std::uint16_t CPSUICB_REASON_SETACTIVE = 10;
inline constexpr std::uint16_t CPSUICB_REASON_KILLACTIVE = 11;

inline constexpr std::int32_t CPSUICB_ACTION_NONE = 0;
inline constexpr std::int32_t CPSUICB_ACTION_OPTIF_CHANGED = 1;  // redraw items flagged OPTIF_CHANGED
inline constexpr std::int32_t CPSUICB_ACTION_REINIT_ITEMS = 2;   // redraw every item
inline constexpr std::int32_t CPSUICB_ACTION_NO_APPLY_EXIT = 3;  // refuse the apply, keep the sheet open
inline constexpr std::int32_t CPSUICB_ACTION_ITEMS_APPLIED = 4;

struct CpsuiCbParam {
  std::uint16_t cbSize;  // 64
  std::uint16_t Reason;
  void* hDlg;  // a PageWindow*
  OptItem* pOptItem;
  std::uint16_t cOptItem;
  std::uint16_t Flags;
  OptItem* pCurItem;
  union {
    std::int32_t OldSel;
    const char16_t* pOldSel;
  };
  std::uintptr_t UserData;
  std::uintptr_t Result;
};
static_assert(sizeof(CpsuiCbParam) == 64);
static_assert(offsetof(CpsuiCbParam, pCurItem) == 32);
static_assert(offsetof(CpsuiCbParam, UserData) == 48);

using CpsuiCallback = std::int32_t (*)(CpsuiCbParam* param);

// ---- a page of option items ----
inline constexpr std::uint16_t CPSUIF_UPDATE_PERMISSION = 0x1;  // items may be changed
inline constexpr std::uint16_t CPSUIF_ABOUT_CALLBACK = 0x4;     // an About button calls the callback

// A page drawn from a template of the caller's own resource library. For
// such pages the COMPROPSHEETUI's hInstCaller is the `const
// res::ResourceLibrary*` holding the templates.
struct DlgPage {
  std::uint16_t cbSize;  // 40
  std::uint16_t Flags;
  void* DlgProc;                  // a DialogPageProc*: the page's controller
  const char16_t* pTabName;       // text, or a string id of the library (< 0x10000)
  std::uintptr_t IconID;
  std::uintptr_t DlgTemplateID;   // template number (< 0x10000), or a const char16_t* name
};
static_assert(sizeof(DlgPage) == 40);

// Standard page layouts a COMPROPSHEETUI may name instead of its own pages.
inline constexpr std::uintptr_t CPSUI_PDLGPAGE_DOCPROP = 1;
inline constexpr std::uintptr_t CPSUI_PDLGPAGE_ADVDOCPROP = 2;
inline constexpr std::uintptr_t CPSUI_PDLGPAGE_PRINTERPROP = 3;
inline constexpr std::uintptr_t CPSUI_PDLGPAGE_TREEVIEWONLY = 4;

struct ComPropSheetUi {
  std::uint16_t cbSize;  // 128
  std::uint16_t Flags;   // CPSUIF_*
  void* hInstCaller;
  const char16_t* pCallerName;
  std::uintptr_t UserData;
  const char16_t* pHelpFile;
  CpsuiCallback pfnCallBack;
  OptItem* pOptItem;
  DlgPage* pDlgPage;  // or a CPSUI_PDLGPAGE_* value
  std::uint16_t cOptItem;
  std::uint16_t cDlgPage;
  std::uintptr_t IconID;
  const char16_t* pOptItemName;
  std::uint16_t CallerVersion;
  std::uint16_t OptItemVersion;
  std::uintptr_t dwReserved[4];
};
static_assert(sizeof(ComPropSheetUi) == 128);
static_assert(offsetof(ComPropSheetUi, pfnCallBack) == 40);
static_assert(offsetof(ComPropSheetUi, cOptItem) == 64);
static_assert(offsetof(ComPropSheetUi, IconID) == 72);
static_assert(offsetof(ComPropSheetUi, CallerVersion) == 88);

// The service's entry point: runs the sheet of `sheet` over `owner`; writes
// the sheet's result (CPSUI_OK, CPSUI_CANCEL, ...) to `result`. Answers a
// negative number when the sheet could not be shown.
using CommonPropertySheetFn = std::int32_t (*)(void* owner, PropSheetUiFn sheet, std::intptr_t lparam,
                                              std::uint32_t* result);
inline constexpr const char* kServiceEntry = "CommonPropertySheetUIW";
inline constexpr std::int32_t ERR_CPSUI_GETLASTERROR = -1;

// The controller of a dialog page (what DlgPage::DlgProc points at). It gets
// its controls' notifications as any dialog's controller, and the sheet's:
// its window exists while its tab is shown, so OnApply and OnReset may come
// while it is not attached (check attached() before using view()). Only
// pages shown at least once hear OnApply and OnReset.
class DialogPageProc : public ui::DialogController {
 public:
  virtual void OnSetActive() {}
  // False keeps this page shown (its values are not acceptable yet).
  virtual bool OnKillActive() { return true; }
  // False refuses the apply: the sheet stays open.
  virtual bool OnApply() { return true; }
  // The sheet is cancelled.
  virtual void OnReset() {}
};

// What a page callback gets as hDlg.
class PageWindow {
 public:
  // The page's controls, and through them the prompts and the shell.
  virtual ui::DialogView& view() = 0;
  // Runs template `key` of `library` modally over the page.
  virtual int RunDialog(const res::ResourceLibrary& library, const res::DialogKey& key,
                        ui::DialogController& controller) = 0;

 protected:
  ~PageWindow() = default;
};

}  // namespace klm::cpsui
