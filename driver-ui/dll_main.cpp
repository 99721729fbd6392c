// The module loader's attach and detach entry of KLM71ui.
#include <cstdint>

#include "driver-ui/exports.h"
#include "driver-ui/library_state.h"
#include "platform/module.h"

KLM71_EXPORT int KlmDllMain(klm::platform::Module* self, std::uint32_t reason) {
  if (reason == klm::platform::kDllProcessAttach) klm::driver::SetThisModule(self);
  else if (reason == klm::platform::kDllProcessDetach) klm::driver::SetThisModule(nullptr);
  return 1;
}
