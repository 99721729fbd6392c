// What a 32-bit program needs to call KLM71F: the export's name and type, the
// private capability indexes it answers, the layout of the ANSI DEVMODE it
// reads two members of, and the sizes of the records it writes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace klm::driverinfo {

#pragma pack(push, 1)
// The public part of an ANSI DEVMODE (156 bytes); only dmPrintQuality (the
// X resolution in dpi) and dmYResolution are read.
struct DevModeA {
  char dmDeviceName[32];
  std::uint16_t dmSpecVersion;
  std::uint16_t dmDriverVersion;
  std::uint16_t dmSize;
  std::uint16_t dmDriverExtra;
  std::uint32_t dmFields;
  std::int16_t dmOrientation;
  std::int16_t dmPaperSize;
  std::int16_t dmPaperLength;
  std::int16_t dmPaperWidth;
  std::int16_t dmScale;
  std::int16_t dmCopies;
  std::int16_t dmDefaultSource;
  std::int16_t dmPrintQuality;
  std::int16_t dmColor;
  std::int16_t dmDuplex;
  std::int16_t dmYResolution;
  std::int16_t dmTTOption;
  std::int16_t dmCollate;
  char dmFormName[32];
  std::uint16_t dmLogPixels;
  std::uint32_t dmBitsPerPel;
  std::uint32_t dmPelsWidth;
  std::uint32_t dmPelsHeight;
  std::uint32_t dmDisplayFlags;
  std::uint32_t dmDisplayFrequency;
  std::uint32_t dmICMMethod;
  std::uint32_t dmICMIntent;
  std::uint32_t dmMediaType;
  std::uint32_t dmDitherType;
  std::uint32_t dmReserved1;
  std::uint32_t dmReserved2;
  std::uint32_t dmPanningWidth;
  std::uint32_t dmPanningHeight;
};
#pragma pack(pop)
static_assert(sizeof(DevModeA) == 156);
static_assert(offsetof(DevModeA, dmPrintQuality) == 58);
static_assert(offsetof(DevModeA, dmYResolution) == 64);

// The argument list of the ANSI device-capabilities call. Device and port are
// ignored; `output` may be null (list answers then return only their count);
// `devmode` may be null (then only kCapModelCodes and kCapSignature answer).
using MyDeviceCapabilitiesFunction = std::int32_t (*)(const char* device, const char* port,
                                                      std::uint16_t index, char* output,
                                                      const DevModeA* devmode);
inline constexpr const char* kMyDeviceCapabilitiesName = "MyDeviceCapabilities";

// Private capability indexes; any other answers -1.
inline constexpr std::uint16_t kCapPapers = 257;        // 138-byte entries
inline constexpr std::uint16_t kCap268 = 268;           // 92 << 16 | 3600 x Y factor
inline constexpr std::uint16_t kCapSignature = 269;     // 0x369120F3
inline constexpr std::uint16_t kCapLengthPresets = 270; // two 103-byte entries
inline constexpr std::uint16_t kCap271 = 271;           // 3
inline constexpr std::uint16_t kCap273 = 273;           // 250 x Y factor << 16 | 120
inline constexpr std::uint16_t kCap274 = 274;           // 0
inline constexpr std::uint16_t kCap275 = 275;           // 0
inline constexpr std::uint16_t kCap276 = 276;           // 4
inline constexpr std::uint16_t kCapModelCodes = 278;    // series | model << 8
inline constexpr std::uint16_t kCapClipAreas = 279;     // 20-byte entries

inline constexpr std::size_t kPaperEntrySize = 138;
inline constexpr std::size_t kClipEntrySize = 20;
inline constexpr std::size_t kLengthPresetSize = 103;
inline constexpr std::size_t kLengthPresetCount = 2;

}  // namespace klm::driverinfo
