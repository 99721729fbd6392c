// The QMD source text: the editable, profile-file form of one model's paper
// catalogue (a Version and a Model section and Paper00, Paper01, ...), the
// records the paper-format editor holds it in, its writer and its readers.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "paper-data/qmd_records.h"
#include "platform/result.h"

namespace klm::paperdata {

// The eighteen header values, ANSI text of at most 259 bytes, kept verbatim.
struct SourceHeader {
  std::string FormatVersion, ModelVersion, OutputFileName;  // section Version
  std::string bySeriesCode, byModelCode, dmDeviceName, dwHeadPinNum, dwDeviceAbility01,
      dwDeviceAbility02, wMinCopies, wMaxCopies, wMinCutEveryNum, wMaxCutEveryNum,
      nDefaultPaperSize, nDefaultPaperLength, nDefaultPaperLengthRes, wResolutionNum,
      wResolutions;  // section Model
  bool operator==(const SourceHeader&) const = default;
};

struct HeaderKey {
  const char* section;
  const char* key;
  std::string SourceHeader::*value;
};
// In file order.
extern const std::array<HeaderKey, 18> kHeaderKeys;

// One paper format. Texts are ANSI bytes of at most 259 (nCompatiblePaperSizes:
// 254); names and inch strings are UTF-16 in `head`, always terminated.
struct SourcePaper {
  PaperRecordHead head{};  // laid out as the first 240 bytes of a PaperRecord
  std::string byReserved001;
  std::int32_t preset = 0;  // 1: read from the preset file; never stored
  std::string nCompatiblePaperSizes;
  std::uint32_t dwPaperAbility01 = 0;
  std::uint32_t dwPaperAbility02 = 0;
  std::uint8_t byEnergyRank = 0;
  std::uint16_t lblPitchDot = 0;
  std::uint16_t markNoChkValu = 0;
  std::string nSensorID, byRollWidMm, byHeadDivide, nDieStartPlus, nDieStartRevPlus,
      wDieStartFwdPlus, nAfterFeedPlus, wPafMediaID, PresetBlkPos1_1, PresetBlkPos2_1,
      PresetBlkPos2_2, PresetBlkPos3_1, PresetBlkPos3_2, PresetBlkPos3_3, szSizeMM, szSizeIN,
      MediaAtrInfo, reserved_12_;
  bool operator==(const SourcePaper& other) const;
};

// The eighteen text keys from nSensorID to reserved_12_, in file order.
struct PaperTextKey {
  const char* key;
  std::string SourcePaper::*value;
};
extern const std::array<PaperTextKey, 18> kPaperTextKeys;

// The sixteen-bit keys nType .. nVirtualOffsetY, in memory order, with their
// place in `head`; `is_signed` tells how the writer prints them.
struct PaperNumberKey {
  const char* key;
  std::size_t offset;
  bool is_signed;
};
extern const std::array<PaperNumberKey, 24> kPaperNumberKeys;

// Section name of paper k: "Paper%02d".
std::string PaperSectionName(int k);

// Capacity of the editor's list: positions 0..99.
inline constexpr int kMaxListPapers = 100;

// A source text held in memory, with the sections indexed so that each lookup
// reads only its own section. Lookups follow the profile engine's rules.
class SourceText {
 public:
  // Text in `code_page`; 0 takes the user's ANSI code page, asked once here.
  explicit SourceText(std::string bytes, std::uint32_t code_page = 0);
  static Result<SourceText> Load(const std::filesystem::path& path, std::uint32_t code_page = 0);

  // The value with blanks and one pair of quotes removed; nullopt when the
  // section or the key is missing.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;
  bool HasSection(std::string_view section) const;
  std::string_view bytes() const { return text_; }
  std::uint32_t code_page() const { return code_page_; }

 private:
  std::string_view SectionText(std::string_view section) const;
  std::string text_;
  std::uint32_t code_page_;
  struct Section {
    std::string upper_name;
    std::size_t begin, end;  // header line up to the next header line
  };
  std::vector<Section> sections_;
};

// The text of the whole file: comment block, Version, Model and one section
// per paper whose preset flag is 0, numbered from Paper00 in array order.
// Fails (nothing is written by WriteSource) when a value cannot be written as
// it is: a line break in a value, a name without ANSI form. `code_page` 0 is
// the user's ANSI code page.
Result<std::string> FormatSource(const SourceHeader& header, std::span<const SourcePaper> papers,
                                 std::uint32_t code_page = 0);
Status WriteSource(const std::filesystem::path& path, const SourceHeader& header,
                   std::span<const SourcePaper> papers, std::uint32_t code_page = 0);

// Reads the eighteen header values in file order into `header`, stopping at the
// first one missing or empty: the values before it are taken, the later keep
// their contents. True when all eighteen were read.
bool ReadSourceHeader(const SourceText& text, SourceHeader& header);

struct PaperReadOutcome {
  bool read = false;               // target holds the complete section
  std::optional<bool> list_full;   // new value of the list-full flag when the rule ran
  bool refused_full = false;       // position >= 100: the caller shows message 1109
  std::string failed_key;          // the key that ended an incomplete section
  std::string problem;             // why, for a person
};

// Reads section Paper<k> into `target`, which stands at array position
// `position` of the editor's list. Names longer than 31 UTF-16 units and inch
// strings longer than 15 are cut at a character boundary.
PaperReadOutcome ReadSourcePaper(const SourceText& text, int k, SourcePaper& target,
                                 std::int32_t preset, int position);

// Integer text as the profile engine reads it (decimal, 0x hex; stops at the
// first non-digit; "abc" is 0). `fallback` for missing or empty.
std::uint32_t ProfileIntValue(const std::optional<std::string>& value, std::int32_t fallback);

// `text` cut to at most `max_bytes` without splitting a character of
// `code_page`.
std::string CutAnsi(std::string_view text, std::size_t max_bytes, std::uint32_t code_page);
// UTF-16 cut to at most `max_units` without splitting a surrogate pair.
std::u16string CutUtf16(std::u16string_view text, std::size_t max_units);

// Copies `text` into a fixed UTF-16 field, cut to N - 1 units and terminated.
template <std::size_t N>
void CopyToField(std::u16string_view text, char16_t (&field)[N]) {
  std::u16string cut = CutUtf16(text, N - 1);
  std::fill(std::begin(field), std::end(field), u'\0');
  std::copy(cut.begin(), cut.end(), field);
}

// The text of a terminated fixed UTF-16 field.
template <std::size_t N>
std::u16string_view FieldText(const char16_t (&field)[N]) {
  std::size_t n = 0;
  while (n < N && field[n] != 0) ++n;
  return {field, n};
}

}  // namespace klm::paperdata
