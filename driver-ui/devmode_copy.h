// Copying DEVMODEs of any size and version into one another. A DEVMODE's
// own header (dmSize, dmDriverExtra) says where its parts are; it is never
// trusted beyond the bytes actually present.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "driver-ui/devmode_layout.h"

namespace klm::driver {

// Header fields of foreign DEVMODE bytes (at least kDevmodeHeaderSize).
struct DevmodeHeader {
  std::uint16_t spec_version;
  std::uint16_t driver_version;
  std::uint16_t size;
  std::uint16_t driver_extra;
};
// Inline so that a reader of stored DEVMODEs needs only the layout.
inline std::optional<DevmodeHeader> ReadDevmodeHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kDevmodeHeaderSize) return std::nullopt;
  auto get16 = [&](std::size_t at) { return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8); };
  return DevmodeHeader{get16(offsetof(DevmodePublic, dmSpecVersion)), get16(offsetof(DevmodePublic, dmDriverVersion)),
                       get16(offsetof(DevmodePublic, dmSize)), get16(offsetof(DevmodePublic, dmDriverExtra))};
}

// Copies the public part (the smaller dmSize) and the private part (the
// smaller dmDriverExtra) of `source` into `destination`, whose header keeps
// its own sizes and driver version and gets the dmSpecVersion its dmSize
// implies. Returns the bytes copied, or -1 when either side is unusable:
// no header, a source of unknown size with dmSpecVersion 0, a destination
// without a dmSpecVersion. Source and destination may overlap.
int CopyDevmode(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination);

// Hands the working DEVMODE to a caller. Without the caller's input it is
// copied whole (496 bytes); otherwise the output takes the caller's version
// and size when the caller's public part is older, and the working DEVMODE
// is copied into that shape. False when the output cannot hold it.
bool WriteOutDevmode(const Devmode& working, std::optional<std::span<const std::uint8_t>> input,
                     std::span<std::uint8_t> output);

}  // namespace klm::driver
