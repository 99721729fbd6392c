// Win32 error codes that our entry points report through the last-error slot.
// Values are the documented ones: callers on the other side compare numbers.
#pragma once

#include <cstdint>

namespace klm {

inline constexpr std::uint32_t ERROR_SUCCESS = 0;
inline constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t ERROR_PATH_NOT_FOUND = 3;
inline constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr std::uint32_t ERROR_INVALID_DATA = 13;
inline constexpr std::uint32_t ERROR_OUTOFMEMORY = 14;
inline constexpr std::uint32_t ERROR_GEN_FAILURE = 31;
inline constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
inline constexpr std::uint32_t ERROR_FILE_EXISTS = 80;
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t ERROR_DISK_FULL = 112;
inline constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr std::uint32_t ERROR_INVALID_NAME = 123;
inline constexpr std::uint32_t ERROR_MOD_NOT_FOUND = 126;
inline constexpr std::uint32_t ERROR_PROC_NOT_FOUND = 127;
inline constexpr std::uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr std::uint32_t ERROR_BAD_EXE_FORMAT = 193;
inline constexpr std::uint32_t ERROR_MORE_DATA = 234;
inline constexpr std::uint32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr std::uint32_t ERROR_DIRECTORY = 267;
inline constexpr std::uint32_t ERROR_NO_UNICODE_TRANSLATION = 1113;
inline constexpr std::uint32_t ERROR_DLL_INIT_FAILED = 1114;
inline constexpr std::uint32_t ERROR_NO_ASSOCIATION = 1155;
inline constexpr std::uint32_t ERROR_INVALID_PRINTER_NAME = 1801;
inline constexpr std::uint32_t ERROR_UNKNOWN_PRINTER_DRIVER = 1797;
inline constexpr std::uint32_t ERROR_INVALID_PRINTER_COMMAND = 1803;
inline constexpr std::uint32_t ERROR_UNKNOWN_PORT = 1796;
inline constexpr std::uint32_t ERROR_INVALID_FORM_NAME = 1902;
inline constexpr std::uint32_t ERROR_BADDB = 1009;
inline constexpr std::uint32_t ERROR_TIMEOUT = 1460;

// Per-thread last error, as the entry points' callers expect to find it.
std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);

}  // namespace klm
