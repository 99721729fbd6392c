#include "driver-ui/library_state.h"

#include <atomic>

namespace klm::driver {
namespace {

std::atomic<platform::Module*> g_module{nullptr};

}  // namespace

platform::Module* ThisModule() { return g_module.load(); }
void SetThisModule(platform::Module* module) { g_module.store(module); }

std::mutex& UpgradeLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace klm::driver
