#include "paper-data/qmd_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace klm::paperdata {
namespace {

constexpr std::array<char, 4> kMagic = {'K', 'Q', 'M', 'D'};
constexpr std::uint32_t kPaperBytes = sizeof(PaperRecord) + sizeof(PaperRegRecord);

// Header offsets.
constexpr std::size_t kOffVersion = 4;
constexpr std::size_t kOffHeaderSize = 6;
constexpr std::size_t kOffFileSize = 8;
constexpr std::size_t kOffCrc = 12;
constexpr std::size_t kOffModelSize = 16;
constexpr std::size_t kOffPaperSize = 18;
constexpr std::size_t kOffCount = 20;
constexpr std::size_t kOffReserved = 24;

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint16_t Get16(std::span<const std::uint8_t> in, std::size_t at) {
  return static_cast<std::uint16_t>(in[at] | (in[at + 1] << 8));
}
std::uint32_t Get32(std::span<const std::uint8_t> in, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | in[at + i];
  return v;
}

// The checksum covers every byte but its own four.
std::uint32_t FileCrc(std::span<const std::uint8_t> file) {
  const std::uint32_t crc = Crc32(file.first(kOffCrc));
  return Crc32(file.subspan(kOffCrc + 4), crc);
}

template <typename Char, std::size_t N>
bool Terminated(const Char (&text)[N]) {
  return std::find(std::begin(text), std::end(text), Char{0}) != std::end(text);
}

Error Damaged(const std::string& why) {
  return MakeError(ERROR_INVALID_DATA, "compiled paper data is damaged: " + why);
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::uint8_t b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::vector<std::uint8_t> SerializeQmd(const CompiledQmd& qmd) {
  const std::size_t size =
      kQmdHeaderSize + sizeof(ModelRecord) + qmd.papers.size() * std::size_t{kPaperBytes};
  std::vector<std::uint8_t> out(size, 0);
  std::copy(kMagic.begin(), kMagic.end(), out.begin());
  Put16(out, kOffVersion, kQmdFormatVersion);
  Put16(out, kOffHeaderSize, kQmdHeaderSize);
  Put32(out, kOffFileSize, static_cast<std::uint32_t>(size));
  Put16(out, kOffModelSize, sizeof(ModelRecord));
  Put16(out, kOffPaperSize, kPaperBytes);
  Put32(out, kOffCount, static_cast<std::uint32_t>(qmd.papers.size()));
  std::size_t at = kQmdHeaderSize;
  std::memcpy(out.data() + at, &qmd.model, sizeof(ModelRecord));
  at += sizeof(ModelRecord);
  for (const CompiledPaper& paper : qmd.papers) {
    std::memcpy(out.data() + at, &paper.record, sizeof(PaperRecord));
    at += sizeof(PaperRecord);
    std::memcpy(out.data() + at, &paper.reg, sizeof(PaperRegRecord));
    at += sizeof(PaperRegRecord);
  }
  Put32(out, kOffCrc, FileCrc(out));
  return out;
}

Result<CompiledQmd> ParseQmd(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kQmdHeaderSize) return Damaged("shorter than its header");
  if (!std::equal(kMagic.begin(), kMagic.end(), bytes.begin())) {
    return Damaged("not a compiled paper-data file");
  }
  const std::uint16_t version = Get16(bytes, kOffVersion);
  if (version != kQmdFormatVersion) {
    return Damaged("format version " + std::to_string(version) + ", expected " +
                   std::to_string(kQmdFormatVersion));
  }
  if (Get16(bytes, kOffHeaderSize) != kQmdHeaderSize) return Damaged("wrong header size");
  if (Get32(bytes, kOffFileSize) != bytes.size()) {
    return Damaged("file size " + std::to_string(bytes.size()) + ", header says " +
                   std::to_string(Get32(bytes, kOffFileSize)));
  }
  if (Get16(bytes, kOffModelSize) != sizeof(ModelRecord)) return Damaged("wrong model size");
  if (Get16(bytes, kOffPaperSize) != kPaperBytes) return Damaged("wrong paper record size");
  if (Get32(bytes, kOffReserved) != 0 || Get32(bytes, kOffReserved + 4) != 0) {
    return Damaged("reserved header bytes are not zero");
  }
  const std::uint32_t count = Get32(bytes, kOffCount);
  if (count > kQmdMaxPapers) return Damaged("paper count " + std::to_string(count));
  const std::uint64_t expected =
      kQmdHeaderSize + sizeof(ModelRecord) + std::uint64_t{count} * kPaperBytes;
  if (expected != bytes.size()) return Damaged("size does not match the paper count");
  if (Get32(bytes, kOffCrc) != FileCrc(bytes)) return Damaged("checksum mismatch");

  CompiledQmd qmd;
  std::size_t at = kQmdHeaderSize;
  std::memcpy(&qmd.model, bytes.data() + at, sizeof(ModelRecord));
  at += sizeof(ModelRecord);
  if (!Terminated(qmd.model.dmDeviceName)) return Damaged("device name not terminated");
  qmd.papers.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    CompiledPaper& paper = qmd.papers[i];
    std::memcpy(&paper.record, bytes.data() + at, sizeof(PaperRecord));
    at += sizeof(PaperRecord);
    std::memcpy(&paper.reg, bytes.data() + at, sizeof(PaperRegRecord));
    at += sizeof(PaperRegRecord);
    const PaperRecordHead& h = paper.record.head;
    const PaperRegRecord& r = paper.reg;
    if (!Terminated(h.szPaperName_mm) || !Terminated(h.szPaperName_inch) ||
        !Terminated(h.szPaperWidthString_inch) || !Terminated(h.szPaperLengthString_inch) ||
        !Terminated(r.szSizeMM) || !Terminated(r.szSizeIN) || !Terminated(r.szPaperName) ||
        !Terminated(r.byReserved001)) {
      return Damaged("paper " + std::to_string(i) + " has a text without terminator");
    }
  }
  return qmd;
}

PaperRecord1 ToLevel1(const PaperRecord& record) {
  PaperRecord1 out{};
  static_assert(sizeof(PaperRecord1Head) <= sizeof(PaperRecordHead));
  std::memcpy(&out.head, &record.head, sizeof(PaperRecord1Head));
  out.nCompatiblePaperSizes = record.nCompatiblePaperSizes;
  out.dwPaperAbility01 = record.dwPaperAbility01;
  out.dwPaperAbility02 = record.dwPaperAbility02;
  return out;
}

}  // namespace klm::paperdata
