// The printer's paper catalogue: the model record, the level-5 paper records
// adjusted for their virtual offsets, and one derived entry per paper followed
// by a terminator entry whose every byte is 0xFF.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string_view>

#include "driver-ui/arena.h"
#include "paper-data/qmd_records.h"
#include "platform/result.h"

namespace klm::platform {
struct PrinterHandle;
}

namespace klm::driver {

using paperdata::ModelRecord;
using paperdata::PaperRecord;

// The print head's dot count: a paper moved past its left pin gets the rest.
inline constexpr int kHeadDots = 1296;
// dwPaperAbility01: the paper lies across (width and length exchanged).
inline constexpr std::uint32_t kPaperLiesAcross = 0x2;
// A model whose series code is this is no model.
inline constexpr std::uint8_t kNoSeries = 0xFF;

struct PaperEntry {
  std::int16_t Index;       // 0-based; -1 in the terminator
  std::uint8_t Group;       // entries are matched only within a DEVMODE's PaperGroup
  std::uint8_t Kind;        // 1 for nType 2, 2 for nType 5 in group 1, else 0
  std::int16_t PaperId;     // nPaperSize; -1 in the terminator
  std::int16_t Width;       // 0.1 mm, across the print head
  std::int16_t ImageWidth;  // 0.1 mm
  std::int16_t WidthDots;
  std::int16_t ImageWidthDots;
  std::int16_t Length;      // 0.1 mm along the feed; 0 marks a continuous paper
  std::int16_t ImageLength;
  std::int16_t LengthDots;
  std::int16_t ImageLengthDots;
  std::int32_t MarginDots;  // WidthDots - ImageWidthDots, never below 0
  std::uint32_t PinOffsetRight;
  std::uint8_t Split;       // extra parts across, 0-3
  std::uint32_t reserved[2];
  std::int16_t Orientation; // 2 when the paper lies across, else 1
  // The adjusted record; nCompatiblePaperSizes is a split's base id. Aligned
  // so that its fields sit at their natural alignment.
  alignas(8) PaperRecord Record;

  bool IsTerminator() const { return Index == -1 && PaperId == -1; }
};

// Non-owning view; the blocks live in an Arena (a context's or a stand-alone
// catalogue's). `entries` holds count + 1 entries, the last the terminator.
struct PaperCatalogue {
  ModelRecord* model = nullptr;
  PaperRecord* papers = nullptr;
  PaperEntry* entries = nullptr;
  std::int32_t count = 0;

  bool HasModelAndPapers() const { return model != nullptr && papers != nullptr && count > 0; }
  std::span<PaperRecord> Papers() const {
    return papers ? std::span<PaperRecord>(papers, count) : std::span<PaperRecord>();
  }
  // The entries without the terminator.
  std::span<PaperEntry> Entries() const {
    return entries ? std::span<PaperEntry>(entries, count) : std::span<PaperEntry>();
  }
};

// Moves a record's virtual offsets into its real geometry. All values are
// in dots except nPaperWidth / nPaperLength (0.1 mm), which are rescaled.
void AdjustVirtualOffsets(PaperRecord& record);

// The entry a record gives under the model's series code (record already adjusted).
PaperEntry MakeEntry(const PaperRecord& record, std::int16_t index, std::uint8_t series_code);

// Builds the catalogue from records read elsewhere: copies them into `arena`,
// adjusts them and derives the entry table. Refuses a model whose series code
// is 0xFF and an empty paper list.
Result<PaperCatalogue> BuildCatalogue(Arena& arena, const ModelRecord& model,
                                      std::span<const PaperRecord> records);

// Reads the data file through the paper-data library (loaded for this read
// only) into `arena`. A relative path is taken from the driver's data folder.
Result<PaperCatalogue> ReadCatalogue(Arena& arena, const std::filesystem::path& data_file);

// A catalogue that owns its blocks in its own arena; destroying it (or
// FreeCatalogue) frees them all.
struct StandaloneCatalogue {
  Arena arena;
  PaperCatalogue catalogue;
};

// The catalogue of the printer's driver (its DRIVER_INFO_2 data file).
Result<std::unique_ptr<StandaloneCatalogue>> ReadCatalogueStandalone(
    const platform::PrinterHandle* printer);
inline void FreeCatalogue(std::unique_ptr<StandaloneCatalogue> catalogue) { catalogue.reset(); }

struct FoundPaper {
  int index = -1;                  // -1: not in the catalogue
  const PaperRecord* record = nullptr;
  explicit operator bool() const { return index >= 0; }
};

// The first record whose nPaperSize equals `paper_id`.
FoundPaper FindPaper(const PaperCatalogue& catalogue, int paper_id);

}  // namespace klm::driver
