#include "paper-data/source_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "platform/codepage.h"
#include "platform/locale.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace klm::paperdata {

#define KLM_HEAD_KEY(name, is_signed) \
  PaperNumberKey { #name, offsetof(PaperRecordHead, name), is_signed }

const std::array<HeaderKey, 18> kHeaderKeys = {{
    {"Version", "FormatVersion", &SourceHeader::FormatVersion},
    {"Version", "ModelVersion", &SourceHeader::ModelVersion},
    {"Version", "OutputFileName", &SourceHeader::OutputFileName},
    {"Model", "bySeriesCode", &SourceHeader::bySeriesCode},
    {"Model", "byModelCode", &SourceHeader::byModelCode},
    {"Model", "dmDeviceName", &SourceHeader::dmDeviceName},
    {"Model", "dwHeadPinNum", &SourceHeader::dwHeadPinNum},
    {"Model", "dwDeviceAbility01", &SourceHeader::dwDeviceAbility01},
    {"Model", "dwDeviceAbility02", &SourceHeader::dwDeviceAbility02},
    {"Model", "wMinCopies", &SourceHeader::wMinCopies},
    {"Model", "wMaxCopies", &SourceHeader::wMaxCopies},
    {"Model", "wMinCutEveryNum", &SourceHeader::wMinCutEveryNum},
    {"Model", "wMaxCutEveryNum", &SourceHeader::wMaxCutEveryNum},
    {"Model", "nDefaultPaperSize", &SourceHeader::nDefaultPaperSize},
    {"Model", "nDefaultPaperLength", &SourceHeader::nDefaultPaperLength},
    {"Model", "nDefaultPaperLengthRes", &SourceHeader::nDefaultPaperLengthRes},
    {"Model", "wResolutionNum", &SourceHeader::wResolutionNum},
    {"Model", "wResolutions", &SourceHeader::wResolutions},
}};

const std::array<PaperTextKey, 18> kPaperTextKeys = {{
    {"nSensorID", &SourcePaper::nSensorID},
    {"byRollWidMm", &SourcePaper::byRollWidMm},
    {"byHeadDivide", &SourcePaper::byHeadDivide},
    {"nDieStartPlus", &SourcePaper::nDieStartPlus},
    {"nDieStartRevPlus", &SourcePaper::nDieStartRevPlus},
    {"wDieStartFwdPlus", &SourcePaper::wDieStartFwdPlus},
    {"nAfterFeedPlus", &SourcePaper::nAfterFeedPlus},
    {"wPafMediaID", &SourcePaper::wPafMediaID},
    {"PresetBlkPos1_1", &SourcePaper::PresetBlkPos1_1},
    {"PresetBlkPos2_1", &SourcePaper::PresetBlkPos2_1},
    {"PresetBlkPos2_2", &SourcePaper::PresetBlkPos2_2},
    {"PresetBlkPos3_1", &SourcePaper::PresetBlkPos3_1},
    {"PresetBlkPos3_2", &SourcePaper::PresetBlkPos3_2},
    {"PresetBlkPos3_3", &SourcePaper::PresetBlkPos3_3},
    {"szSizeMM", &SourcePaper::szSizeMM},
    {"szSizeIN", &SourcePaper::szSizeIN},
    {"MediaAtrInfo", &SourcePaper::MediaAtrInfo},
    {"reserved_12_", &SourcePaper::reserved_12_},
}};

const std::array<PaperNumberKey, 24> kPaperNumberKeys = {{
    KLM_HEAD_KEY(nType, true),           KLM_HEAD_KEY(nPaperSize, true),
    KLM_HEAD_KEY(nPaperWidth, true),     KLM_HEAD_KEY(nImageAreaWidth, true),
    KLM_HEAD_KEY(nPaperWidthRes, true),  KLM_HEAD_KEY(nImageAreaWidthRes, true),
    KLM_HEAD_KEY(nPaperLength, true),    KLM_HEAD_KEY(nImageAreaLength, true),
    KLM_HEAD_KEY(nPaperLengthRes, true), KLM_HEAD_KEY(nImageAreaLengthRes, true),
    KLM_HEAD_KEY(nPhysicalOffsetX, true), KLM_HEAD_KEY(nPhysicalOffsetY, true),
    KLM_HEAD_KEY(wPinOffsetLeft, false), KLM_HEAD_KEY(wPinOffsetRight, false),
    KLM_HEAD_KEY(nMaxFeed, true),        KLM_HEAD_KEY(nMaxLength, true),
    KLM_HEAD_KEY(nMinLength, true),      KLM_HEAD_KEY(wSplit, false),
    KLM_HEAD_KEY(nClipInfoLeft, true),   KLM_HEAD_KEY(nClipInfoTop, true),
    KLM_HEAD_KEY(nClipInfoRight, true),  KLM_HEAD_KEY(nClipInfoBottom, true),
    KLM_HEAD_KEY(nVirtualOffsetX, true), KLM_HEAD_KEY(nVirtualOffsetY, true),
}};
#undef KLM_HEAD_KEY

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";
constexpr std::size_t kTextMax = 259;
constexpr std::size_t kCompatibleMax = 254;
constexpr const char* kStars = "******************************************************";
static_assert(std::char_traits<char>::length(kStars) == 54);

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::uint16_t GetHead(const PaperRecordHead& head, std::size_t offset) {
  std::uint16_t v;
  std::memcpy(&v, reinterpret_cast<const std::byte*>(&head) + offset, sizeof v);
  return v;
}
void SetHead(PaperRecordHead& head, std::size_t offset, std::uint16_t v) {
  std::memcpy(reinterpret_cast<std::byte*>(&head) + offset, &v, sizeof v);
}

const PaperNumberKey& NumberKey(std::string_view name) {
  for (const PaperNumberKey& k : kPaperNumberKeys) {
    if (name == k.key) return k;
  }
  return kPaperNumberKeys[0];  // unreachable for the names used below
}

// Quotes a value the reader would otherwise change (outer blanks, an outer
// pair of quotes); the reader strips exactly that one pair again.
std::string Quoted(std::string_view v) {
  const bool outer_blank =
      !v.empty() && (kBlanks.find(v.front()) != std::string_view::npos ||
                     kBlanks.find(v.back()) != std::string_view::npos);
  const bool outer_quotes =
      v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
  if (outer_blank || outer_quotes) return "\"" + std::string(v) + "\"";
  return std::string(v);
}

class Writer {
 public:
  void Line(std::string_view s) {
    out_.append(s);
    out_.append("\r\n");
  }
  void Section(std::string_view name) { Line("[" + std::string(name) + "]"); }
  void Key(std::string_view key, std::string_view value) {
    if (value.find_first_of("\r\n") != std::string_view::npos) {
      Fail("value of " + std::string(key) + " holds a line break");
      return;
    }
    Line(std::string(key) + "=" + Quoted(value));
  }
  void Fail(std::string why) {
    if (error_.empty()) error_ = std::move(why);
  }
  const std::string& error() const { return error_; }
  std::string& text() { return out_; }

 private:
  std::string out_;
  std::string error_;
};

std::string Printf(const char* format, long long v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, v);
  return buffer;
}

