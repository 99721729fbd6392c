// Resource libraries come from files beside the programs: any bytes must be
// refused or read, never crash the reader.
#include <cstddef>
#include <cstdint>

#include "resources/resource_library.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto lib = klm::res::ResourceLibrary::FromBytes({data, data + size});
  if (!lib) return 0;
  for (std::uint32_t id : lib->StringIds()) (void)lib->LoadString(id);
  for (const auto& key : lib->DialogKeys()) (void)lib->Dialog(key);
  (void)lib->Menu("POPMENU");
  return 0;
}
