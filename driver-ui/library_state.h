// What KLM71ui keeps for the whole time it is loaded: its own module handle
// (for the sheet header, bitmaps and messages) and the lock that serialises
// printer upgrades. Nothing else lives between calls.
#pragma once

#include <mutex>

namespace klm::platform {
struct Module;
}

namespace klm::driver {

// The module the loader attached, or nullptr when the library was linked
// in rather than loaded (tests) or after detach.
platform::Module* ThisModule();
void SetThisModule(platform::Module* module);

// The library-wide lock. It exists for the whole life of the process, so an
// upgrade can never find it missing, whatever order attach and calls come in.
std::mutex& UpgradeLock();

}  // namespace klm::driver
