#include "driver-ui/devmode_fields.h"

#include <cstddef>
#include <cstring>

#include "driver-ui/devmode_copy.h"
#include "driver-ui/devmode_layout.h"
#include "platform/codepage.h"

namespace klm::driver {
namespace {

#define PUB(f, k) DevmodeField{#f, false, offsetof(DevmodePublic, f), FieldKind::k, sizeof(DevmodePublic::f)}
#define PRIV(f, k) DevmodeField{#f, true, offsetof(PrivDevmode, f), FieldKind::k, sizeof(PrivDevmode::f)}
#define EXT(f, k) DevmodeField{#f, true, offsetof(AppExtension, f), FieldKind::k, sizeof(AppExtension::f)}
#define COLOR(f) \
  DevmodeField{#f, true, offsetof(PrivDevmode, ColorAdjust) + offsetof(ColorAdjustment, f), \
               FieldKind::U16, 2}

constexpr DevmodeField kFields[] = {
    PUB(dmDeviceName, Text16), PUB(dmSpecVersion, U16), PUB(dmDriverVersion, U16),
    PUB(dmSize, U16), PUB(dmDriverExtra, U16), PUB(dmFields, U32), PUB(dmOrientation, I16),
    PUB(dmPaperSize, I16), PUB(dmPaperLength, I16), PUB(dmPaperWidth, I16), PUB(dmScale, I16),
    PUB(dmCopies, I16), PUB(dmDefaultSource, I16), PUB(dmPrintQuality, I16), PUB(dmColor, I16),
    PUB(dmDuplex, I16), PUB(dmYResolution, I16), PUB(dmTTOption, I16), PUB(dmCollate, I16),
    PUB(dmFormName, Text16), PUB(dmLogPixels, U16), PUB(dmBitsPerPel, U32), PUB(dmPelsWidth, U32),
    PUB(dmPelsHeight, U32), PUB(dmNup, U32), PUB(dmDisplayFrequency, U32), PUB(dmICMMethod, U32),
    PUB(dmICMIntent, U32), PUB(dmMediaType, U32), PUB(dmDitherType, U32), PUB(dmReserved1, U32),
    PUB(dmReserved2, U32), PUB(dmPanningWidth, U32), PUB(dmPanningHeight, U32),
    EXT(ExtSize, U16), EXT(ExtRequest, U16), EXT(ExtValid, U16), EXT(ExtPaperId, U16),
    EXT(ExtOption, U16), EXT(ExtFeed, U16), EXT(ExtSplit, U16), EXT(ExtLength, U32),
    EXT(ExtCutFlags, U32), EXT(ExtSignature, Ascii),
    PRIV(Signature, U32), PRIV(PrivFlags, U32),
    COLOR(caSize), COLOR(caFlags), COLOR(caIlluminantIndex), COLOR(caRedGamma),
    COLOR(caGreenGamma), COLOR(caBlueGamma), COLOR(caReferenceBlack), COLOR(caReferenceWhite),
    COLOR(caContrast), COLOR(caBrightness), COLOR(caColorfulness), COLOR(caRedGreenTint),
    PRIV(EntryId, I16), PRIV(PrevEntryId, I16), PRIV(UserFormatNo, U8), PRIV(Mirror, U8),
    PRIV(Collate, U8), PRIV(SplitKind, U8), PRIV(Halftone, U8), PRIV(Contrast, I8),
    PRIV(Brightness, I8), PRIV(Length, U32), PRIV(LengthTenthMm, U32), PRIV(DisplayLength, U32),
    PRIV(DisplayLengthMax, U32), PRIV(DisplayLengthMin, U32), PRIV(ReverseOrder, U8),
    PRIV(Unit, U8), PRIV(PaperGroup, U8), PRIV(UnitInitialised, U8), PRIV(TailCut, U8),
    PRIV(FeedInDots, U8), PRIV(Feed, U16), PRIV(TableBase, I32), PRIV(BidiEnabled, U8),
    PRIV(QualityMode, U8), PRIV(CutAtEnd, U8), PRIV(CutEvery, U8), PRIV(CutEveryNum, U32),
    PRIV(StartPrinting, U8), PRIV(CutRearBlank, U8), PRIV(DistributedPrinting, U8),
    PRIV(SetMedia, U8),
};
#undef PUB
#undef PRIV
#undef EXT
#undef COLOR

std::int64_t Integer(const std::uint8_t* p, FieldKind kind) {
  std::uint32_t v = 0;
  const int n = kind == FieldKind::U8 || kind == FieldKind::I8     ? 1
                : kind == FieldKind::U16 || kind == FieldKind::I16 ? 2
                                                                   : 4;
  for (int i = 0; i < n; ++i) v |= std::uint32_t{p[i]} << (8 * i);
  switch (kind) {
    case FieldKind::I8: return static_cast<std::int8_t>(v);
    case FieldKind::I16: return static_cast<std::int16_t>(v);
    case FieldKind::I32: return static_cast<std::int32_t>(v);
    default: return v;
  }
}

std::string Text(const std::uint8_t* p, const DevmodeField& f) {
  if (f.kind == FieldKind::Ascii) {
    std::string s;
    for (int i = 0; i < f.size; ++i) {
      const char c = static_cast<char>(p[i]);
      s += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return s;
  }
  std::u16string s;
  for (int i = 0; i + 1 < f.size; i += 2) {
    const char16_t c = static_cast<char16_t>(p[i] | p[i + 1] << 8);
    if (c == 0) break;
    s += c;
  }
  return platform::Utf16ToUtf8(s);
}

}  // namespace

std::span<const DevmodeField> DevmodeFields() { return kFields; }

Result<DecodedDevmode> DecodeDevmode(std::span<const std::uint8_t> bytes) {
  const auto header = ReadDevmodeHeader(bytes);
  if (!header) {
    return MakeError(ERROR_INVALID_DATA, std::to_string(bytes.size()) +
                                             " bytes hold no DEVMODE (at least 72 are needed)");
  }
  DecodedDevmode out;
  out.byte_count = bytes.size();
  out.size = header->size;
  out.driver_extra = header->driver_extra;
  const std::size_t pub_end = std::min<std::size_t>(header->size, bytes.size());
  const std::size_t priv_end =
      std::min<std::size_t>(std::size_t{header->size} + header->driver_extra, bytes.size());
  for (const auto& f : kFields) {
    const std::size_t at = f.in_private ? std::size_t{header->size} + f.offset : f.offset;
    const std::size_t end = f.in_private ? priv_end : pub_end;
    if (at + f.size > end) {
      out.missing.emplace_back(f.name);
      continue;
    }
    DecodedField d{f.name, f.in_private, std::int64_t{0}};
    if (f.kind == FieldKind::Text16 || f.kind == FieldKind::Ascii) d.value = Text(&bytes[at], f);
    else d.value = Integer(&bytes[at], f.kind);
    out.fields.push_back(std::move(d));
  }
  return out;
}

}  // namespace klm::driver
