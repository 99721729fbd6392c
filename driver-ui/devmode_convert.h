// The conversion service behind the exported DrvConvertDevMode. It answers
// through the platform's last-error slot, as the spooler expects.
#pragma once

#include <cstdint>

namespace klm::driver {

inline constexpr std::uint32_t CDM_CONVERT = 1;
inline constexpr std::uint32_t CDM_CONVERT351 = 2;
inline constexpr std::uint32_t CDM_DRIVER_DEFAULT = 4;

// `input` is read as far as its dmSize + dmDriverExtra say; `output` is
// written only within *size bytes. Modes 2 and 4 need 496 bytes: a smaller
// size or no output sets *size to 496 with ERROR_INSUFFICIENT_BUFFER. Mode 4
// writes the driver default of the named printer's driver. Returns 1 or 0.
int ConvertDevmode(const char16_t* printer_name, const void* input, void* output,
                   std::int32_t* size, std::uint32_t mode);

}  // namespace klm::driver
