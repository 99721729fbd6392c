// The converter's two arguments, taken as the editor passes them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace klm::converter {

// Paths live in 260-byte buffers: an argument this long or longer, as typed
// (quotes included), does not fit with its terminator.
inline constexpr std::size_t kMaxArgumentLength = 259;

// The argument without one enclosing pair of double quotes (only when it is
// longer than the two quotes themselves); nullopt when it is too long.
std::optional<std::string> TakePathArgument(std::string_view argument);

}  // namespace klm::converter