void WritePaper(Writer& w, const SourcePaper& p, int number, std::uint32_t code_page) {
  w.Section(PaperSectionName(number));
  auto name = [&](const char* key, std::u16string_view text) {
    auto ansi = platform::FromUtf16(text, code_page);
    if (!ansi) {
      w.Fail(std::string(key) + " of " + PaperSectionName(number) +
             " has no form in the ANSI code page");
      return;
    }
    w.Key(key, *ansi);
  };
  name("szPaperName_mm", FieldText(p.head.szPaperName_mm));
  name("szPaperName_inch", FieldText(p.head.szPaperName_inch));
  name("szPaperWidthString_inch", FieldText(p.head.szPaperWidthString_inch));
  name("szPaperLengthString_inch", FieldText(p.head.szPaperLengthString_inch));
  auto number_key = [&](const char* key) {
    const PaperNumberKey& k = NumberKey(key);
    const std::uint16_t raw = GetHead(p.head, k.offset);
    if (k.offset == offsetof(PaperRecordHead, nType)) {
      // Sign-extended, as the 32-bit "%x" of the value prints it.
      w.Key(key, Printf("0x%llx", static_cast<std::uint32_t>(static_cast<std::int16_t>(raw))));
    } else if (k.is_signed) {
      w.Key(key, Printf("%lld", static_cast<std::int16_t>(raw)));
    } else {
      w.Key(key, Printf("%lld", raw));
    }
  };
  for (const char* key :
       {"nType", "nPaperSize", "nPaperWidth", "nImageAreaWidth", "nPaperWidthRes",
        "nImageAreaWidthRes", "nPaperLength", "nImageAreaLength", "nPaperLengthRes",
        "nImageAreaLengthRes", "nPhysicalOffsetX", "nPhysicalOffsetY", "wPinOffsetLeft",
        "wPinOffsetRight", "nMaxFeed", "nMaxLength", "nMinLength", "wSplit", "nClipInfoLeft",
        "nClipInfoRight", "nClipInfoTop", "nClipInfoBottom", "nVirtualOffsetX",
        "nVirtualOffsetY"}) {
    number_key(key);
  }
  w.Key("nCompatiblePaperSizes", p.nCompatiblePaperSizes);
  w.Key("dwPaperAbility01", Printf("0x%08llx", p.dwPaperAbility01));
  w.Key("dwPaperAbility02", Printf("0x%08llx", p.dwPaperAbility02));
  w.Key("byReserved001", p.byReserved001);
  w.Key("byEnergyRank", Printf("%lld", p.byEnergyRank));
  w.Key("lblPitchDot", Printf("%lld", p.lblPitchDot));
  w.Key("markNoChkValu", Printf("%lld", p.markNoChkValu));
  for (const PaperTextKey& k : kPaperTextKeys) w.Key(k.key, p.*k.value);
  w.Line("0");
  w.Line("");
}

}  // namespace

