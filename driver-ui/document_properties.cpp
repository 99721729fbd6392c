#include "driver-ui/document_properties.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "driver-ui/default_settings.h"
#include "driver-ui/devmode_copy.h"
#include "driver-ui/devmode_merge.h"
#include "driver-ui/library_state.h"
#include "driver-ui/printer_context.h"
#include "driver-ui/user_formats.h"
#include "platform/machine_root.h"
#include "platform/module.h"
#include "platform/win_errors.h"

namespace klm::driver {
namespace {

constexpr std::size_t kPaperSizeAt = offsetof(DevmodePublic, dmPaperSize);
constexpr std::size_t kExtRequestAt = offsetof(PrivDevmode, Ext) + offsetof(AppExtension, ExtRequest);
constexpr std::size_t kUserFormatNoAt = offsetof(PrivDevmode, UserFormatNo);
constexpr std::size_t kPaperGroupAt = offsetof(PrivDevmode, PaperGroup);

std::uint16_t Get16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
void Put16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// A DEVMODE laid out by its own header (public part dmSize bytes, private
// part dmDriverExtra bytes): where a private field is, if it is there at all.
std::optional<std::size_t> PrivateAt(std::span<const std::uint8_t> devmode, std::size_t offset,
                                     std::size_t width) {
  const auto header = ReadDevmodeHeader(devmode);
  if (!header || offset + width > header->driver_extra) return std::nullopt;
  const std::size_t at = std::size_t{header->size} + offset;
  if (at + width > devmode.size()) return std::nullopt;
  return at;
}

}  // namespace

void ApplyUserFormatPaperSize(std::span<std::uint8_t> out) {
  const auto header = ReadDevmodeHeader(out);
  if (!header || header->size < kPaperSizeAt + 2) return;
  const auto number_at = PrivateAt(out, kUserFormatNoAt, 1);
  const auto group_at = PrivateAt(out, kPaperGroupAt, 1);
  if (!number_at || !group_at) return;
  const int n = out[*number_at];
  if (n == 0 || static_cast<std::int16_t>(Get16(out, kPaperSizeAt)) == kCustomPaperId) return;
  const std::vector<UserFormat> formats = ReadUserFormats(std::nullopt);
  const auto of_group = FormatsOfGroup(formats, out[*group_at]);
  if (n > static_cast<int>(of_group.size())) return;
  Put16(out, kPaperSizeAt, static_cast<std::uint16_t>(kFirstUserFormatId - 1 + n));
}

namespace {

std::int32_t NoPromptProperties(DocumentPropertyHeader& header) {
  if (header.fMode == 0 || header.pdmOut == nullptr) return kDevmodeAnswer;
  const bool writes = (header.fMode & DM_WRITES_OUTPUT) != 0;
  if (writes && header.cbOut < kDriverDevmodeSize) {
    header.cbOut = kDriverDevmodeSize;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return -1;
  }

  const std::span<const std::uint8_t> input = ForeignDevmodeBytes(header.pdmIn);
  std::optional<std::span<const std::uint8_t>> caller;
  if (!input.empty()) caller = input;
  auto created = CreateContext(static_cast<platform::PrinterHandle*>(header.hPrinter), caller);
  if (!created) {
    SetLastError(created.error().code);
    return -1;
  }
  PrinterContext* context = *created;

  if (writes) {
    // Everything is done on a copy of the caller's bytes, so that a failure
    // leaves the output exactly as it was.
    auto* out = static_cast<std::uint8_t*>(header.pdmOut);
    std::array<std::uint8_t, kDriverDevmodeSize> scratch;
    std::memcpy(scratch.data(), out, scratch.size());
    if (!WriteOutDevmode(context->working, caller, scratch)) {
      DestroyContext(context);
      SetLastError(ERROR_INVALID_PARAMETER);
      return -1;
    }
    if (const auto at = PrivateAt(scratch, kExtRequestAt, 2)) Put16(scratch, *at, 0);
    ApplyUserFormatPaperSize(scratch);
    const auto written = ReadDevmodeHeader(scratch);
    const std::size_t n = std::min<std::size_t>(std::size_t{written->size} + written->driver_extra, scratch.size());
    std::memcpy(out, scratch.data(), n);
  }
  DestroyContext(context);
  return 1;
}

std::int32_t SheetInfoHeader(PrinterContext& /*context*/, PropSheetUiInfo& info, std::intptr_t param) {
  auto* out = reinterpret_cast<PropSheetUiInfoHeader*>(param);
  const auto* header = reinterpret_cast<const DocumentPropertyHeader*>(info.lParamInit);
  if (out == nullptr) return -1;
  out->Flags = kSheetHeaderFlags;
  out->pTitle = header ? header->pszPrinterName : nullptr;
  out->hInst = ThisModule();
  out->IconID = kSheetIconId;
  return 1;
}

// The sheet is going: the settings it started with come back, the stored
// defaults are written when asked for, and the context goes with its arena.
std::int32_t DestroySheet(PrinterContext& context) {
  context.working = context.snapshot;
  (void)SaveDefaultSettings(&context.working.pub, &context.working.priv, context.catalogue,
                            context.applied != 0);
  context.applied = 0;
  if (context.resourceLibrary != nullptr) {
    (void)platform::FreeModule(context.resourceLibrary);
    context.resourceLibrary = nullptr;
  }
  DestroyContext(&context);
  return 1;
}

}  // namespace

std::int32_t RunPropertySheet(void* owner, SheetFunction sheet, std::intptr_t param) {
  auto loaded = platform::LoadModule(platform::SystemDirectory() / "compstui.dll");
  if (!loaded) return -1;
  std::int32_t answer = -1;
  if (auto service = reinterpret_cast<CommonPropertySheetFn>(
          platform::GetSymbol(*loaded, "CommonPropertySheetUIW"))) {
    std::uint32_t result = 0;
    const std::int32_t ran = service(owner, sheet, param, &result);
    answer = ran < 0 ? ran : static_cast<std::int32_t>(result);
  }
  (void)platform::FreeModule(*loaded);
  return answer;
}

std::int32_t DocumentPropertySheets(PropSheetUiInfo* info, std::intptr_t param) {
  if (info == nullptr) {
    auto* header = reinterpret_cast<DocumentPropertyHeader*>(param);
    // Fields past a short header are not the caller's to give.
    if (header == nullptr || header->cbSize < sizeof(DocumentPropertyHeader)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return -1;
    }
    return NoPromptProperties(*header);
  }

  if (info->Reason == PROPSHEETUI_REASON_INIT) {
    const auto* header = reinterpret_cast<const DocumentPropertyHeader*>(param);
    if (header == nullptr) return -1;
    const std::span<const std::uint8_t> input = ForeignDevmodeBytes(header->pdmIn);
    auto created = CreateContext(static_cast<platform::PrinterHandle*>(header->hPrinter),
                                 input.empty() ? std::nullopt : std::optional(input));
    if (!created || AcceptContext(*created, SheetKind::Document) == nullptr) return -1;
    // The page is built by the preferences dialog; without one there is no page.
    DestroyContext(*created);
    return -1;
  }

  PrinterContext* context = AcceptContext(reinterpret_cast<void*>(info->UserData), SheetKind::Document);
  if (context == nullptr) return -1;
  switch (info->Reason) {
    case PROPSHEETUI_REASON_GET_INFO_HEADER:
      return SheetInfoHeader(*context, *info, param);
    case PROPSHEETUI_REASON_DESTROY:
      info->UserData = 0;
      return DestroySheet(*context);
    default:
      // Accepting settings (SET_RESULT) belongs to the preferences dialog's page.
      return -1;
  }
}

std::int32_t DocumentProperties(void* window, void* printer, const char16_t* device_name, void* output,
                                const void* input, std::uint32_t mode) {
  if (mode == 0 || output == nullptr) return kDevmodeAnswer;
  DocumentPropertyHeader header{};
  header.cbSize = sizeof header;
  header.hPrinter = printer;
  header.pszPrinterName = device_name;
  header.pdmIn = input;
  header.pdmOut = output;
  header.cbOut = kDriverDevmodeSize;
  header.fMode = mode;
  if ((mode & DM_PROMPT) == 0) return NoPromptProperties(header);
  const std::int32_t result =
      RunPropertySheet(window, &DocumentPropertySheets, reinterpret_cast<std::intptr_t>(&header));
  if (result > 0) return IDOK;
  if (result == 0) return IDCANCEL;
  return result;
}

std::int32_t AdvancedDocumentProperties(void* window, void* printer, const char16_t* device_name,
                                        void* output, const void* input) {
  if (output == nullptr) return kDevmodeAnswer;
  DocumentPropertyHeader header{};
  header.cbSize = sizeof header;
  header.hPrinter = printer;
  header.pszPrinterName = device_name;
  header.pdmIn = input;
  header.pdmOut = output;
  header.cbOut = kDriverDevmodeSize;
  header.fMode = DM_PROMPT | DM_COPY | DM_ADVANCED;
  const std::int32_t result =
      RunPropertySheet(window, &DocumentPropertySheets, reinterpret_cast<std::intptr_t>(&header));
  return result > 0 ? 1 : 0;
}

}  // namespace klm::driver
