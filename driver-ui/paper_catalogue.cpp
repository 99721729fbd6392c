#include "driver-ui/paper_catalogue.h"

#include <algorithm>
#include <cstring>

#include "paper-data/paper_data_reader.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/machine_root.h"
#include "platform/spooler.h"
#include "platform/win_errors.h"

namespace klm::driver {
namespace {

// Record fields are 16-bit; wider results wrap as the stored type does.
std::int16_t Narrow(std::int64_t v) { return static_cast<std::int16_t>(v); }

// Rounded rescale of a size in 0.1 mm to a new dot count, in 64 bits so no
// product overflows.
std::int64_t Rescale(std::int64_t size, std::int64_t new_res, std::int64_t old_res) {
  return (new_res * size * 10 / old_res + 5) / 10;
}

}  // namespace

void AdjustVirtualOffsets(PaperRecord& record) {
  auto& r = record.head;
  const int vx = r.nVirtualOffsetX;
  if (vx > 0) {
    // A dot count of 0 cannot be rescaled; only the offset moves then.
    if (r.nPaperWidthRes != 0) {
      const std::int64_t new_res = std::int64_t{r.nPaperWidthRes} + 2 * vx;
      r.nPaperWidth = Narrow(Rescale(r.nPaperWidth, new_res, r.nPaperWidthRes));
      r.nPaperWidthRes = Narrow(new_res);
    }
    r.nPhysicalOffsetX = Narrow(std::int64_t{r.nPhysicalOffsetX} + vx);
  } else if (vx < 0) {
    if (int{r.wPinOffsetLeft} + vx >= 0) {
      r.wPinOffsetLeft = static_cast<std::uint16_t>(r.wPinOffsetLeft + vx);
      r.wPinOffsetRight = static_cast<std::uint16_t>(r.wPinOffsetRight - vx);
      r.nVirtualOffsetX = 0;
    } else {
      r.nVirtualOffsetX = Narrow(int{r.wPinOffsetLeft} + vx);
      r.wPinOffsetLeft = 0;
      r.wPinOffsetRight = static_cast<std::uint16_t>(kHeadDots - r.nImageAreaWidthRes);
    }
  }
  const int vy = r.nVirtualOffsetY;
  if (vy > 0) {
    r.nPhysicalOffsetY = Narrow(std::int64_t{r.nPhysicalOffsetY} + vy);
    if (r.nPaperLengthRes != 0) {
      const std::int64_t new_res = std::int64_t{r.nPaperLengthRes} + 2 * vy;
      r.nPaperLength = Narrow(Rescale(r.nPaperLength, new_res, r.nPaperLengthRes));
      r.nPaperLengthRes = Narrow(new_res);
    }
  }
}

PaperEntry MakeEntry(const PaperRecord& record, std::int16_t index, std::uint8_t series_code) {
  const auto& r = record.head;
  PaperEntry e;
  std::memset(&e, 0, sizeof e);
  e.Index = index;
  const bool grouped = (series_code == '0' || series_code == '3') && (r.nType == 2 || r.nType == 5);
  e.Group = grouped ? 1 : 0;
  e.Kind = !grouped ? 0 : r.nType == 2 ? 1 : 2;
  e.PaperId = r.nPaperSize;
  const bool across = (record.dwPaperAbility01 & kPaperLiesAcross) != 0;
  if (across) {
    e.Width = r.nPaperLength;
    e.ImageWidth = r.nImageAreaLength;
    e.WidthDots = r.nPaperLengthRes;
    e.ImageWidthDots = r.nImageAreaLengthRes;
    e.Length = r.nPaperWidth;
    e.ImageLength = r.nImageAreaWidth;
    e.LengthDots = r.nPaperWidthRes;
    e.ImageLengthDots = r.nImageAreaWidthRes;
  } else {
    e.Width = r.nPaperWidth;
    e.ImageWidth = r.nImageAreaWidth;
    e.WidthDots = r.nPaperWidthRes;
    e.ImageWidthDots = r.nImageAreaWidthRes;
    e.Length = r.nPaperLength;
    e.ImageLength = r.nImageAreaLength;
    e.LengthDots = r.nPaperLengthRes;
    e.ImageLengthDots = r.nImageAreaLengthRes;
  }
  // An image wider than its paper is a broken record, not a negative margin.
  e.MarginDots = std::max(0, int{e.WidthDots} - int{e.ImageWidthDots});
  e.PinOffsetRight = r.wPinOffsetRight;
  e.Split = static_cast<std::uint8_t>(r.wSplit & 0xFF);
  e.Orientation = across ? 2 : 1;
  e.Record = record;
  return e;
}

Result<PaperCatalogue> BuildCatalogue(Arena& arena, const ModelRecord& model,
                                      std::span<const PaperRecord> records) {
  if (records.empty()) return MakeError(ERROR_INVALID_DATA, "the paper data lists no papers");
  if (records.size() > 0x7FFF) return MakeError(ERROR_INVALID_DATA, "the paper data lists too many papers");
  if (model.bySeriesCode == kNoSeries) {
    return MakeError(ERROR_INVALID_DATA, "the paper data's model record has no series code (0xFF)");
  }
  auto model_block = arena.NewArray<ModelRecord>(1);
  auto paper_block = arena.NewArray<PaperRecord>(records.size());
  auto entry_block = arena.NewArray<PaperEntry>(records.size() + 1);
  if (model_block.empty() || paper_block.empty() || entry_block.empty()) {
    return MakeError(ERROR_NOT_ENOUGH_MEMORY, "no memory for the paper catalogue");
  }
  model_block[0] = model;
  for (std::size_t i = 0; i < records.size(); ++i) {
    paper_block[i] = records[i];
    AdjustVirtualOffsets(paper_block[i]);
    entry_block[i] = MakeEntry(paper_block[i], static_cast<std::int16_t>(i), model.bySeriesCode);
  }
  std::memset(&entry_block[records.size()], 0xFF, sizeof(PaperEntry));
  PaperCatalogue c;
  c.model = model_block.data();
  c.papers = paper_block.data();
  c.entries = entry_block.data();
  c.count = static_cast<std::int32_t>(records.size());
  return c;
}

Result<PaperCatalogue> ReadCatalogue(Arena& arena, const std::filesystem::path& data_file) {
  const std::filesystem::path library = platform::DriverDataDirectory() / paperdata::kLibraryName64;
  const std::uint32_t levels[] = {paperdata::kPaperLevel5};
  auto snapshot = paperdata::ReadPaperDataW(library, platform::Utf8ToUtf16(data_file.string()), levels);
  if (!snapshot) return snapshot.error();
  const std::string where = data_file.string();
  if (!snapshot->model_ok) return MakeError(ERROR_INVALID_DATA, where + ": no model record");
  const auto& papers = snapshot->levels.front();
  // The size query must ask for a buffer; a query that "succeeds" without one
  // is a library we do not understand.
  if (papers.query_ok || papers.query_error != ERROR_INSUFFICIENT_BUFFER || !papers.filled ||
      papers.count == 0) {
    return MakeError(ERROR_INVALID_DATA, where + ": the paper list could not be read");
  }
  const auto records = paperdata::RecordsOf<PaperRecord>(papers);
  auto built = BuildCatalogue(arena, snapshot->model, records);
  if (!built) return MakeError(built.error().code, where + ": " + built.error().message);
  return built;
}

Result<std::unique_ptr<StandaloneCatalogue>> ReadCatalogueStandalone(
    const platform::PrinterHandle* printer) {
  auto driver = platform::GetPrinterDriver(printer);
  if (!driver) return driver.error();
  auto owned = std::make_unique<StandaloneCatalogue>();
  auto read = ReadCatalogue(owned->arena, platform::FromWindowsPath(driver->data_file));
  if (!read) return read.error();
  owned->catalogue = *read;
  return owned;
}

FoundPaper FindPaper(const PaperCatalogue& catalogue, int paper_id) {
  const auto papers = catalogue.Papers();
  for (std::size_t i = 0; i < papers.size(); ++i) {
    if (papers[i].head.nPaperSize == paper_id) return FoundPaper{static_cast<int>(i), &papers[i]};
  }
  return {};
}

}  // namespace klm::driver