bool SourcePaper::operator==(const SourcePaper& o) const {
  if (std::memcmp(&head, &o.head, sizeof head) != 0) return false;
  for (const PaperTextKey& k : kPaperTextKeys) {
    if (this->*k.value != o.*k.value) return false;
  }
  return byReserved001 == o.byReserved001 && preset == o.preset &&
         nCompatiblePaperSizes == o.nCompatiblePaperSizes &&
         dwPaperAbility01 == o.dwPaperAbility01 && dwPaperAbility02 == o.dwPaperAbility02 &&
         byEnergyRank == o.byEnergyRank && lblPitchDot == o.lblPitchDot &&
         markNoChkValu == o.markNoChkValu;
}

std::string PaperSectionName(int k) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "Paper%02d", k);
  return buffer;
}

SourceText::SourceText(std::string bytes, std::uint32_t code_page)
    : text_(std::move(bytes)), code_page_(code_page != 0 ? code_page : platform::AnsiCodePage()) {
  // Header lines as the profile engine recognises them: '[' after blanks.
  std::unordered_map<std::string, std::size_t> first;
  std::size_t pos = 0;
  while (pos < text_.size()) {
    std::size_t nl = text_.find('\n', pos);
    const std::size_t end = nl == std::string::npos ? text_.size() : nl;
    std::string_view line = Trim(std::string_view(text_).substr(pos, end - pos));
    if (!line.empty() && line.front() == '[') {
      if (!sections_.empty()) sections_.back().end = pos;
      std::string_view inner = line.substr(1);
      const auto close = inner.rfind(']');
      if (close != std::string_view::npos) inner = inner.substr(0, close);
      sections_.push_back({Upper(Trim(inner)), pos, text_.size()});
    }
    pos = nl == std::string::npos ? text_.size() : nl + 1;
  }
}

