// The printer-properties entry points as the spooler and the printers
// folder call them. No exception may cross them.
#include <cstdint>

#include "driver-ui/exports.h"
#include "driver-ui/printer_properties.h"

namespace kd = klm::driver;

KLM71_EXPORT std::int32_t DrvDevicePropertySheets(kd::PropSheetUiInfo* info, std::intptr_t param) {
  try {
    return kd::DevicePropertySheets(info, param);
  } catch (...) {
    return -1;
  }
}

KLM71_EXPORT int PrinterProperties(void* window, void* printer) {
  try {
    return kd::PrinterProperties(window, static_cast<klm::platform::PrinterHandle*>(printer)) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}
