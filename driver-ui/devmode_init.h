// The driver's default DEVMODE and the steps that put a paper into one.
#pragma once

#include <cstdint>
#include <string_view>

#include "driver-ui/devmode_layout.h"
#include "driver-ui/paper_catalogue.h"

namespace klm::driver {

inline constexpr std::uint32_t kDefaultFields = DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH |
                                                DM_PAPERWIDTH | DM_COPIES | DM_PRINTQUALITY |
                                                DM_YRESOLUTION | DM_TTOPTION | DM_FORMNAME;
static_assert(kDefaultFields == 0x1650F);
inline constexpr std::int16_t kDefaultPaperId = 366;
inline constexpr std::int16_t kDefaultResolution = 300;
inline constexpr char16_t kDefaultFormNameMm[] = u"102mm x 152mm";
inline constexpr char16_t kDefaultFormNameInch[] = u"4\" x 6\"";
inline constexpr std::uint32_t kPrivFlagsBase = 0x3000;
inline constexpr std::uint32_t kPrivFlagsKnownCodePage = 0xA0;

// The feed margin in dots a DEVMODE starts with: 2 mm at `y_dpi`, rounded.
constexpr std::uint16_t DefaultFeedDots(int y_dpi) {
  return static_cast<std::uint16_t>((std::int64_t{y_dpi} * 23622 + 50000) / 100000);
}
static_assert(DefaultFeedDots(300) == 71);

// The driver's default DEVMODE for `device_name` (the driver name): the fixed
// defaults, the user's unit, the model's defaults and the "Default Setting"
// values of "\3\beKLM71.dat". Returns 1, as it always succeeds.
int InitDevmode(Devmode& out, std::u16string_view device_name, const PaperCatalogue& catalogue);

// The model record's name, default length and resolutions and its default
// paper. Nothing happens without a model and papers.
void ApplyModelDefaults(Devmode& devmode, const PaperCatalogue& catalogue);

// Selects catalogue paper `index` (`record`): width, id, entry numbers and
// split; for labels of fixed length also the length and feed.
void ApplyPaper(Devmode& devmode, const PaperRecord& record, int index, std::uint8_t series_code,
                bool leave_paper_size);

}  // namespace klm::driver
