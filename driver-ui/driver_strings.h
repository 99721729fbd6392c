// Texts of the driver's resource library ("\3\KLM71r.dll") by string id.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace klm::driver {

inline constexpr std::uint32_t kStringBinName = 1003;     // the one paper source
inline constexpr std::uint32_t kStringCustomSize = 2107;  // the custom-size paper item

// The string in the library's preferred language; nothing when the library
// or the string is missing. The library is loaded for this lookup only.
std::optional<std::u16string> LoadDriverString(std::uint32_t id);

}  // namespace klm::driver
