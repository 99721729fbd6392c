// Text conversion between the ANSI code pages the package's files use and
// UTF-16. Strict where the platform's conversion calls would refuse input.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace klm::platform {

inline constexpr std::uint32_t kCodePageUtf8 = 65001;

// Bytes in `code_page` (1252, 932, 936, 949, 950, 65001, or any other the
// system's iconv knows as "CP<n>") to UTF-16. Bytes with no meaning in the code
// page: ERROR_NO_UNICODE_TRANSLATION; unknown code page: ERROR_INVALID_PARAMETER.
Result<std::u16string> ToUtf16(std::string_view bytes, std::uint32_t code_page);

// UTF-16 to bytes in `code_page`. A character the code page lacks (or a lone
// surrogate) is ERROR_NO_UNICODE_TRANSLATION, never a silent '?'.
Result<std::string> FromUtf16(std::u16string_view text, std::uint32_t code_page);

// Lossy UTF-8 <-> UTF-16: malformed input becomes U+FFFD. Never fail.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// ToUtf16 / FromUtf16 with the user's ANSI code page (AnsiCodePage()).
Result<std::u16string> AnsiToUtf16(std::string_view bytes);
Result<std::string> Utf16ToAnsi(std::u16string_view text);

}  // namespace klm::platform
