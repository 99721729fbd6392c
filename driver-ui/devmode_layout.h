// The driver's DEVMODE: the platform's 220-byte public part followed by the
// 276-byte driver-private part. Applications, the spooler and the rendering
// half of the driver store and read these bytes, so every offset is fixed.
//
// The records are plain structures whose fields all sit at their natural
// alignment (the two unaligned u32s of AppExtension are UnalignedU32), so no
// packing is needed; every offset and size is checked below, so a compiler
// that lays them out differently fails to build.
// Bytes from outside are never cast in place: they are copied in with
// memcpy (FromBytes) after their sizes have been checked.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

#include "driver-ui/unaligned_int.h"

namespace klm::driver {

static_assert(std::endian::native == std::endian::little,
              "the DEVMODE records are little-endian on the wire");

// dmFields bits (DM_*), with the platform's values.
inline constexpr std::uint32_t DM_ORIENTATION = 0x00000001;
inline constexpr std::uint32_t DM_PAPERSIZE = 0x00000002;
inline constexpr std::uint32_t DM_PAPERLENGTH = 0x00000004;
inline constexpr std::uint32_t DM_PAPERWIDTH = 0x00000008;
inline constexpr std::uint32_t DM_SCALE = 0x00000010;
inline constexpr std::uint32_t DM_COPIES = 0x00000100;
inline constexpr std::uint32_t DM_DEFAULTSOURCE = 0x00000200;
inline constexpr std::uint32_t DM_PRINTQUALITY = 0x00000400;
inline constexpr std::uint32_t DM_COLOR = 0x00000800;
inline constexpr std::uint32_t DM_DUPLEX = 0x00001000;
inline constexpr std::uint32_t DM_YRESOLUTION = 0x00002000;
inline constexpr std::uint32_t DM_TTOPTION = 0x00004000;
inline constexpr std::uint32_t DM_COLLATE = 0x00008000;
inline constexpr std::uint32_t DM_FORMNAME = 0x00010000;

// Sizes a DEVMODE of the platform's successive versions has.
inline constexpr std::uint16_t kDevmodeSize300 = 188;  // dmSpecVersion 0x0320
inline constexpr std::uint16_t kDevmodeSize400 = 212;  // dmSpecVersion 0x0400
inline constexpr std::uint16_t kDevmodeSize = 220;     // dmSpecVersion 0x0401
inline constexpr std::uint16_t kDmSpecVersion = 0x0401;
inline constexpr std::uint16_t kDmDriverVersion = 0x0500;
inline constexpr std::uint16_t kPrivDevmodeSize = 276;
inline constexpr std::size_t kDriverDevmodeSize = kDevmodeSize + kPrivDevmodeSize;  // 496

// Where dmSize and dmDriverExtra end: a DEVMODE shorter than this has no
// readable header.
inline constexpr std::size_t kDevmodeHeaderSize = 72;

inline constexpr std::size_t kDeviceNameChars = 32;
inline constexpr std::size_t kFormNameChars = 32;

// The platform's public DEVMODE (wide-character form), printer view of its
// unions. Fields the driver does not use keep the platform's names.
struct DevmodePublic {
  char16_t dmDeviceName[kDeviceNameChars];
  std::uint16_t dmSpecVersion;
  std::uint16_t dmDriverVersion;
  std::uint16_t dmSize;
  std::uint16_t dmDriverExtra;
  std::uint32_t dmFields;
  std::int16_t dmOrientation;
  std::int16_t dmPaperSize;
  std::int16_t dmPaperLength;  // 0.1 mm
  std::int16_t dmPaperWidth;   // 0.1 mm
  std::int16_t dmScale;
  std::int16_t dmCopies;
  std::int16_t dmDefaultSource;
  std::int16_t dmPrintQuality;
  std::int16_t dmColor;
  std::int16_t dmDuplex;
  std::int16_t dmYResolution;
  std::int16_t dmTTOption;
  std::int16_t dmCollate;
  char16_t dmFormName[kFormNameChars];
  std::uint16_t dmLogPixels;
  std::uint32_t dmBitsPerPel;
  std::uint32_t dmPelsWidth;
  std::uint32_t dmPelsHeight;
  std::uint32_t dmNup;  // dmDisplayFlags in the display view
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

// Bits of ExtRequest and ExtValid.
inline constexpr std::uint16_t EXT_PAPER_ID = 0x1;
inline constexpr std::uint16_t EXT_LENGTH = 0x2;
inline constexpr std::uint16_t EXT_OPTION = 0x4;
inline constexpr std::uint16_t EXT_CUT_FLAGS = 0x8;
inline constexpr std::uint16_t EXT_FEED_MM = 0x10;
inline constexpr std::uint16_t EXT_SPLIT = 0x20;
inline constexpr std::uint16_t EXT_FEED_DOTS = 0x40;
inline constexpr std::uint16_t EXT_KEEP = 0x1000;  // carried over by a merge

// Bits of ExtCutFlags.
inline constexpr std::uint32_t CUT_EVERY = 0x1;
inline constexpr std::uint32_t CUT_MIRROR = 0x4;
inline constexpr std::uint32_t CUT_NOT_AT_END = 0x400;
inline constexpr std::uint32_t CUT_TAIL = 0x800;

inline constexpr std::uint16_t kAppExtensionSize = 30;

// Request/report block through which an application asks for label settings
// and reads back what the driver chose. Its u32 fields are not aligned.
struct AppExtension {
  std::uint16_t ExtSize;     // a block whose size is not 30 is ignored
  std::uint16_t ExtRequest;  // EXT_* the application asks for
  std::uint16_t ExtValid;    // EXT_* the driver filled in
  std::uint16_t ExtPaperId;  // base paper id for split formats
  std::uint16_t ExtOption;
  std::uint16_t ExtFeed;     // dots (EXT_FEED_DOTS) or millimetres (EXT_FEED_MM)
  std::uint16_t ExtSplit;    // parts across, 1-4
  std::uint16_t reserved14;
  std::uint16_t reserved16;
  UnalignedU32 ExtLength;    // dots at 300 dpi
  UnalignedU32 ExtCutFlags;  // CUT_*
  char ExtSignature[4];      // "KVQM", written by the driver only
};

inline constexpr std::uint32_t kPrivSignature = 0x56495250;  // bytes "PRIV"

// The platform's COLORADJUSTMENT.
struct ColorAdjustment {
  std::uint16_t caSize;
  std::uint16_t caFlags;
  std::uint16_t caIlluminantIndex;
  std::uint16_t caRedGamma;
  std::uint16_t caGreenGamma;
  std::uint16_t caBlueGamma;
  std::uint16_t caReferenceBlack;
  std::uint16_t caReferenceWhite;
  std::int16_t caContrast;
  std::int16_t caBrightness;
  std::int16_t caColorfulness;
  std::int16_t caRedGreenTint;
};

struct PrivDevmode {
  AppExtension Ext;
  std::uint8_t reserved30[2];
  std::uint32_t Signature;  // kPrivSignature; without it a merge ignores the part
  std::uint32_t PrivFlags;
  std::uint8_t reserved40[80];
  ColorAdjustment ColorAdjust;
  std::uint8_t reserved144[66];
  std::int16_t EntryId;      // Index of the selected catalogue entry
  std::int16_t PrevEntryId;  // last selected entry of paper group 0
  std::uint8_t UserFormatNo; // 1-20, 0 none
  std::uint8_t Mirror;
  std::uint8_t Collate;
  std::uint8_t SplitKind;    // extra parts across of the selected entry, 0-3
  std::uint8_t Halftone;
  std::int8_t Contrast;      // -20..20
  std::int8_t Brightness;    // -20..20
  std::uint8_t reserved221[3];
  std::uint32_t Length;            // dots at dmYResolution
  std::uint32_t LengthTenthMm;
  std::uint32_t DisplayLength;     // 0.1 mm or 0.01 inch, by Unit
  std::uint32_t DisplayLengthMax;
  std::uint32_t DisplayLengthMin;
  std::uint8_t ReverseOrder;
  std::uint8_t Unit;               // 0 millimetres, 1 inches
  std::uint8_t PaperGroup;
  std::uint8_t reserved247[7];
  std::uint8_t UnitInitialised;
  std::uint8_t TailCut;
  std::uint8_t FeedInDots;         // how AppExtension reports the feed
  std::uint8_t reserved257;
  std::uint16_t Feed;              // dots
  std::int32_t TableBase;          // nonzero makes a merge fail
  std::uint8_t BidiEnabled;
  std::uint8_t QualityMode;
  std::uint8_t CutAtEnd;
  std::uint8_t CutEvery;
  std::uint32_t CutEveryNum;
  std::uint8_t StartPrinting;
  std::uint8_t CutRearBlank;
  std::uint8_t DistributedPrinting;
  std::uint8_t SetMedia;
};

// The driver's own DEVMODE as it sits in memory and on the wire.
struct Devmode {
  DevmodePublic pub;
  PrivDevmode priv;