Result<SourceText> SourceText::Load(const std::filesystem::path& path, std::uint32_t code_page) {
  auto bytes = platform::ReadWholeFile(platform::ResolveCaseInsensitive(path));
  if (!bytes) return bytes.error();
  return SourceText(std::string(bytes->begin(), bytes->end()), code_page);
}

std::string_view SourceText::SectionText(std::string_view section) const {
  const std::string upper = Upper(section);
  for (const Section& s : sections_) {
    if (s.upper_name == upper) return std::string_view(text_).substr(s.begin, s.end - s.begin);
  }
  return {};
}

bool SourceText::HasSection(std::string_view section) const {
  return !SectionText(section).empty();
}

std::optional<std::string> SourceText::Value(std::string_view section,
                                             std::string_view key) const {
  const std::string_view slice = SectionText(section);
  if (slice.empty()) return std::nullopt;
  auto value = platform::FindProfileValue(slice, section, key);
  // Values are C strings to every reader of the format: a NUL ends them.
  if (value) value->resize(std::min(value->size(), value->find('\0')));
  return value;
}

std::uint32_t ProfileIntValue(const std::optional<std::string>& value, std::int32_t fallback) {
  return value ? platform::ParseProfileInt(*value, fallback) : static_cast<std::uint32_t>(fallback);
}

std::string CutAnsi(std::string_view text, std::size_t max_bytes, std::uint32_t code_page) {
  if (text.size() <= max_bytes) return std::string(text);
  auto whole = platform::ToUtf16(text, code_page);
  if (whole) {
    for (std::size_t back = 0; back < 4 && back <= max_bytes; ++back) {
      std::string_view prefix = text.substr(0, max_bytes - back);
      auto part = platform::ToUtf16(prefix, code_page);
      if (part && whole->starts_with(*part)) return std::string(prefix);
    }
  }
  return std::string(text.substr(0, max_bytes));
}

std::u16string CutUtf16(std::u16string_view text, std::size_t max_units) {
  if (text.size() <= max_units) return std::u16string(text);
  std::size_t n = max_units;
  // Never end on the high half of a surrogate pair.
  if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
  return std::u16string(text.substr(0, n));
}

Result<std::string> FormatSource(const SourceHeader& header, std::span<const SourcePaper> papers,
                                 std::uint32_t code_page) {
  if (code_page == 0) code_page = platform::AnsiCodePage();
  Writer w;
  if (header.dmDeviceName.find_first_of("\r\n") != std::string::npos) {
    return MakeError(ERROR_INVALID_DATA, "dmDeviceName holds a line break");
  }
  w.Line(std::string(";") + kStars);
  w.Line(";");
  w.Line(";\t" + header.dmDeviceName + " QMD Source File");
  w.Line(";");
  w.Line(";\tPaper formats of Koravel Industries, Ltd. printers. Edited by the paper-format editor.");
  w.Line(";");
  w.Line(std::string(";") + kStars);
  w.Line("");
  std::string_view section;
  for (const HeaderKey& k : kHeaderKeys) {
    if (section != k.section) {
      if (!section.empty()) {
        w.Line("0");
        w.Line("");
      }
      section = k.section;
      w.Section(section);
    }
    w.Key(k.key, header.*k.value);
  }
  w.Line("0");
  w.Line("");
  int number = 0;
  for (const SourcePaper& paper : papers) {
    if (paper.preset != 0) continue;
    WritePaper(w, paper, number++, code_page);
  }
  if (!w.error().empty()) return MakeError(ERROR_INVALID_DATA, w.error());
  return std::move(w.text());
}

Status WriteSource(const std::filesystem::path& path, const SourceHeader& header,
                   std::span<const SourcePaper> papers, std::uint32_t code_page) {
  auto text = FormatSource(header, papers, code_page);
  if (!text) return text.error();
  const auto* data = reinterpret_cast<const std::uint8_t*>(text->data());
  auto written = platform::WriteFileAtomic(platform::ResolveCaseInsensitive(path),
                                           std::span(data, text->size()));
  if (!written) {
    return MakeError(written.error().code,
                     "cannot write " + path.string() + ": " + written.error().message);
  }
  return {};
}

