#include "converter/registration_file.h"

#include <cstring>
#include <string>
#include <type_traits>

namespace klm::converter {
namespace {

using paperdata::PaperRecord1;
using paperdata::PaperRegRecord;

// Fields the entry reads that qmd_records.h does not pin down itself.
static_assert(offsetof(PaperRegRecord, nDieStartRevPlus) == 0xA1);
static_assert(offsetof(PaperRegRecord, wDieStartFwdPlus) == 0xA3);
static_assert(offsetof(PaperRegRecord, nAfterFeedPlus) == 0xA5);
static_assert(offsetof(PaperRegRecord, nPaperLengthRes) == 0x107);

class EntryWriter {
 public:
  explicit EntryWriter(Entry& entry) : entry_(entry) {}
  void U8(std::uint8_t v) { entry_[at_++] = v; }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void Bytes(std::span<const std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) U8(b);
  }

 private:
  Entry& entry_;
  std::size_t at_ = 0;
};

Error Refuse(std::string message) { return MakeError(ERROR_INVALID_DATA, std::move(message)); }

}  // namespace

std::int32_t RoundTenthsToMm(std::int16_t tenths) {
  return (std::int32_t{tenths} + 5) / 10;
}

Entry BuildEntry(const PaperRegRecord& reg, std::uint16_t pin_offset_left) {
  Entry entry{};
  EntryWriter w(entry);
  w.U8(reg.byHeadDivide);
  w.U8(reg.byEnergyRank);
  w.U8(static_cast<std::uint8_t>(RoundTenthsToMm(reg.nPaperWidth)));
  w.U16(static_cast<std::uint16_t>(RoundTenthsToMm(reg.nPaperLength)));
  w.U8(reg.byRollWidMm);
  w.U16(pin_offset_left);
  w.U16(reg.lblPitchDot);
  w.U16(reg.markNoChkValu);
  w.U8(reg.nSensorID);
  w.U16(reg.nDieStartPlus);
  w.U16(reg.nDieStartRevPlus);
  w.U16(reg.wDieStartFwdPlus);
  w.U16(reg.nAfterFeedPlus);
  w.U16(reg.wPafMediaID);
  // Each 10-byte block loses its second byte.
  // Indexed, not by reference: the packed fields may be misaligned.
  for (std::size_t k = 0; k < std::extent_v<decltype(reg.PresetBlkPos)>; ++k) {
    w.U8(reg.PresetBlkPos[k].kind);
    for (std::size_t j = 0; j < std::extent_v<decltype(paperdata::PresetBlock::value)>; ++j)
      w.U16(reg.PresetBlkPos[k].value[j]);
  }
  w.Bytes(reg.MediaAtrInfo);
  w.Bytes(reg.reserved_12_);
  w.U16(reg.nPaperWidthRes);
  w.U16(reg.nPaperLengthRes);
  w.U16(reg.wPinOffsetRight);
  w.U32(reg.dwPaperAbility01);
  w.U32(reg.dwPaperAbility02);
  w.U32(reg.dwVirtualOffsets);
  return entry;
}

Result<std::vector<std::uint8_t>> BuildRegistrationFile(const paperdata::PaperLevelData& level4,
                                                        const paperdata::PaperLevelData& level1) {
  // The reader fills a level only when needed >= count x record size; the
  // byte check below keeps the walk inside the buffer even if it did not.
  if (!level4.filled || !level1.filled)
    return Refuse("the paper records could not be read in full");
  if (level1.count == 0) return Refuse("the paper data holds no paper");
  if (level4.count != level1.count)
    return Refuse("the two paper enumerations disagree: " + std::to_string(level4.count) +
                  " registration records, " + std::to_string(level1.count) + " paper records");
  if (level1.count > kMaxEntries)
    return Refuse(std::to_string(level1.count) + " papers, but the count byte holds at most " +
                  std::to_string(kMaxEntries));
  if (level4.bytes.size() < std::size_t{level4.count} * sizeof(PaperRegRecord) ||
      level1.bytes.size() < std::size_t{level1.count} * sizeof(PaperRecord1))
    return Refuse("the paper records are shorter than their count");
  const auto regs = paperdata::RecordsOf<PaperRegRecord>(level4);
  const auto papers = paperdata::RecordsOf<PaperRecord1>(level1);
  if (regs.size() != level1.count || papers.size() != level1.count)
    return Refuse("the paper records are not of the size their level promises");

  std::vector<std::uint8_t> file;
  file.reserve(kFileHeaderSize + kEntrySize * level1.count);
  file.insert(file.end(), kRegisterCommand.begin(), kRegisterCommand.end());
  file.push_back(static_cast<std::uint8_t>(level1.count));
  for (std::size_t i = 0; i < regs.size(); ++i) {
    const Entry entry = BuildEntry(regs[i], papers[i].head.wPinOffsetLeft);
    file.insert(file.end(), entry.begin(), entry.end());
  }
  return file;
}

}  // namespace klm::converter
