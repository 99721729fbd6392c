// File access with the platform's habits: '\' separators, names that match
// without regard to ASCII case, and replacement that never leaves half a file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace klm::platform {

// Names of files, sections and keys compare this way (bytes above 0x7F exactly).
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// '\' becomes '/'; everything else (drive letters, "..") is kept as written.
std::filesystem::path FromWindowsPath(std::string_view path);

// The existing file or folder whose components match `path`'s ignoring ASCII
// case (an exact match wins), else `path` itself so that new files get the
// name as given. Accepts '\' separators. Never fails.
std::filesystem::path ResolveCaseInsensitive(const std::filesystem::path& path);

// The Win32 code that best describes an errno value (ENOENT -> 2, EACCES -> 5).
std::uint32_t Win32FromErrno(int err);

// The whole file. ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND when missing,
// ERROR_ACCESS_DENIED for folders and unreadable files.
Result<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& path);

// Replaces (or creates) the file through a synced temporary file in the same
// folder. On failure the old file is untouched and no temporary is left.
// A read-only target (no owner write bit) is ERROR_ACCESS_DENIED; a replaced
// file keeps its permission bits.
Status WriteFileAtomic(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Copies `from` over `to` with WriteFileAtomic's guarantees.
Status CopyFileReplace(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace klm::platform
