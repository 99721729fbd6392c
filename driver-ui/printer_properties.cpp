#include "driver-ui/printer_properties.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "driver-ui/capabilities.h"
#include "driver-ui/library_state.h"
#include "driver-ui/port_kind.h"
#include "driver-ui/printer_context.h"
#include "driver-ui/printer_data.h"
#include "driver-ui/printer_events.h"
#include "platform/codepage.h"
#include "platform/machine_root.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "resources/resource_library.h"
#include "ui/printer_page/version_dialog.h"
#include "ui/sheet_host/compstui.h"

namespace klm::driver {
namespace {

namespace cp = klm::cpsui;

// Strings of the resource library.
constexpr std::uint32_t kStrStatusTimeOut = 1101, kStrPrintTimeOut = 1102, kStrSeconds = 1103;
constexpr std::uint32_t kStrUtility = 1104, kStrMonitor = 1106, kStrCustomLabel = 1122, kStrSetMedia = 1136;
constexpr std::uint32_t kStrMonitorStates[] = {1107, 1108, 1109};
constexpr std::uint32_t kStrSetMediaStates[] = {1137, 1138};
constexpr std::uint32_t kStrNotStarted = 1150;

constexpr std::uint16_t kPageFlagsMayChange = cp::CPSUIF_UPDATE_PERMISSION | cp::CPSUIF_ABOUT_CALLBACK;  // 5
constexpr std::uintptr_t kPageIcon = 64062;
constexpr std::uint16_t kCallerVersion = 0x0500;
constexpr int kLabelUnits = static_cast<int>(kOptionLabelBufferBytes / sizeof(char16_t));
constexpr int kShowDefault = 10;

std::optional<std::uint32_t> PrinterDword(const platform::PrinterHandle* printer, std::string_view name) {
  auto value = platform::GetPrinterData(printer, name);
  if (!value) return std::nullopt;
  return value->AsDword();
}

std::optional<std::string> KeyOf(std::u16string_view driver_name) {
  return DriverKey(platform::Utf16ToUtf8(driver_name.empty() ? u"Koravel LM-7100" : driver_name));
}

std::optional<std::uint32_t> KeyDword(const std::optional<std::string>& key, std::string_view name) {
  if (!key) return std::nullopt;
  auto value = platform::RegQueryValue(platform::Hive::LocalMachine, *key, name);
  if (!value) return std::nullopt;
  return value->AsDword();
}

std::optional<res::ResourceLibrary> DriverResources() {
  auto lib = res::ResourceLibrary::Open(platform::DriverDataDirectory() / "KLM71r.dll");
  if (!lib) return std::nullopt;
  return std::move(*lib);
}

// Labels live in the context's 16 KB buffer; a text that no longer fits is
// cut, and an empty one points at the buffer's last (zero) unit.
class Labels {
 public:
  Labels(char16_t* buffer, const res::ResourceLibrary* library) : buffer_(buffer), library_(library) {}
  const char16_t* Add(std::uint32_t id) {
    if (buffer_ == nullptr) return nullptr;
    std::u16string text;
    if (library_) text = library_->LoadStringUtf16(id).value_or(u"");
    const int room = kLabelUnits - 1 - used_;
    if (room <= 0) return buffer_ + kLabelUnits - 1;
    const int n = std::min(static_cast<int>(text.size()), room - 1);
    char16_t* at = buffer_ + used_;
    std::copy_n(text.data(), std::max(n, 0), at);
    at[std::max(n, 0)] = 0;
    used_ += std::max(n, 0) + 1;
    return at;
  }

