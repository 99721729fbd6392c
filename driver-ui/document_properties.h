// The document-properties entry points: applications and the spooler read,
// convert and edit the driver's document settings through them. Without a
// prompt a DEVMODE is merged and handed back at once; with one the printing-
// preferences sheet runs in the common property-sheet service.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "driver-ui/devmode_layout.h"

namespace klm::platform {
struct PrinterHandle;
}

namespace klm::driver {

// Mode bits (DM_* of the document-properties calls).
inline constexpr std::uint32_t DM_UPDATE = 0x1;
inline constexpr std::uint32_t DM_COPY = 0x2;
inline constexpr std::uint32_t DM_PROMPT = 0x4;
inline constexpr std::uint32_t DM_ADVANCED = 0x10;
inline constexpr std::uint32_t DM_NOPERMISSION = 0x20;
inline constexpr std::uint32_t DM_WRITES_OUTPUT = DM_UPDATE | DM_COPY;

inline constexpr std::int32_t IDOK = 1;
inline constexpr std::int32_t IDCANCEL = 2;
inline constexpr std::int32_t kDevmodeAnswer = static_cast<std::int32_t>(kDriverDevmodeSize);  // 496

// DOCUMENTPROPERTYHEADER as the 64-bit platform lays it out.
struct DocumentPropertyHeader {
  std::uint16_t cbSize;          // 48
  std::uint16_t Reserved;
  void* hPrinter;                // a platform::PrinterHandle*
  const char16_t* pszPrinterName;
  const void* pdmIn;             // may be null
  void* pdmOut;                  // may be null
  std::uint32_t cbOut;           // bytes the output can take
  std::uint32_t fMode;
};
static_assert(sizeof(DocumentPropertyHeader) == 48);
static_assert(offsetof(DocumentPropertyHeader, hPrinter) == 8);
static_assert(offsetof(DocumentPropertyHeader, pdmOut) == 32);
static_assert(offsetof(DocumentPropertyHeader, cbOut) == 40);
static_assert(offsetof(DocumentPropertyHeader, fMode) == 44);

// PROPSHEETUI_INFO, the property-sheet service's sheet info.
struct PropSheetUiInfo {
  std::uint16_t cbSize;
  std::uint16_t Version;
  std::uint16_t Flags;
  std::uint16_t Reason;
  void* hComPropSheet;
  void* pfnComPropSheet;
  std::intptr_t lParamInit;  // the document-property header
  std::uintptr_t UserData;   // the context, once INIT made one
  std::uintptr_t Result;
};
static_assert(sizeof(PropSheetUiInfo) == 48);
static_assert(offsetof(PropSheetUiInfo, UserData) == 32);

// PROPSHEETUI_INFO_HEADER, filled at GET_INFO_HEADER.
struct PropSheetUiInfoHeader {
  std::uint16_t cbSize;
  std::uint16_t Flags;
  const char16_t* pTitle;
  void* hWndParent;
  void* hInst;
  std::uintptr_t IconID;
};
static_assert(sizeof(PropSheetUiInfoHeader) == 40);

// SETRESULT_INFO, the parameter of SET_RESULT.
struct SetResultInfo {
  std::uint16_t cbSize;
  std::uint16_t wReserved;
  void* hSetResult;
  std::intptr_t Result;
};
static_assert(sizeof(SetResultInfo) == 24);

inline constexpr std::uint16_t PROPSHEETUI_REASON_INIT = 0;
inline constexpr std::uint16_t PROPSHEETUI_REASON_GET_INFO_HEADER = 1;
inline constexpr std::uint16_t PROPSHEETUI_REASON_DESTROY = 2;
inline constexpr std::uint16_t PROPSHEETUI_REASON_SET_RESULT = 3;
inline constexpr std::uint16_t kSheetHeaderFlags = 6;
inline constexpr std::uintptr_t kSheetIconId = 64082;

// The sheet service's entry and the sheet function it calls back.
using SheetFunction = std::int32_t (*)(PropSheetUiInfo* info, std::intptr_t param);
using CommonPropertySheetFn = std::int32_t (*)(void* owner, SheetFunction sheet, std::intptr_t param,
                                              std::uint32_t* result);

// Runs `sheet` in the common property-sheet service ("compstui" of the
// system directory): the result the service reports, or -1 when the library
// or its "CommonPropertySheetUIW" is missing, or the service's own failure.
std::int32_t RunPropertySheet(void* owner, SheetFunction sheet, std::intptr_t param);

// DrvDocumentPropertySheets. Without sheet info `param` is a document-
// property header: mode 0 or no output answers 496; otherwise the no-prompt
// path merges the input into a fresh context and, with DM_UPDATE or DM_COPY,
// writes the output. Nothing is written unless all of it succeeds.
std::int32_t DocumentPropertySheets(PropSheetUiInfo* info, std::intptr_t param);

// After a no-prompt write: an output DEVMODE (laid out by its own header)
// whose UserFormatNo n names one of the user formats of its paper group, and
// whose paper size is not custom, gets paper size 316 + n. Any other n, or a
// private part too short to hold the fields, leaves it alone.
void ApplyUserFormatPaperSize(std::span<std::uint8_t> devmode);

// DrvDocumentProperties: 496 without mode or output; with DM_PROMPT the sheet
// (IDOK, IDCANCEL or a negative failure), else the no-prompt path (1 or -1).
std::int32_t DocumentProperties(void* window, void* printer, const char16_t* device_name,
                                void* output, const void* input, std::uint32_t mode);

// DrvAdvancedDocumentProperties: 496 without output; else the sheet with
// prompt, copy and advanced, 1 when it was accepted, 0 otherwise.
std::int32_t AdvancedDocumentProperties(void* window, void* printer, const char16_t* device_name,
                                        void* output, const void* input);

}  // namespace klm::driver
