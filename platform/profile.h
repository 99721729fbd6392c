// Profile (INI) files read and written with the semantics of the platform's
// private-profile calls. Files are bytes in the ANSI code page; lines we write
// end in CR LF, lines read may end in LF alone. Section and key names compare
// without regard to ASCII case; lines starting with ';' are comments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace klm::platform {

// The value of `key` in the first `section` of `text`: blanks around it
// removed and one pair of enclosing quotes ("..." or '...') stripped. A key
// line without '=' has the empty value. nullopt when section or key is missing.
std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key);

// The value as above, cut to buffer_size - 1 bytes; `fallback` (also cut) when
// the file, the section or the key is missing. `file` may use '\' and any case.
std::string GetProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view fallback,
                             std::size_t buffer_size = 260);

// The value as an integer: optional sign, then decimal, or hexadecimal after
// 0x (octal after 0o, binary after 0b); reading stops at the first non-digit,
// so "12ab" is 12 and "abc" is 0. Missing or empty value: `fallback`.
std::uint32_t GetProfileInt(const std::filesystem::path& file, std::string_view section,
                            std::string_view key, std::int32_t fallback);

// A profile value's text read as GetProfileInt reads it (the first 29
// characters; sign, 0x/0o/0b prefix, digits up to the first that does not
// belong); the fallback for an empty value.
std::uint32_t ParseProfileInt(std::string_view value, std::int32_t fallback);

// Sets `key` = `value`, creating the file and the section as needed: an
// existing key line is replaced where it stands, a new key follows the last
// key line of its section, a new section goes at the end of the file. The file
// is replaced atomically. False when it cannot be read or written, or when a
// name or value would break the line structure (CR, LF, '=' in a key, ']' in
// a section name, empty names).
bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value);

}  // namespace klm::platform
