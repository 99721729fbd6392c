// The document-properties, printer-event and upgrade entry points, as the
// spooler and applications call them. No exception may cross them.
#include <cstdint>

#include "driver-ui/document_properties.h"
#include "driver-ui/exports.h"
#include "driver-ui/printer_events.h"

namespace kd = klm::driver;

KLM71_EXPORT std::int32_t DrvDocumentPropertySheets(kd::PropSheetUiInfo* info, std::intptr_t param) {
  try {
    return kd::DocumentPropertySheets(info, param);
  } catch (...) {
    return -1;
  }
}

KLM71_EXPORT std::int32_t DrvDocumentProperties(void* window, void* printer, const char16_t* device_name,
                                                void* output, const void* input, std::uint32_t mode) {
  try {
    return kd::DocumentProperties(window, printer, device_name, output, input, mode);
  } catch (...) {
    return -1;
  }
}

KLM71_EXPORT std::int32_t DrvAdvancedDocumentProperties(void* window, void* printer,
                                                        const char16_t* device_name, void* output,
                                                        const void* input) {
  try {
    return kd::AdvancedDocumentProperties(window, printer, device_name, output, input);
  } catch (...) {
    return 0;
  }
}

KLM71_EXPORT int DrvPrinterEvent(const char16_t* printer_name, int event, std::uint32_t flags,
                                 std::intptr_t param) {
  try {
    return kd::PrinterEvent(printer_name, event, flags, param);
  } catch (...) {
    return 0;
  }
}

KLM71_EXPORT int DrvUpgradePrinter(std::uint32_t level, const void* info) {
  try {
    return kd::UpgradePrinter(level, info);
  } catch (...) {
    return 0;
  }
}
