// DrvDeviceCapabilities and DevQueryPrintEx, as the spooler and applications
// call them. The printer handle is a platform::PrinterHandle*.
#include <cstdint>
#include <string_view>

#include "driver-ui/capabilities.h"
#include "driver-ui/devmode_merge.h"
#include "driver-ui/exports.h"
#include "driver-ui/print_query.h"

KLM71_EXPORT std::uint32_t DrvDeviceCapabilities(void* printer, const char16_t* device_name,
                                                 std::uint16_t index, void* output,
                                                 const void* devmode) {
  try {
    return static_cast<std::uint32_t>(klm::driver::DeviceCapabilities(
        static_cast<const klm::platform::PrinterHandle*>(printer),
        device_name ? std::u16string_view(device_name) : std::u16string_view(), index, output,
        klm::driver::ForeignDevmodeBytes(devmode)));
  } catch (...) {
    return static_cast<std::uint32_t>(klm::driver::kCapabilityFailed);  // nothing may cross the entry point
  }
}

KLM71_EXPORT int DevQueryPrintEx(klm::driver::DevQueryPrintInfo* info) {
  try {
    return klm::driver::DevQueryPrint(info) ? 1 : 0;
  } catch (...) {
    return 1;  // undecided: a job is never held for want of an answer
  }
}
