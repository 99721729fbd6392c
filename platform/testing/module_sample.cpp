// A library for the loader's tests. It notes attach and detach in the file
// named by KLM71_MODULE_LOG; built once as is and once refusing attach.
#include <cstdint>
#include <cstdlib>
#include <fstream>

namespace klm::platform {
struct Module;
}

extern "C" {

__attribute__((visibility("default"))) int KlmDllMain(klm::platform::Module*, std::uint32_t reason) {
  if (const char* log = std::getenv("KLM71_MODULE_LOG"))
    std::ofstream(log, std::ios::app) << (reason == 1 ? "attach" : "detach") << "\n";
#ifdef KLM71_REFUSE_ATTACH
  return reason == 1 ? 0 : 1;
#else
  return 1;
#endif
}

__attribute__((visibility("default"))) int SampleAnswer() { return 42; }

}
