// Merging a DEVMODE from outside into a valid working DEVMODE, resolving a
// DEVMODE's paper to a catalogue entry, and the application's request/report
// block (AppExtension). Nothing an incoming DEVMODE holds is trusted: its
// sizes, TableBase, entry numbers, paper ids and lengths are checked before
// they index anything, and out-of-range values are brought into range.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "driver-ui/devmode_init.h"
#include "driver-ui/devmode_layout.h"
#include "driver-ui/paper_catalogue.h"
#include "driver-ui/user_formats.h"

namespace klm::platform {
struct PrinterHandle;
}

namespace klm::driver {

inline constexpr std::int16_t kCustomPaperId = 256;
// The user-format file holds up to 23 records, so ids 317-339 belong to user
// formats; only 317-336 (20 per paper group) ever select one.
inline constexpr int kUserFormatIdSpaceEnd = kFirstUserFormatId + static_cast<int>(kMaxUserFormatsRead);
inline constexpr std::size_t kMaxUserFormatsPerGroup = kLastUserFormatId - kFirstUserFormatId + 1;

// Bounds of a label length the driver accepts, 0.1 mm.
inline constexpr std::int32_t kMinLengthTenthMm = 254;
inline constexpr std::int32_t kMaxLengthTenthMm = 30000;
// Custom sizes match catalogue entries within these tolerances (0.1 mm).
inline constexpr int kLengthTolerance = 8;
inline constexpr int kWidthTolerance = 11;

// What merges and resolutions look things up in, besides the DEVMODEs.
struct MergeTables {
  // The catalogue's entries without the terminator; empty means no table.
  std::span<const PaperEntry> entries;
  // Every record of "\3\KLM71v.dat" in file order; a DEVMODE indexes only
  // those of its own paper group.
  std::span<const UserFormat> user_formats;
  // May be none: then nothing is read from the printer.
  const platform::PrinterHandle* printer = nullptr;
  // The printer's per-user default DEVMODE, only when UsableUserDefault took it.
  std::optional<Devmode> user_default;
  // The paper id resolution falls back to (the driver default's dmPaperSize).
  std::int16_t fallback_paper_id = kDefaultPaperId;
};

// The per-user default DEVMODE (bytes of PRINTER_INFO_9) when it can serve as
// one: dmDriverExtra at least 276, Signature "PRIV", TableBase 0 and EntryId
// in range of `entries`. Otherwise nothing, as if there were none.
std::optional<Devmode> UsableUserDefault(std::span<const std::uint8_t> bytes,
                                         std::span<const PaperEntry> entries);

// Tables for a merge with `printer` (its per-user default read and checked).
MergeTables MakeMergeTables(const platform::PrinterHandle* printer, const PaperCatalogue& catalogue,
                            std::span<const UserFormat> user_formats,
                            std::int16_t fallback_paper_id);

// The user formats a DEVMODE of paper group `group` can select, in file order:
// those whose group's low byte is `group`, at most 20.
std::vector<const UserFormat*> FormatsOfGroup(std::span<const UserFormat> formats,
                                              std::uint8_t group);

struct ResolvedPaper {
  int entry = -1;        // index into MergeTables::entries; -1 only without a table
  int user_format = -1;  // index into FormatsOfGroup(.., the DEVMODE's group), or -1
};

// The catalogue entry (and user format) a DEVMODE's paper size stands for;
// with a table it always finds one, entry 0 at the last.
ResolvedPaper ResolveEntry(const Devmode& devmode, const MergeTables& tables);

// The entry a custom size (dmPaperSize 256) stands for: a fixed label within
// 8 of its length and 11 of its width, one through a user format, or the
// narrowest continuous paper wide enough. Nothing when none fits.
std::optional<int> MatchCustomSize(const Devmode& devmode, const MergeTables& tables);

// Merges `incoming` (a DEVMODE of any size and origin) into `working`.
// False, with `working` untouched, for a DEVMODE that cannot be copied or
// has a nonzero TableBase. Without a table or without incoming bytes it
// succeeds and changes nothing.
bool MergeDevmode(Devmode& working, std::span<const std::uint8_t> incoming, const MergeTables& tables);

// Fills the AppExtension block from the DEVMODE's own settings (when a sheet
// is accepted).
void ReportExtension(Devmode& devmode, const MergeTables& tables);

// The feed in whole millimetres reported in ExtFeed: Feed x 25.4 / y_dpi
// rounded half up and bounded to 3-127; nothing when y_dpi is not positive.
std::optional<std::uint16_t> FeedMillimetres(std::uint32_t feed_dots, int y_dpi);

// Bytes of a DEVMODE handed over as a bare pointer: dmSize public bytes and
// at most 276 private ones (more are never read), as its header states.
// Empty for a null pointer.
std::span<const std::uint8_t> ForeignDevmodeBytes(const void* devmode);

}  // namespace klm::driver