bool ReadSourceHeader(const SourceText& text, SourceHeader& header) {
  for (const HeaderKey& k : kHeaderKeys) {
    auto v = text.Value(k.section, k.key);
    // The lookup's default (a lone 0x01) counts as missing, as it always did.
    if (!v || v->empty() || *v == "\x01") return false;
    header.*k.value = CutAnsi(*v, kTextMax, text.code_page());
  }
  return true;
}

PaperReadOutcome ReadSourcePaper(const SourceText& text, int k, SourcePaper& target,
                                 std::int32_t preset, int position) {
  PaperReadOutcome out;
  const std::string section = PaperSectionName(k);
  auto fail = [&](std::string_view key, std::string problem) {
    out.failed_key = key;
    out.problem = std::move(problem);
    return out;
  };
  if (!text.HasSection(section)) return fail("", "section " + section + " is missing");
  target.preset = preset;
  auto get = [&](const char* key) -> std::optional<std::string> {
    auto v = text.Value(section, key);
    if (v) return CutAnsi(*v, kTextMax, text.code_page());
    return v;
  };
  auto utf16 = [&](const char* key, bool empty_ok, auto& field) -> bool {
    auto v = get(key);
    if (!v) return false;
    if (v->empty() && !empty_ok) return false;
    auto wide = platform::ToUtf16(*v, text.code_page());
    if (!wide) return false;
    CopyToField(*wide, field);
    return true;
  };
  for (auto [key, empty_ok, field] :
       {std::tuple{"szPaperName_mm", false, &target.head.szPaperName_mm},
        std::tuple{"szPaperName_inch", false, &target.head.szPaperName_inch}}) {
    if (!utf16(key, empty_ok, *field)) {
      return fail(key, "missing, empty or not text of the ANSI code page");
    }
  }
  for (auto [key, field] :
       {std::pair{"szPaperWidthString_inch", &target.head.szPaperWidthString_inch},
        std::pair{"szPaperLengthString_inch", &target.head.szPaperLengthString_inch}}) {
    if (!utf16(key, true, *field)) return fail(key, "missing or not text of the ANSI code page");
  }
  for (const PaperNumberKey& n : kPaperNumberKeys) {
    SetHead(target.head, n.offset, static_cast<std::uint16_t>(ProfileIntValue(get(n.key), 0)));
  }
  auto reserved = get("byReserved001");
  if (!reserved || reserved->empty()) return fail("byReserved001", "missing or empty");
  target.byReserved001 = *reserved;
  auto compatible = text.Value(section, "nCompatiblePaperSizes");
  if (!compatible) return fail("nCompatiblePaperSizes", "missing");
  target.nCompatiblePaperSizes = CutAnsi(*compatible, kCompatibleMax, text.code_page());
  target.dwPaperAbility01 = ProfileIntValue(get("dwPaperAbility01"), 0);
  target.dwPaperAbility02 = ProfileIntValue(get("dwPaperAbility02"), 0);
  target.byEnergyRank = static_cast<std::uint8_t>(ProfileIntValue(get("byEnergyRank"), 0));
  target.lblPitchDot = static_cast<std::uint16_t>(ProfileIntValue(get("lblPitchDot"), 0));
  target.markNoChkValu = static_cast<std::uint16_t>(ProfileIntValue(get("markNoChkValu"), 0));
  for (const PaperTextKey& t : kPaperTextKeys) {
    auto v = get(t.key);
    if (!v || v->empty()) return fail(t.key, "missing or empty");
    target.*t.value = *v;
  }
  if (position < kMaxListPapers) {
    out.list_full = position > kMaxListPapers - 2;
    out.read = true;
  } else {
    out.list_full = true;
    out.refused_full = true;
    out.problem = "the list holds " + std::to_string(kMaxListPapers) + " papers";
  }
  return out;
}

}  // namespace klm::paperdata
