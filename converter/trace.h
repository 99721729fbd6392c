// The converter's diagnostic trace. Its texts go nowhere unless the
// environment variable KLM71_CV_TRACE is set (to anything but empty or "0"),
// in which case they go to standard error as they are.
#pragma once

#include <cstdint>
#include <string_view>

namespace klm::converter {

void Trace(std::string_view text);
// The text followed by " (error N)" and a line break.
void TraceError(std::string_view text, std::uint32_t code);

}  // namespace klm::converter
