#include "driver-info/device_tables.h"

#include <cstring>
#include <limits>
#include <string>

#include "platform/codepage.h"
#include "platform/locale.h"

namespace klm::driverinfo {
namespace {

using paperdata::PaperRecord1;

constexpr std::uint32_t kAbilityAcross = 0x2;
constexpr std::uint32_t kAbilityClip = 0x8;

// One side of a paper: across it (width values) or along it (length values).
struct Side {
  std::int16_t dots, tenth_mm, offset_dots, printable_dots, printable_tenth_mm;
};

std::int16_t I16(int v) { return static_cast<std::int16_t>(v); }

// The length side of a continuous tape carries zeros; the model's defaults
// stand in. The resolution guard holds for either orientation.
void ApplyLengthDefaults(Side& side, const DeviceTables& model) {
  if (side.dots == 0) side.dots = model.default_length_dots;
  if (side.tenth_mm == 0) side.tenth_mm = model.default_length_tenth_mm;
  if (side.printable_dots == 0) side.printable_dots = I16(side.dots - 2 * side.offset_dots);
  if (side.printable_tenth_mm == 0 && model.resolution_dpi != 0)
    side.printable_tenth_mm = I16(static_cast<int>(side.printable_dots * 254.0 / model.resolution_dpi));
}

template <std::size_t N>
std::u16string_view FieldText(const char16_t (&field)[N]) {
  std::size_t n = 0;
  while (n < N && field[n] != 0) ++n;
  return {field, n};
}

class Writer {
 public:
  explicit Writer(char* at) : at_(reinterpret_cast<unsigned char*>(at)) {}
  void U8(std::size_t offset, std::uint8_t v) { at_[offset] = v; }
  void U16(std::size_t offset, std::int32_t v) {
    at_[offset] = static_cast<unsigned char>(v);
    at_[offset + 1] = static_cast<unsigned char>(v >> 8);
  }
  void U32(std::size_t offset, std::uint32_t v) {
    U16(offset, static_cast<std::int32_t>(v & 0xFFFF));
    U16(offset + 2, static_cast<std::int32_t>(v >> 16));
  }
  // Up to and including the NUL; the rest of the field is left as it was.
  void Text(std::size_t offset, const char* text) {
    std::memcpy(at_ + offset, text, std::strlen(text) + 1);
  }

