// Device capabilities: what applications and the spooler ask the driver
// about its papers, extents and settings, and the paper list the property
// sheets show. Constant answers come at once; the others are taken from a
// throw-away DEVMODE built on a stand-alone catalogue.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "driver-ui/devmode_layout.h"
#include "driver-ui/paper_catalogue.h"
#include "driver-ui/user_formats.h"

namespace klm::platform {
struct PrinterHandle;
}

namespace klm::driver {

// Capability indexes (DC_*), with the platform's values.
inline constexpr std::uint16_t DC_FIELDS = 1;
inline constexpr std::uint16_t DC_PAPERS = 2;
inline constexpr std::uint16_t DC_PAPERSIZE = 3;
inline constexpr std::uint16_t DC_MINEXTENT = 4;
inline constexpr std::uint16_t DC_MAXEXTENT = 5;
inline constexpr std::uint16_t DC_BINS = 6;
inline constexpr std::uint16_t DC_DUPLEX = 7;
inline constexpr std::uint16_t DC_SIZE = 8;
inline constexpr std::uint16_t DC_EXTRA = 9;
inline constexpr std::uint16_t DC_VERSION = 10;
inline constexpr std::uint16_t DC_DRIVER = 11;
inline constexpr std::uint16_t DC_BINNAMES = 12;
inline constexpr std::uint16_t DC_ENUMRESOLUTIONS = 13;
inline constexpr std::uint16_t DC_FILEDEPENDENCIES = 14;
inline constexpr std::uint16_t DC_TRUETYPE = 15;
inline constexpr std::uint16_t DC_PAPERNAMES = 16;
inline constexpr std::uint16_t DC_ORIENTATION = 17;
inline constexpr std::uint16_t DC_COPIES = 18;
inline constexpr std::uint16_t DC_PRINTRATE = 26;
inline constexpr std::uint16_t DC_PRINTRATEUNIT = 27;
inline constexpr std::uint16_t DC_MEDIAREADY = 29;
inline constexpr std::uint16_t DC_STAPLE = 30;
inline constexpr std::uint16_t DC_COLORDEVICE = 32;

inline constexpr std::uint16_t kBinFormSource = 15;   // DMBIN_FORMSOURCE
inline constexpr std::size_t kPaperNameChars = 64;   // a DC_PAPERNAMES slot
inline constexpr std::size_t kBinNameChars = 24;     // a DC_BINNAMES slot
inline constexpr std::size_t kMediaNameChars = 32;   // a ready paper's name with its terminator
inline constexpr std::int32_t kCapabilityFailed = -1;

// Where ListPapers writes; each span may be empty (nothing written there)
// and receives at most what it holds: names kPaperNameChars per paper, one
// id per paper, a width and a length (0.1 mm) per paper.
struct PaperListOut {
  std::span<char16_t> names;
  std::span<std::uint16_t> ids;
  std::span<std::int32_t> sizes;
};

// The papers of the DEVMODE's paper group (group 0 without a DEVMODE): its
// catalogue entries, the custom size, then the group's user formats (ids
// 317 on). Answers how many there are. Every listed item gets a name, an id
// and a size pair; a value that cannot be known is 0.
int ListPapers(const PaperCatalogue& catalogue, std::span<const UserFormat> user_formats,
               const Devmode* devmode, const PaperListOut& out);

// The answer of DrvDeviceCapabilities. `output` (or nullptr) is the caller's
// buffer, as large as the platform implies for `index` and the count a call
// without buffer answered; it is untouched on failure (-1).
std::int32_t DeviceCapabilities(const platform::PrinterHandle* printer, std::u16string_view device_name,
                                std::uint16_t index, void* output,
                                std::span<const std::uint8_t> devmode);

// The DEVMODE a capability query answers from: the driver default with the
// printer's default DEVMODE and then `devmode` (if any) merged into it.
Devmode BuildQueryDevmode(const platform::PrinterHandle* printer, std::u16string_view device_name,
                                         const PaperCatalogue& catalogue, std::span<const UserFormat> user_formats,
                                         std::span<const std::uint8_t> devmode);

}  // namespace klm::driver
