// The utility's own registry values under the driver's key, and where the
// current baud rate is read from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "utility/port_kind.h"

namespace klm::utility {

// "SOFTWARE\Koravel Industries, Ltd.\Quillmark\Driver\3.0\" + driver name.
std::string DriverKey(std::string_view driver_name);

inline constexpr std::size_t kMaxBaudListEntries = 49;
inline constexpr std::size_t kTextLimit = 259;  // characters of a 260-byte buffer

// Splits a "BaudrateList" text at commas (empty pieces skipped, each piece cut
// to 259 characters), keeps at most 49 pieces and always ends with "0".
std::vector<std::string> ParseBaudrateList(std::string_view text);

// "BaudrateList" of the driver, parsed; just {"0"} when it is missing.
std::vector<std::string> ReadBaudrateList(std::string_view driver_name);

// "Baudrate" of the driver; 9600 when it is missing or 0.
std::uint32_t ReadStoredBaudRate(std::string_view driver_name);

// Writes "Baudrate" as a DWORD, creating the key when needed.
Status WriteStoredBaudRate(std::string_view driver_name, std::uint32_t baud_rate);

// The rate the main dialog shows: a COM port's default configuration (port
// name without its last character), the stored "Baudrate" otherwise.
Result<std::uint32_t> ReadCurrentBaudRate(std::string_view port_name, PortKind kind, std::string_view driver_name);

// The index of the first list entry that begins with the rate's decimal text.
std::optional<std::size_t> FindBaudEntry(const std::vector<std::string>& list, std::uint32_t baud_rate);

// The port whose default configuration a COM printer uses: "COM1:" gives "COM1".
std::string DefaultConfigPortName(std::string_view port_name);

}  // namespace klm::utility