  // Zero-initialised; InitDevmode gives the defaults.
  static Devmode Zeroed() {
    Devmode d;
    std::memset(&d, 0, sizeof d);
    return d;
  }
  std::span<std::uint8_t, kDriverDevmodeSize> Bytes() {
    return std::span<std::uint8_t, kDriverDevmodeSize>(reinterpret_cast<std::uint8_t*>(this),
                                                       kDriverDevmodeSize);
  }
  std::span<const std::uint8_t, kDriverDevmodeSize> Bytes() const {
    return std::span<const std::uint8_t, kDriverDevmodeSize>(
        reinterpret_cast<const std::uint8_t*>(this), kDriverDevmodeSize);
  }
};

#define KLM_AT(T, f, off) static_assert(offsetof(T, f) == (off), #T "::" #f)
KLM_AT(DevmodePublic, dmDeviceName, 0);
KLM_AT(DevmodePublic, dmSpecVersion, 64);
KLM_AT(DevmodePublic, dmDriverVersion, 66);
KLM_AT(DevmodePublic, dmSize, 68);
KLM_AT(DevmodePublic, dmDriverExtra, 70);
KLM_AT(DevmodePublic, dmFields, 72);
KLM_AT(DevmodePublic, dmOrientation, 76);
KLM_AT(DevmodePublic, dmPaperSize, 78);
KLM_AT(DevmodePublic, dmPaperLength, 80);
KLM_AT(DevmodePublic, dmPaperWidth, 82);
KLM_AT(DevmodePublic, dmScale, 84);
KLM_AT(DevmodePublic, dmCopies, 86);
KLM_AT(DevmodePublic, dmDefaultSource, 88);
KLM_AT(DevmodePublic, dmPrintQuality, 90);
KLM_AT(DevmodePublic, dmColor, 92);
KLM_AT(DevmodePublic, dmDuplex, 94);
KLM_AT(DevmodePublic, dmYResolution, 96);
KLM_AT(DevmodePublic, dmTTOption, 98);
KLM_AT(DevmodePublic, dmCollate, 100);
KLM_AT(DevmodePublic, dmFormName, 102);
KLM_AT(DevmodePublic, dmLogPixels, 166);
KLM_AT(DevmodePublic, dmBitsPerPel, 168);
KLM_AT(DevmodePublic, dmPelsWidth, 172);
KLM_AT(DevmodePublic, dmPelsHeight, 176);
KLM_AT(DevmodePublic, dmNup, 180);
KLM_AT(DevmodePublic, dmDisplayFrequency, 184);
KLM_AT(DevmodePublic, dmICMMethod, 188);
KLM_AT(DevmodePublic, dmICMIntent, 192);
KLM_AT(DevmodePublic, dmMediaType, 196);
KLM_AT(DevmodePublic, dmDitherType, 200);
KLM_AT(DevmodePublic, dmReserved1, 204);
KLM_AT(DevmodePublic, dmReserved2, 208);
KLM_AT(DevmodePublic, dmPanningWidth, 212);
KLM_AT(DevmodePublic, dmPanningHeight, 216);
static_assert(sizeof(DevmodePublic) == kDevmodeSize);

KLM_AT(AppExtension, ExtSize, 0);
KLM_AT(AppExtension, ExtRequest, 2);
KLM_AT(AppExtension, ExtValid, 4);
KLM_AT(AppExtension, ExtPaperId, 6);
KLM_AT(AppExtension, ExtOption, 8);
KLM_AT(AppExtension, ExtFeed, 10);
KLM_AT(AppExtension, ExtSplit, 12);
KLM_AT(AppExtension, ExtLength, 18);
KLM_AT(AppExtension, ExtCutFlags, 22);
KLM_AT(AppExtension, ExtSignature, 26);
static_assert(sizeof(AppExtension) == kAppExtensionSize);
static_assert(sizeof(ColorAdjustment) == 24);

KLM_AT(PrivDevmode, Ext, 0);
KLM_AT(PrivDevmode, Signature, 32);
KLM_AT(PrivDevmode, PrivFlags, 36);
KLM_AT(PrivDevmode, ColorAdjust, 120);
KLM_AT(PrivDevmode, EntryId, 210);
KLM_AT(PrivDevmode, PrevEntryId, 212);
KLM_AT(PrivDevmode, UserFormatNo, 214);
KLM_AT(PrivDevmode, Mirror, 215);
KLM_AT(PrivDevmode, Collate, 216);
KLM_AT(PrivDevmode, SplitKind, 217);
KLM_AT(PrivDevmode, Halftone, 218);
KLM_AT(PrivDevmode, Contrast, 219);
KLM_AT(PrivDevmode, Brightness, 220);
KLM_AT(PrivDevmode, Length, 224);
KLM_AT(PrivDevmode, LengthTenthMm, 228);
KLM_AT(PrivDevmode, DisplayLength, 232);
KLM_AT(PrivDevmode, DisplayLengthMax, 236);
KLM_AT(PrivDevmode, DisplayLengthMin, 240);
KLM_AT(PrivDevmode, ReverseOrder, 244);
KLM_AT(PrivDevmode, Unit, 245);
KLM_AT(PrivDevmode, PaperGroup, 246);
KLM_AT(PrivDevmode, UnitInitialised, 254);
KLM_AT(PrivDevmode, TailCut, 255);
KLM_AT(PrivDevmode, FeedInDots, 256);
KLM_AT(PrivDevmode, Feed, 258);
KLM_AT(PrivDevmode, TableBase, 260);
KLM_AT(PrivDevmode, BidiEnabled, 264);
KLM_AT(PrivDevmode, QualityMode, 265);
KLM_AT(PrivDevmode, CutAtEnd, 266);
KLM_AT(PrivDevmode, CutEvery, 267);
KLM_AT(PrivDevmode, CutEveryNum, 268);
KLM_AT(PrivDevmode, StartPrinting, 272);
KLM_AT(PrivDevmode, CutRearBlank, 273);
KLM_AT(PrivDevmode, DistributedPrinting, 274);
KLM_AT(PrivDevmode, SetMedia, 275);
static_assert(sizeof(PrivDevmode) == kPrivDevmodeSize);

KLM_AT(Devmode, priv, kDevmodeSize);
static_assert(sizeof(Devmode) == kDriverDevmodeSize);
static_assert(alignof(Devmode) == 4);
static_assert(std::is_trivially_copyable_v<Devmode> && std::is_standard_layout_v<Devmode>);
#undef KLM_AT

// Reads a driver DEVMODE out of foreign bytes; nothing unless there are 496.
inline bool DevmodeFromBytes(std::span<const std::uint8_t> bytes, Devmode& out) {
  if (bytes.size() < kDriverDevmodeSize) return false;
  std::memcpy(&out, bytes.data(), kDriverDevmodeSize);
  return true;
}

}  // namespace klm::driver