 private:
  char16_t* buffer_;
  const res::ResourceLibrary* library_;
  int used_ = 0;
};

std::int32_t PageCallback(cp::CpsuiCbParam* param);
std::int32_t UtilityButton(cp::CpsuiCbParam* param);
std::int32_t CustomLabelButton(cp::CpsuiCbParam* param);

// The page's items in their order. Called once without storage to count
// them, then with arrays of that many items, types and three parameters each.
int BuildItems(const PrinterContext& context, bool custom_label, cp::OptItem* items, cp::OptType* types,
               cp::OptParam* params, Labels* labels) {
  int n = 0;
  auto item = [&](std::uintptr_t user_data, std::uint32_t name, std::uint8_t kind, int count, std::int32_t sel) {
    const int i = n++;
    if (items == nullptr) return static_cast<cp::OptParam*>(nullptr);
    cp::OptItem& it = items[i];
    cp::OptType& type = types[i];
    cp::OptParam* p = params + 3 * i;
    it.cbSize = sizeof it;
    it.Level = 1;
    it.Flags = cp::OPTIF_CALLBACK;
    it.UserData = user_data;
    it.pName = labels->Add(name);
    it.Sel = sel;
    it.pOptType = &type;
    it.HelpIndex = 0;
    type.cbSize = sizeof type;
    type.Type = kind;
    type.Count = static_cast<std::uint16_t>(count);
    type.pOptParam = p;
    for (int k = 0; k < count; ++k) p[k].cbSize = sizeof(cp::OptParam);
    return p;
  };

  if (auto* p = item(kItemStatusTimeOut, kStrStatusTimeOut, cp::TVOT_UDARROW, 2,
                     static_cast<std::int32_t>(context.statusTimeOut))) {
    p[0].pData = const_cast<char16_t*>(labels->Add(kStrSeconds));
    p[1].IconID = kStatusTimeOutMin;
    p[1].lParam = kStatusTimeOutMax;
  }
  if (auto* p = item(kItemPrintTimeOut, kStrPrintTimeOut, cp::TVOT_UDARROW, 2,
                     static_cast<std::int32_t>(context.printTimeOut))) {
    p[0].pData = const_cast<char16_t*>(labels->Add(kStrSeconds));
    p[1].IconID = kPrintTimeOutMin;
    p[1].lParam = kPrintTimeOutMax;
  }
  if (auto* p = item(kItemUtility, kStrUtility, cp::TVOT_PUSHBUTTON, 1, 0)) {
    p[0].Style = cp::PUSHBUTTON_TYPE_CALLBACK;
    p[0].pData = reinterpret_cast<void*>(&UtilityButton);
    p[0].IconID = 2;
  }
  if (custom_label) {
    if (auto* p = item(kItemCustomLabel, kStrCustomLabel, cp::TVOT_PUSHBUTTON, 1, 0)) {
      p[0].Style = cp::PUSHBUTTON_TYPE_CALLBACK;
      p[0].pData = reinterpret_cast<void*>(&CustomLabelButton);
      p[0].IconID = 6;
    }
  }
  if (auto* p = item(kItemMonitorDisplay, kStrMonitor, cp::TVOT_3STATES, 3,
                     static_cast<std::int32_t>(context.monitorDisplay))) {
    for (int k = 0; k < 3; ++k) {
      p[k].pData = const_cast<char16_t*>(labels->Add(kStrMonitorStates[k]));
      p[k].IconID = 3;
    }
  }
  if (auto* p = item(kItemSetMedia, kStrSetMedia, cp::TVOT_2STATES, 2, static_cast<std::int32_t>(context.setMedia))) {
    for (int k = 0; k < 2; ++k) {
      p[k].pData = const_cast<char16_t*>(labels->Add(kStrSetMediaStates[k]));
      p[k].IconID = 153;
    }
  }
  return n;
}

// The printer's forms must be there; the context's paper lists are filled
// as the capability query lists them.
bool FillFormLists(PrinterContext& context) {
  auto forms = platform::EnumForms(context.printer);
  if (!forms || forms->empty()) return false;
  const std::span<const UserFormat> formats(context.userFormats, static_cast<std::size_t>(context.userFormatCount));
  const int count = ListPapers(context.catalogue, formats, &context.working, {});
  if (count <= 0) return false;
  auto names = context.heap->NewArray<char16_t>(static_cast<std::size_t>(count) * kFormNameChars64);
  auto ids = context.heap->NewArray<std::uint16_t>(static_cast<std::size_t>(count));
  auto values = context.heap->NewArray<std::uint16_t>(static_cast<std::size_t>(count));
  if (names.empty() || ids.empty() || values.empty()) return false;
  context.formCount = ListPapers(context.catalogue, formats, &context.working, PaperListOut{names, ids, {}});
  context.formNames = reinterpret_cast<char16_t(*)[kFormNameChars64]>(names.data());
  context.formIds = ids.data();
  context.formValues = values.data();
  return true;
}

cp::ComPropSheetUi* BuildPage(PrinterContext& context) {
  if (!FillFormLists(context)) return nullptr;
  auto labels_block = context.heap->NewArray<char16_t>(kLabelUnits);
  if (labels_block.empty()) return nullptr;
  context.optionLabels = labels_block.data();

  const bool custom_label = ShowsCustomLabel(context.driverName ? context.driverName : u"");
  const int count = BuildItems(context, custom_label, nullptr, nullptr, nullptr, nullptr);
  auto items = context.heap->NewArray<cp::OptItem>(static_cast<std::size_t>(count));
  auto types = context.heap->NewArray<cp::OptType>(static_cast<std::size_t>(count));
  auto params = context.heap->NewArray<cp::OptParam>(static_cast<std::size_t>(count) * 3);
  auto* page = context.heap->New<cp::ComPropSheetUi>();
  if (items.empty() || types.empty() || params.empty() || page == nullptr) return nullptr;
  const std::optional<res::ResourceLibrary> library = DriverResources();
  Labels labels(context.optionLabels, library ? &*library : nullptr);
  BuildItems(context, custom_label, items.data(), types.data(), params.data(), &labels);
  context.optionItems = items.data();

  page->cbSize = sizeof *page;
  page->Flags = context.mayChange ? kPageFlagsMayChange : 0;
  page->hInstCaller = ThisModule();
  page->pCallerName = context.driverName;
  page->UserData = reinterpret_cast<std::uintptr_t>(&context);
  page->pfnCallBack = &PageCallback;
  page->pOptItem = items.data();
  page->pDlgPage = reinterpret_cast<cp::DlgPage*>(cp::CPSUI_PDLGPAGE_PRINTERPROP);
  page->cOptItem = static_cast<std::uint16_t>(count);
  page->cDlgPage = 0;
  page->IconID = kPageIcon;
  page->pOptItemName = context.driverName;
  page->CallerVersion = kCallerVersion;
  page->OptItemVersion = 0;
  return page;
}

cp::OptItem* FindItem(cp::CpsuiCbParam& param, std::uintptr_t user_data) {
  for (int i = 0; param.pOptItem && i < param.cOptItem; ++i)
    if (param.pOptItem[i].UserData == user_data) return &param.pOptItem[i];
  return nullptr;
}

std::string PortOf(const platform::PrinterHandle* printer) {
  auto info = platform::GetPrinter(printer);
  return info ? info->port : std::string();
}

void ShowVersionDialog(cp::PageWindow* window) {
  if (window == nullptr) return;
  const std::optional<res::ResourceLibrary> library = DriverResources();
  if (!library) return;
  ui::Picture picture;
  if (auto own = res::ResourceLibrary::Open(platform::DriverDataDirectory() / "KLM71ui.res")) {
    if (auto bmp = own->Bitmap(101)) picture = ui::Picture::FromBytes(101, *bmp);
  }
  ui::VersionDialog dialog(picture);
  (void)window->RunDialog(*library, "DLG_VERSION", dialog);
}

// Stores the edited values, the empty tray table and the printer data block.
void ApplyPage(PrinterContext& context, cp::CpsuiCbParam& param) {
  auto take = [&param](std::uintptr_t user_data, std::uint32_t& into) {
    if (const cp::OptItem* item = FindItem(param, user_data)) into = static_cast<std::uint32_t>(item->Sel);
  };
  take(kItemStatusTimeOut, context.statusTimeOut);
  take(kItemPrintTimeOut, context.printTimeOut);
  take(kItemMonitorDisplay, context.monitorDisplay);
  take(kItemSetMedia, context.setMedia);
  (void)platform::SetPrinterData(context.printer, "TrayFormSize",
                                 platform::RegValue::Dword(static_cast<std::uint32_t>(kEmptyTrayFormTable.size())));
  (void)platform::SetPrinterData(context.printer, "TrayFormTable", platform::RegValue::Binary(kEmptyTrayFormTable));
  (void)WritePrinterData(context.printer, context.printerData);
}

std::int32_t PageCallback(cp::CpsuiCbParam* param) {
  if (param == nullptr) return cp::CPSUICB_ACTION_NONE;
  PrinterContext* context = AcceptContext(reinterpret_cast<void*>(param->UserData), SheetKind::Printer);
  if (context == nullptr) return cp::CPSUICB_ACTION_NONE;
  context->sheetWindow = param->hDlg;
  if (!context->mayChange) return cp::CPSUICB_ACTION_NONE;
  switch (param->Reason) {
    case cp::CPSUICB_REASON_APPLYNOW:
      ApplyPage(*context, *param);
      param->Result = cp::CPSUI_OK;
      return cp::CPSUICB_ACTION_ITEMS_APPLIED;
    case cp::CPSUICB_REASON_ITEMS_REVERTED: return cp::CPSUICB_ACTION_OPTIF_CHANGED;
    case cp::CPSUICB_REASON_ABOUT:
      ShowVersionDialog(static_cast<cp::PageWindow*>(param->hDlg));
      return cp::CPSUICB_ACTION_NONE;
    case cp::CPSUICB_REASON_SETACTIVE: {
      cp::OptItem* utility = FindItem(*param, kItemUtility);
      if (utility == nullptr) return cp::CPSUICB_ACTION_NONE;
      const std::uint32_t before = utility->Flags;
      // The utility talks to the printer over its own link, which a network port does not offer.
      if (IsStandardTcpIpPort(PortOf(context->printer))) utility->Flags |= cp::OPTIF_DISABLED;
      else utility->Flags &= ~cp::OPTIF_DISABLED;
      if (utility->Flags == before) return cp::CPSUICB_ACTION_NONE;
      utility->Flags |= cp::OPTIF_CHANGED;
      return cp::CPSUICB_ACTION_OPTIF_CHANGED;
    }
    default: return cp::CPSUICB_ACTION_NONE;
  }
}

// Starts `program` of the driver's folder "3" with `parameters`. The
// program may not be installed yet: the user hears so rather than nothing.
std::int32_t StartProgram(cp::CpsuiCbParam* param, const char* program, const std::string& parameters) {
  if (param == nullptr) return cp::CPSUICB_ACTION_NONE;
  PrinterContext* context = AcceptContext(reinterpret_cast<void*>(param->UserData), SheetKind::Printer);
  if (context == nullptr) return cp::CPSUICB_ACTION_NONE;
  const std::filesystem::path dir = platform::PrinterDriverDirectory() / "3";
  const std::string file = (dir / program).string();
  auto* window = static_cast<cp::PageWindow*>(param->hDlg);
  Status started = window ? window->view().shell().Open(file, parameters, dir, kShowDefault)
                          : platform::ShellOpen(file, parameters, dir.string());
  if (!started && window) {
    const std::optional<res::ResourceLibrary> library = DriverResources();
    std::string text = library ? library->LoadString(kStrNotStarted).value_or("") : std::string();
    text = text.empty() ? file + " could not be started." : res::FormatOne(text, file);
    (void)window->view().prompts().MessageBox(text + "\n" + started.error().message, "",
                                              ui::MB_OK | ui::MB_ICONWARNING);
  }
  return cp::CPSUICB_ACTION_NONE;
}

std::string PrinterNameOf(const PrinterContext* context) {
  if (context == nullptr) return {};
  auto info = platform::GetPrinter(context->printer);
  return info ? info->name : std::string();
}

std::int32_t UtilityButton(cp::CpsuiCbParam* param) {
  const auto* context = param ? AcceptContext(reinterpret_cast<void*>(param->UserData), SheetKind::Printer) : nullptr;
  return StartProgram(param, kUtilityProgram, PrinterNameOf(context));
}

std::int32_t CustomLabelButton(cp::CpsuiCbParam* param) {
  const auto* context = param ? AcceptContext(reinterpret_cast<void*>(param->UserData), SheetKind::Printer) : nullptr;
  return StartProgram(param, kLabelEditorProgram, " \"" + PrinterNameOf(context) + "\"");
}

std::int32_t InitSheet(PropSheetUiInfo& info, std::intptr_t param) {
  const auto* header = reinterpret_cast<const cp::DevicePropertyHeader*>(param);
  if (header == nullptr || header->cbSize < sizeof(cp::DevicePropertyHeader)) return -1;
  auto created = CreateContext(static_cast<platform::PrinterHandle*>(header->hPrinter), std::nullopt);
  if (!created) return -1;
  PrinterContext& context = **created;
  context.mayChange = (header->Flags & cp::DPS_NOPERMISSION) == 0;
  const PrinterSettings settings =
      ReadPrinterSettings(context.printer, context.driverName ? context.driverName : u"");
  context.statusTimeOut = settings.statusTimeOut;
  context.printTimeOut = settings.printTimeOut;
  context.monitorDisplay = settings.monitorDisplay;
  context.setMedia = settings.setMedia;

  cp::ComPropSheetUi* page = BuildPage(context);
  if (page == nullptr) {
    DestroyContext(&context);
    return -1;
  }
  context.sheetCallback = info.pfnComPropSheet;
  context.sheetHandle = info.hComPropSheet;
  // Nothing of a tray table is shown; it is read as the page always has.
  (void)platform::GetPrinterData(context.printer, "TrayFormTable");
  auto service = reinterpret_cast<cp::ComPropSheetFn>(info.pfnComPropSheet);
  std::uint32_t added = 0;
  if (service == nullptr ||
      service(info.hComPropSheet, cp::CPSFUNC_ADD_PCOMPROPSHEETUIW, reinterpret_cast<std::intptr_t>(page),
              reinterpret_cast<std::intptr_t>(&added)) <= 0) {
    DestroyContext(&context);
    return -1;
  }
  info.UserData = reinterpret_cast<std::uintptr_t>(&context);
  return 1;
}

std::int32_t InfoHeader(PrinterContext& context, const PropSheetUiInfo& info, std::intptr_t param) {
  auto* out = reinterpret_cast<PropSheetUiInfoHeader*>(param);
  if (out == nullptr) return -1;
  const auto* header = reinterpret_cast<const cp::DevicePropertyHeader*>(info.lParamInit);
  out->Flags = kSheetHeaderFlags;
  out->pTitle = header ? header->pszPrinterName : nullptr;
  // A header without a name (PrinterProperties gives none) still gets the printer's.
  if (out->pTitle == nullptr) out->pTitle = context.heap->CopyString(platform::Utf8ToUtf16(PrinterNameOf(&context)));
  out->hInst = ThisModule();
  out->IconID = kSheetIconId;
  return 1;
}

void StoreSettings(PrinterContext& context) {
  const std::pair<const char*, std::uint32_t> values[] = {
      {"Status TimeOut", context.statusTimeOut},
      {"Print TimeOut", context.printTimeOut},
      {"MonitorDisplay", context.monitorDisplay},
      {"SetMedia", context.setMedia},
  };
  for (const auto& [name, value] : values)
    (void)platform::SetPrinterData(context.printer, name, platform::RegValue::Dword(value));
}

}  // namespace

PrinterSettings ReadPrinterSettings(const platform::PrinterHandle* printer, std::u16string_view driver_name) {
  const std::optional<std::string> key = KeyOf(driver_name);
  auto value = [&](std::string_view name, std::uint32_t fallback) {
    if (auto v = PrinterDword(printer, name)) return *v;
    return KeyDword(key, name).value_or(fallback);
  };
  PrinterSettings s;
  s.statusTimeOut = std::clamp(value("Status TimeOut", kStatusTimeOutDefault), kStatusTimeOutMin, kStatusTimeOutMax);
  s.printTimeOut = std::clamp(value("Print TimeOut", kPrintTimeOutDefault), kPrintTimeOutMin, kPrintTimeOutMax);
  s.monitorDisplay = value("MonitorDisplay", 0);
  if (s.monitorDisplay >= kMonitorDisplayStates) s.monitorDisplay = 0;
  s.setMedia = PrinterDword(printer, "SetMedia").value_or(0) != 0 ? 1 : 0;
  return s;
}

bool ShowsCustomLabel(std::u16string_view driver_name) {
  return KeyDword(KeyOf(driver_name), "CustomLabel") == 1u;
}

std::int32_t DevicePropertySheets(PropSheetUiInfo* info, std::intptr_t param) {
  if (info == nullptr) return -1;
  if (info->Reason == PROPSHEETUI_REASON_INIT) return InitSheet(*info, param);
  PrinterContext* context = AcceptContext(reinterpret_cast<void*>(info->UserData), SheetKind::Printer);
  if (context == nullptr) return -1;
  switch (info->Reason) {
    case PROPSHEETUI_REASON_GET_INFO_HEADER: return InfoHeader(*context, *info, param);
    case PROPSHEETUI_REASON_SET_RESULT: {
      const auto* set = reinterpret_cast<const SetResultInfo*>(param);
      if (set == nullptr) return -1;
      if (set->Result == cp::CPSUI_OK) StoreSettings(*context);
      info->Result = static_cast<std::uintptr_t>(set->Result);
      return 1;
    }
    case PROPSHEETUI_REASON_DESTROY:
      info->UserData = 0;
      DestroyContext(context);
      return 1;
    default: return -1;
  }
}

bool PrinterProperties(void* window, platform::PrinterHandle* printer) {
  cp::DevicePropertyHeader header{};
  header.cbSize = sizeof header;
  header.hPrinter = printer;
  header.pszPrinterName = nullptr;
  if (!platform::SetPrinterData(printer, "Permission", platform::RegValue::Dword(1)))
    header.Flags |= cp::DPS_NOPERMISSION;
  // Only an accepted sheet is success; a sheet that could not run is not.
  return RunPropertySheet(window, &DevicePropertySheets, reinterpret_cast<std::intptr_t>(&header)) > 0;
}

}  // namespace klm::driver
