// DrvConvertDevMode, as the spooler calls it.
#include <cstdint>

#include "driver-ui/devmode_convert.h"
#include "driver-ui/exports.h"

KLM71_EXPORT std::int32_t DrvConvertDevMode(const char16_t* printer_name, const void* input,
                                            void* output, std::int32_t* size, std::uint32_t mode) {
  try {
    return klm::driver::ConvertDevmode(printer_name, input, output, size, mode);
  } catch (...) {
    return 0;  // nothing may cross the entry point
  }
}
