#include "driver-ui/driver_strings.h"

#include "driver-ui/driver_files.h"
#include "platform/module.h"
#include "resources/resource_library.h"

namespace klm::driver {

std::optional<std::u16string> LoadDriverString(std::uint32_t id) {
  auto module = LoadResourceLibrary();
  if (!module) return std::nullopt;
  const auto path = platform::ModulePath(*module);
  (void)platform::FreeModule(*module);
  auto library = res::ResourceLibrary::Open(path);
  if (!library) return std::nullopt;
  return library->LoadStringUtf16(id);
}

}  // namespace klm::driver
