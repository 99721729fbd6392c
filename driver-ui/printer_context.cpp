#include "driver-ui/printer_context.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "driver-ui/devmode_init.h"
#include "driver-ui/devmode_merge.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/spooler.h"

namespace klm::driver {
namespace {

DialogHooks g_dialog_hooks;

}  // namespace

void SetDialogHooks(const DialogHooks& hooks) { g_dialog_hooks = hooks; }

Result<PrinterContext*> CreateContext(platform::PrinterHandle* printer,
                                      std::optional<std::span<const std::uint8_t>> devmode) {
  // Until the context holds it, the arena is owned here: any failure below
  // drops it and with it everything allocated so far.
  std::unique_ptr<Arena> heap(new (std::nothrow) Arena);
  if (!heap) return MakeError(ERROR_NOT_ENOUGH_MEMORY, "no memory for a printer context");
  PrinterContext* context = heap->New<PrinterContext>();
  if (context == nullptr) return MakeError(ERROR_NOT_ENOUGH_MEMORY, "no memory for a printer context");
  context->self = context;
  context->selfEnd = context;
  context->printer = printer;
  context->heap = heap.get();

  auto info = platform::GetPrinter(printer);
  if (!info) return info.error();
  context->driverName = heap->CopyString(platform::Utf8ToUtf16(info->driver));
  if (context->driverName == nullptr) return MakeError(ERROR_NOT_ENOUGH_MEMORY, "no memory for the driver name");

  auto driver = platform::GetPrinterDriver(printer);
  if (!driver) return driver.error();
  const auto data_file = platform::FromWindowsPath(driver->data_file);
  auto catalogue = ReadCatalogue(*heap, data_file);
  if (!catalogue) {
    const std::string& why = catalogue.error().message;
    if (why.find(data_file.string()) != std::string::npos) return catalogue.error();
    return MakeError(catalogue.error().code, "printer \"" + info->name + "\", paper data " +
                                                 data_file.string() + ": " + why);
  }
  context->catalogue = *catalogue;

  InitDevmode(context->working, context->driverName, context->catalogue);
  context->driverDefault = context->working;

  // A merge that fails leaves `working` as it was, which is what the sheet
  // then goes on with.
  const std::vector<UserFormat> formats = ReadUserFormats(std::nullopt);
  const MergeTables tables = MakeMergeTables(printer, context->catalogue, formats,
                                             context->driverDefault.pub.dmPaperSize);
  if (!info->devmode.empty()) (void)MergeDevmode(context->working, info->devmode, tables);
  if (devmode && !devmode->empty()) (void)MergeDevmode(context->working, *devmode, tables);

  context->printerData = ReadPrinterData(printer);

  if (g_dialog_hooks.create != nullptr) {
    context->dialog = g_dialog_hooks.create(*context);
    if (context->dialog == nullptr) return MakeError(ERROR_NOT_ENOUGH_MEMORY, "the preferences dialog could not be made");
  }
  heap.release();
  return context;
}

PrinterContext* AcceptContext(void* user_data, SheetKind kind) {
  auto* context = static_cast<PrinterContext*>(user_data);
  if (context == nullptr || context->self != context || context->selfEnd != context) return nullptr;
  if (kind == SheetKind::Document && context->catalogue.entries == nullptr) return nullptr;
  return context;
}

bool DestroyContext(PrinterContext* context) {
  if (AcceptContext(context, SheetKind::Printer) == nullptr) return false;
  if (context->dialog != nullptr && g_dialog_hooks.destroy != nullptr) {
    g_dialog_hooks.destroy(*context, context->dialog);
  }
  // The arena holds the context itself: nothing of it may be read after this.
  delete context->heap;
  return true;
}

}  // namespace klm::driver
