#include "paper-data/qmd_compile.h"

#include <cstring>

#include "platform/codepage.h"
#include "platform/locale.h"

namespace klm::paperdata {
namespace {

constexpr long long kI16Min = -32768, kU16Max = 65535;
constexpr long long kI32Min = -2147483648LL, kU32Max = 4294967295LL;

std::string_view TrimBlanks(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string_view> SplitCommas(std::string_view s) {
  std::vector<std::string_view> items;
  while (true) {
    const auto comma = s.find(',');
    items.push_back(TrimBlanks(s.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    s.remove_prefix(comma + 1);
  }
  return items;
}

std::string Range(long long lo, long long hi) {
  return std::to_string(lo) + " to " + std::to_string(hi);
}

// Collects problems of one paper or of the header, each naming its key.
class Checker {
 public:
  std::optional<long long> Number(std::string_view key, std::string_view text, long long lo,
                                  long long hi) {
    auto v = StrictNumber(text);
    if (!v) {
      Problem(key, "\"" + std::string(text) + "\" is not a number");
      return std::nullopt;
    }
    if (*v < lo || *v > hi) {
      Problem(key, std::string(text) + " is out of range (" + Range(lo, hi) + ")");
      return std::nullopt;
    }
    return v;
  }
  // `min_count`..`max_count` comma-separated numbers, each in lo..hi.
  std::vector<long long> List(std::string_view key, std::string_view text, std::size_t min_count,
                              std::size_t max_count, long long lo, long long hi) {
    std::vector<long long> values;
    const auto items = SplitCommas(text);
    if (items.size() < min_count || items.size() > max_count) {
      Problem(key, "\"" + std::string(text) + "\" has " + std::to_string(items.size()) +
                       " values, expected " +
                       (min_count == max_count ? std::to_string(min_count)
                                               : Range(static_cast<long long>(min_count),
                                                       static_cast<long long>(max_count))));
      return values;
    }
    for (std::string_view item : items) {
      auto v = Number(key, item, lo, hi);
      if (!v) return {};
      values.push_back(*v);
    }
    return values;
  }
  void Problem(std::string_view key, std::string what) {
    problems.emplace_back(std::string(key), std::move(what));
  }
  std::vector<std::pair<std::string, std::string>> problems;
};

template <std::size_t N>
void CopyAnsi(std::string_view text, char (&field)[N], std::uint32_t code_page) {
  const std::string cut = CutAnsi(text, N - 1, code_page);
  std::memset(field, 0, N);
  std::memcpy(field, cut.data(), cut.size());
}

std::string Where(std::string_view file, std::string_view section, std::string_view key) {
  std::string out = std::string(file) + ": [" + std::string(section) + "]";
  if (!key.empty()) out += " " + std::string(key);
  return out;
}

void BuildModel(const SourceText& text, Checker& c, ModelRecord& m) {
  auto value = [&](const char* key) -> std::string {
    auto v = text.Value("Model", key);
    if (!v || v->empty()) {
      c.Problem(key, "missing or empty");
      return {};
    }
    return *v;
  };
  for (auto [key, field] : {std::pair{"bySeriesCode", &m.bySeriesCode},
                            std::pair{"byModelCode", &m.byModelCode}}) {
    const std::string v = value(key);
    if (v.empty()) continue;
    if (v.size() != 1) {
      c.Problem(key, "\"" + v + "\" is not a single character");
      continue;
    }
    *field = static_cast<std::uint8_t>(v[0]);
  }
  const std::string name = value("dmDeviceName");
  if (!name.empty()) {
    auto wide = platform::ToUtf16(name, text.code_page());
    if (wide) CopyToField(*wide, m.dmDeviceName);
    else c.Problem("dmDeviceName", "not text of the ANSI code page");
  }
  // Packed fields are assigned, never bound to references: many sit on odd
  // addresses.
  auto number = [&](const char* key, long long lo, long long hi) -> std::optional<long long> {
    const std::string v = value(key);
    if (v.empty()) return std::nullopt;
    return c.Number(key, v, lo, hi);
  };
  if (auto n = number("dwHeadPinNum", 0, kU32Max)) m.dwHeadPinNum = static_cast<std::uint32_t>(*n);
  if (auto n = number("dwDeviceAbility01", 0, kU32Max)) {
    m.dwDeviceAbility01 = static_cast<std::uint32_t>(*n);
  }
  if (auto n = number("dwDeviceAbility02", 0, kU32Max)) {
    m.dwDeviceAbility02 = static_cast<std::uint32_t>(*n);
  }
  if (auto n = number("wMinCopies", 0, kU16Max)) m.wMinCopies = static_cast<std::uint16_t>(*n);
  if (auto n = number("wMaxCopies", 0, kU16Max)) m.wMaxCopies = static_cast<std::uint16_t>(*n);
  if (auto n = number("wMinCutEveryNum", 0, kU16Max)) {
    m.wMinCutEveryNum = static_cast<std::uint16_t>(*n);
  }
  if (auto n = number("wMaxCutEveryNum", 0, kU16Max)) {
    m.wMaxCutEveryNum = static_cast<std::uint16_t>(*n);
  }
  if (auto n = number("nDefaultPaperSize", kI16Min, 32767)) {
    m.nDefaultPaperSize = static_cast<std::int16_t>(*n);
  }
  if (auto n = number("nDefaultPaperLength", kI16Min, 32767)) {
    m.nDefaultPaperLength = static_cast<std::int16_t>(*n);
  }
  if (auto n = number("nDefaultPaperLengthRes", kI16Min, 32767)) {
    m.nDefaultPaperLengthRes = static_cast<std::int16_t>(*n);
  }
  const std::string count_text = value("wResolutionNum");
  const std::string list_text = value("wResolutions");
  if (count_text.empty() || list_text.empty()) return;
  auto count = c.Number("wResolutionNum", count_text, 1, 5);
  if (!count) return;
  m.wResolutionNum = static_cast<std::uint16_t>(*count);
  const auto n = static_cast<std::size_t>(*count) * 2;
  auto dpi = c.List("wResolutions", list_text, n, n, 1, kU16Max);
  if (dpi.size() != n) return;
  m.wXResolution = static_cast<std::uint16_t>(dpi[0]);
  m.wYResolution = static_cast<std::uint16_t>(dpi[1]);
  for (std::size_t i = 2; i < n; ++i) m.wMoreResolutions[i - 2] = static_cast<std::uint16_t>(dpi[i]);
}

// Every numeric key must be written out and fit its field; the editor's reader
// would quietly take 0 instead.
void CheckNumbers(const SourceText& text, const std::string& section, Checker& c) {
  auto check = [&](const char* key, long long lo, long long hi) {
    auto v = text.Value(section, key);
    if (!v) c.Problem(key, "missing");
    else c.Number(key, *v, lo, hi);
  };
  for (const PaperNumberKey& k : kPaperNumberKeys) check(k.key, kI16Min, kU16Max);
  check("dwPaperAbility01", kI32Min, kU32Max);
  check("dwPaperAbility02", kI32Min, kU32Max);
  check("byEnergyRank", 0, 255);
  check("lblPitchDot", 0, kU16Max);
  check("markNoChkValu", 0, kU16Max);
}

}  // namespace

std::optional<long long> StrictNumber(std::string_view text) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 12) return std::nullopt;
  long long v = 0;
  for (char ch : text) {
    int digit;
    if (ch >= '0' && ch <= '9') digit = ch - '0';
    else if (base == 16 && ch >= 'a' && ch <= 'f') digit = ch - 'a' + 10;
    else if (base == 16 && ch >= 'A' && ch <= 'F') digit = ch - 'A' + 10;
    else return std::nullopt;
    v = v * base + digit;
  }
  return negative ? -v : v;
}

PaperBuild BuildPaperRecords(const SourcePaper& p, std::uint32_t code_page) {
  if (code_page == 0) code_page = platform::AnsiCodePage();
  PaperBuild out;
  Checker c;
  PaperRecord& rec = out.paper.record;
  PaperRegRecord& reg = out.paper.reg;
  const PaperRecordHead& h = p.head;
  rec.head = h;
  if (!TrimBlanks(p.nCompatiblePaperSizes).empty()) {
    auto ids = c.List("nCompatiblePaperSizes", p.nCompatiblePaperSizes, 1, 127, kI16Min, 32767);
    if (!ids.empty()) rec.nCompatiblePaperSizes = static_cast<std::int16_t>(ids[0]);
  }
  rec.dwPaperAbility01 = p.dwPaperAbility01;
  rec.dwPaperAbility02 = p.dwPaperAbility02;

  reg.nType = h.nType;
  reg.nPaperSize = h.nPaperSize;
  CopyAnsi(p.szSizeMM, reg.szSizeMM, code_page);
  CopyAnsi(p.szSizeIN, reg.szSizeIN, code_page);
  if (auto ansi = platform::FromUtf16(FieldText(h.szPaperName_mm), code_page)) {
    CopyAnsi(*ansi, reg.szPaperName, code_page);
  }
  CopyAnsi(p.byReserved001, reg.byReserved001, code_page);
  reg.nPaperWidth = h.nPaperWidth;
  reg.nImageAreaWidth = h.nImageAreaWidth;
  reg.lblPitchDot = p.lblPitchDot;
  reg.nPaperLength = h.nPaperLength;
  reg.markNoChkValu = p.markNoChkValu;
  reg.nImageAreaLength = h.nImageAreaLength;
  reg.nPhysicalOffsetX = h.nPhysicalOffsetX;
  reg.nPhysicalOffsetY = h.nPhysicalOffsetY;
  reg.nMaxFeed = h.nMaxFeed;
  reg.nMaxLength = h.nMaxLength;
  reg.nMinLength = h.nMinLength;
  // Assigned, never bound to references: these fields sit on odd addresses.
  auto byte = [&](const char* key, const std::string& text) {
    return static_cast<std::uint8_t>(c.Number(key, text, 0, 255).value_or(0));
  };
  auto word = [&](const char* key, const std::string& text) {
    return static_cast<std::uint16_t>(c.Number(key, text, kI16Min, kU16Max).value_or(0));
  };
  reg.byHeadDivide = byte("byHeadDivide", p.byHeadDivide);
  reg.byTypeLow = static_cast<std::uint8_t>(h.nType);
  reg.byEnergyRank = p.byEnergyRank;
  reg.byRollWidMm = byte("byRollWidMm", p.byRollWidMm);
  reg.nSensorID = byte("nSensorID", p.nSensorID);
  reg.nDieStartPlus = word("nDieStartPlus", p.nDieStartPlus);
  reg.nDieStartRevPlus = word("nDieStartRevPlus", p.nDieStartRevPlus);
  reg.wDieStartFwdPlus = word("wDieStartFwdPlus", p.wDieStartFwdPlus);
  reg.nAfterFeedPlus = word("nAfterFeedPlus", p.nAfterFeedPlus);
  reg.wPafMediaID = word("wPafMediaID", p.wPafMediaID);
  const std::pair<const char*, const std::string*> blocks[6] = {
      {"PresetBlkPos1_1", &p.PresetBlkPos1_1}, {"PresetBlkPos2_1", &p.PresetBlkPos2_1},
      {"PresetBlkPos2_2", &p.PresetBlkPos2_2}, {"PresetBlkPos3_1", &p.PresetBlkPos3_1},
      {"PresetBlkPos3_2", &p.PresetBlkPos3_2}, {"PresetBlkPos3_3", &p.PresetBlkPos3_3}};
  for (int i = 0; i < 6; ++i) {
    const std::string& text = *blocks[i].second;
    // "kind,v1,v2,v3,v4": the kind a byte, the four values 16 bits.
    auto values = c.List(blocks[i].first, text, 5, 5, kI16Min, kU16Max);
    if (values.size() != 5) continue;
    if (values[0] < 0 || values[0] > 255) {
      c.Problem(blocks[i].first, "kind " + std::to_string(values[0]) + " is out of range (0 to 255)");
      continue;
    }
    reg.PresetBlkPos[i].kind = static_cast<std::uint8_t>(values[0]);
    for (int j = 0; j < 4; ++j) reg.PresetBlkPos[i].value[j] = static_cast<std::uint16_t>(values[j + 1]);
  }
  auto media = c.List("MediaAtrInfo", p.MediaAtrInfo, 1, 16, 0, 255);
  for (std::size_t i = 0; i < media.size(); ++i) reg.MediaAtrInfo[i] = static_cast<std::uint8_t>(media[i]);
  auto reserved = c.List("reserved_12_", p.reserved_12_, 12, 12, 0, 255);
  for (std::size_t i = 0; i < reserved.size(); ++i) reg.reserved_12_[i] = static_cast<std::uint8_t>(reserved[i]);
  reg.nPaperWidthRes = static_cast<std::uint16_t>(h.nPaperWidthRes);
  reg.nPaperLengthRes = static_cast<std::uint16_t>(h.nPaperLengthRes);
  reg.wPinOffsetRight = h.wPinOffsetRight;
  reg.dwPaperAbility01 = p.dwPaperAbility01;
  reg.dwPaperAbility02 = p.dwPaperAbility02;
  reg.dwVirtualOffsets = static_cast<std::uint16_t>(h.nVirtualOffsetX) |
                         (std::uint32_t{static_cast<std::uint16_t>(h.nVirtualOffsetY)} << 16);
  out.problems = std::move(c.problems);
  return out;
}

CompileOutcome CompileSource(const SourceText& text, std::string_view file_label) {
  CompileOutcome out;
  CompiledQmd qmd;
  {
    Checker c;
    BuildModel(text, c, qmd.model);
    for (auto& [key, what] : c.problems) out.problems.push_back(Where(file_label, "Model", key) + ": " + what);
  }
  int k = 0;
  for (;; ++k) {
    const std::string section = PaperSectionName(k);
    if (!text.HasSection(section)) break;
    if (k >= static_cast<int>(kQmdMaxPapers)) {
      out.problems.push_back(Where(file_label, section, "") + ": more than " +
                             std::to_string(kQmdMaxPapers) + " papers");
      break;
    }
    SourcePaper paper;
    PaperReadOutcome read = ReadSourcePaper(text, k, paper, 0, 0);
    if (!read.read) {
      out.problems.push_back(Where(file_label, section, read.failed_key) + ": " + read.problem);
      continue;
    }
    Checker c;
    CheckNumbers(text, section, c);
    PaperBuild build = BuildPaperRecords(paper, text.code_page());
    for (auto& problem : build.problems) c.problems.push_back(std::move(problem));
    for (auto& [key, what] : c.problems) out.problems.push_back(Where(file_label, section, key) + ": " + what);
    qmd.papers.push_back(build.paper);
  }
  for (int later = k + 1; later < static_cast<int>(kQmdMaxPapers); ++later) {
    if (text.HasSection(PaperSectionName(later))) {
      out.notes.push_back(Where(file_label, PaperSectionName(later), "") + ": ignored, " +
                          PaperSectionName(k) + " is missing");
      break;
    }
  }
  if (out.problems.empty()) out.qmd = std::move(qmd);
  return out;
}

}  // namespace klm::paperdata
