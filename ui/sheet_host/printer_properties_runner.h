// Opening a printer's properties from a program of the package: the
// printer's driver library (KLM71ui) is loaded from the driver directory and
// its PrinterProperties runs the sheet through the common property sheet.
#pragma once

#include <string_view>

#include "platform/result.h"

namespace klm::ui::sheet {

// True when the user accepted the sheet, false when it was cancelled or
// could not be shown. ERROR_INVALID_PRINTER_NAME for an unknown printer,
// ERROR_MOD_NOT_FOUND / ERROR_PROC_NOT_FOUND when the driver library or its
// entry is missing.
Result<bool> RunPrinterProperties(std::string_view printer_name);

}  // namespace klm::ui::sheet