 private:
  unsigned char* at_;
};

struct LengthPreset {
  std::uint8_t mm;
  std::int16_t dots;  // at 300 dpi
  const char* metric;
  const char* inch;
};
constexpr LengthPreset kLengthPresets[kLengthPresetCount] = {
    {3, 35, "3 mm", "0.1 \""},
    {127, 1500, "127 mm", "5 \""},
};

void WritePaper(char* out, const DerivedPaper& p, bool group_c, int x_factor, int y_factor) {
  Writer w(out);
  w.U16(0, p.paper_id);
  w.U16(2, p.y_dots * y_factor);
  w.U16(4, p.y_tenth_mm);
  w.U16(6, p.y_offset_dots * y_factor);
  w.U16(8, p.printable_y_dots * y_factor);
  w.U16(10, 0);
  w.Text(12, p.metric_name.data());
  w.Text(62, p.inch_name.data());
  w.U16(112, p.x_dots * x_factor);
  w.U16(114, p.x_tenth_mm);
  w.U16(116, p.x_offset_dots * x_factor);
  w.U16(118, p.printable_x_dots * x_factor);
  w.U16(120, p.printable_x_tenth_mm);
  w.U16(122, p.printable_y_tenth_mm);
  w.U32(124, p.kind_flags);
  // Only the papers of group C are printed as parts of a base paper.
  w.U16(128, group_c ? p.print_id : p.paper_id);
  w.U8(130, group_c ? p.part_count : 1);
}

void WriteClip(char* out, const ClipEntry& c, int x_factor, int y_factor) {
  Writer w(out);
  w.U32(0, c.flags);
  w.U32(4, static_cast<std::uint32_t>(c.left * x_factor));
  w.U32(8, static_cast<std::uint32_t>(c.top * y_factor));
  w.U32(12, static_cast<std::uint32_t>(c.right * x_factor));
  w.U32(16, static_cast<std::uint32_t>(c.bottom * y_factor));
}

}  // namespace

std::int32_t DeviceTables::PaperCount() const {
  std::int32_t n = 0;
  for (const PaperGroup& g : groups) n += static_cast<std::int32_t>(g.papers.size());
  return n;
}

GroupIndex GroupOf(std::int16_t type) {
  if (type == 138 || type == 139) return kGroupA;
  if (type == 8 || type == 11) return kGroupB;
  return kGroupC;
}

std::array<char, 50> AnsiName(std::u16string_view name) {
  std::array<char, 50> out{};
  const std::uint32_t code_page = platform::AnsiCodePage();
  std::size_t used = 0;
  for (std::size_t i = 0; i < name.size();) {
    std::size_t units = 1;
    if (name[i] >= 0xD800 && name[i] <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
        name[i + 1] <= 0xDFFF)
      units = 2;
    auto bytes = platform::FromUtf16(name.substr(i, units), code_page);
    const std::string piece = bytes ? *bytes : std::string("?");
    if (used + piece.size() > out.size() - 1) break;
    std::memcpy(out.data() + used, piece.data(), piece.size());
    used += piece.size();
    i += units;
  }
  return out;
}

DerivedPaper DerivePaper(const PaperRecord1& paper, const DeviceTables& model) {
  const auto& h = paper.head;
  Side width{h.nPaperWidthRes, h.nPaperWidth, h.nPhysicalOffsetX, h.nImageAreaWidthRes,
             h.nImageAreaWidth};
  Side length{h.nPaperLengthRes, h.nPaperLength, h.nPhysicalOffsetY, h.nImageAreaLengthRes,
              h.nImageAreaLength};
  ApplyLengthDefaults(length, model);
  const bool across = (paper.dwPaperAbility01 & kAbilityAcross) != 0;
  const Side& x = across ? length : width;
  const Side& y = across ? width : length;

  DerivedPaper d;
  d.paper_id = h.nPaperSize;
  d.x_dots = x.dots;
  d.y_dots = y.dots;
  d.x_tenth_mm = x.tenth_mm;
  d.y_tenth_mm = y.tenth_mm;
  d.x_offset_dots = x.offset_dots;
  d.y_offset_dots = y.offset_dots;
  d.printable_x_dots = x.printable_dots;
  d.printable_y_dots = y.printable_dots;
  d.printable_x_tenth_mm = x.printable_tenth_mm;
  d.printable_y_tenth_mm = y.printable_tenth_mm;
  d.metric_name = AnsiName(FieldText(h.szPaperName_mm));
  d.inch_name = AnsiName(FieldText(h.szPaperName_inch));
  const std::int16_t type = h.nType;
  if (type == 8 || type == 11 || type == 75 || type == 139) d.kind_flags |= 0x10;
  if (type == 138 || type == 139) d.kind_flags |= 0x40;
  d.print_id = h.wSplit != 0 ? paper.nCompatiblePaperSizes : h.nPaperSize;
  d.part_count = static_cast<std::uint8_t>((h.wSplit & 0xFF) + 1);
  return d;
}

ClipEntry DeriveClip(const PaperRecord1& paper) {
  const auto& h = paper.head;
  const bool clip_ability = (paper.dwPaperAbility01 & kAbilityClip) != 0;
  ClipEntry c;
  if (clip_ability) c.flags |= kClipAbility;
  if (h.nClipInfoLeft != 0 || h.nClipInfoTop != 0 || h.nClipInfoRight != 0 ||
      h.nClipInfoBottom != 0) {
    c.flags |= kClipValues;
    if (clip_ability) c.flags |= kClipAbilityValues;
    c.left = h.nClipInfoLeft;
    c.top = h.nClipInfoTop;
    c.right = h.nClipInfoRight;
    c.bottom = h.nClipInfoBottom;
  }
  return c;
}

Result<DeviceTables> BuildDeviceTables(const paperdata::ModelRecord& model,
                                       std::span<const PaperRecord1> papers) {
  DeviceTables t;
  t.series_code = model.bySeriesCode;
  t.model_code = model.byModelCode;
  t.default_length_dots = model.nDefaultPaperLengthRes;
  t.default_length_tenth_mm = model.nDefaultPaperLength;
  t.resolution_dpi = model.wYResolution;

  std::array<std::size_t, 3> counts{};
  for (const PaperRecord1& p : papers) ++counts[GroupOf(p.head.nType)];
  for (std::size_t g = 0; g < counts.size(); ++g) {
    // Each group's count is answered as a 16-bit number.
    if (counts[g] > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
      return MakeError(ERROR_INVALID_DATA, std::to_string(counts[g]) + " papers in one group");
    t.groups[g].papers.reserve(counts[g]);
    t.groups[g].clips.reserve(counts[g]);
  }
  for (const PaperRecord1& p : papers) {
    PaperGroup& group = t.groups[GroupOf(p.head.nType)];
    group.papers.push_back(DerivePaper(p, t));
    group.clips.push_back(DeriveClip(p));
  }
  return t;
}

std::int32_t AnswerCapability(const DeviceTables& tables, std::uint16_t index, char* output,
                              const DevModeA* devmode) {
  if (index == kCapModelCodes) return tables.series_code | tables.model_code << 8;
  if (index == kCapSignature) return 0x369120F3;
  if (devmode == nullptr) return -1;
  // Dot values are given for 300 dpi; a 600-dpi mode gets them doubled.
  const int x_factor = devmode->dmPrintQuality == 600 ? 2 : 1;
  const int y_factor = devmode->dmYResolution == 600 ? 2 : 1;
  switch (index) {
    case kCapPapers:
      if (output != nullptr) {
        for (std::size_t g = 0; g < tables.groups.size(); ++g) {
          for (const DerivedPaper& p : tables.groups[g].papers) {
            WritePaper(output, p, g == kGroupC, x_factor, y_factor);
            output += kPaperEntrySize;
          }
        }
      }
      return tables.PaperCount();
    case kCap268:
      return 92 << 16 | ((3600 * y_factor) & 0xFFFF);
    case kCapLengthPresets:
      if (output != nullptr) {
        for (const LengthPreset& preset : kLengthPresets) {
          Writer w(output);
          w.U8(0, preset.mm);
          w.U16(1, preset.dots * y_factor);
          w.Text(3, preset.metric);
          w.Text(53, preset.inch);
          output += kLengthPresetSize;
        }
      }
      return static_cast<std::int32_t>(kLengthPresetCount);
    case kCap271:
      return 3;
    case kCap273:
      return (250 * y_factor) << 16 | 120;
    case kCap274:
    case kCap275:
      return 0;
    case kCap276:
      return 4;
    case kCapClipAreas:
      if (output != nullptr) {
        for (const PaperGroup& group : tables.groups) {
          for (const ClipEntry& c : group.clips) {
            WriteClip(output, c, x_factor, y_factor);
            output += kClipEntrySize;
          }
        }
      }
      return tables.PaperCount();
    default:
      return -1;
  }
}

}  // namespace klm::driverinfo
