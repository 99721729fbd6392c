#include "driver-ui/default_settings.h"

#include <cstdint>
#include <optional>
#include <type_traits>
#include <utility>
#include <string>

#include "driver-ui/devmode_init.h"
#include "driver-ui/user_formats.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace klm::driver {
namespace {

// The section as it stands in the file. Only keys present with a value are
// read, so a missing key (or file) changes nothing, not even through the
// effects a key has on other fields.
class Section {
 public:
  explicit Section(const std::filesystem::path& file) : file_(file) {
    if (auto bytes = platform::ReadWholeFile(file)) text_.assign(bytes->begin(), bytes->end());
  }

  std::optional<std::uint32_t> Get(const char* key) const {
    auto value = platform::FindProfileValue(text_, kDefaultSection, key);
    if (!value || value->empty()) return std::nullopt;
    return platform::GetProfileInt(file_, kDefaultSection, key, 0);
  }
  // Narrow fields take the low bits of what was read.
  template <typename Field>
  std::optional<std::uint32_t> Read(const char* key, Field& field) const {
    auto v = Get(key);
    if (v) field = static_cast<Field>(*v);
    return v;
  }
  bool Write(const char* key, const std::string& value) const {
    return platform::WriteProfileString(file_, kDefaultSection, key, value);
  }

 private:
  const std::filesystem::path& file_;
  std::string text_;
};

void ReadPaperSize(const Section& s, Devmode& dm, const PaperCatalogue& catalogue,
                   const std::filesystem::path& user_formats) {
  const auto value = s.Read("PaperSize", dm.pub.dmPaperSize);
  if (!value) return;
  dm.priv.UserFormatNo = 0;
  std::int64_t applied = dm.pub.dmPaperSize;
  if (*value >= kFirstUserFormatId && *value <= kLastUserFormatId) {
    if (auto mapped = MapUserFormats(user_formats)) {
      const int number = static_cast<int>(*value) - (kFirstUserFormatId - 1);
      dm.priv.UserFormatNo = static_cast<std::uint8_t>(number);
      if (mapped->count >= number) applied = mapped->records[number - 1].base_paper_id;
    }
  }
  if (!catalogue.HasModelAndPapers()) return;
  if (auto found = FindPaper(catalogue, static_cast<int>(applied))) {
    ApplyPaper(dm, *found.record, found.index, catalogue.model->bySeriesCode,
               dm.priv.UserFormatNo != 0);
  }
}

void SetCutFlag(AppExtension& ext, std::uint32_t flag, std::optional<std::uint32_t> value,
                bool set_when_nonzero) {
  if (!value) return;
  const bool on = (*value != 0) == set_when_nonzero;
  ext.ExtCutFlags = on ? (ext.ExtCutFlags | flag) : (ext.ExtCutFlags & ~flag);
}

}  // namespace

void ReadDefaultSettings(Devmode& dm, const PaperCatalogue& catalogue,
                         const std::filesystem::path& file,
                         const std::filesystem::path& user_formats) {
  const Section s(file);
  auto& pub = dm.pub;
  auto& priv = dm.priv;
  s.Read("Resolution", pub.dmPrintQuality);
  // A resolution of 0 or below would break every length conversion.
  if (auto y = s.Get("YResolution"); y && static_cast<std::int16_t>(*y) > 0) {
    pub.dmYResolution = static_cast<std::int16_t>(*y);
  }
  if (auto length = s.Get("Length")) {
    priv.Length = *length;
    priv.Ext.ExtLength = *length;
    const std::uint64_t tenth_mm =
        (std::uint64_t{*length} * 25400 / static_cast<std::uint64_t>(pub.dmYResolution) + 50) / 100;
    pub.dmPaperLength = static_cast<std::int16_t>(tenth_mm);
    priv.LengthTenthMm = static_cast<std::uint32_t>(tenth_mm);
  }
  if (s.Read("Feed", priv.Feed)) priv.Ext.ExtFeed = priv.Feed;
  ReadPaperSize(s, dm, catalogue, user_formats);
  s.Read("Orientation", pub.dmOrientation);
  s.Read("Copies", pub.dmCopies);
  if (auto collate = s.Read("Collate", priv.Collate)) pub.dmCollate = *collate != 0 ? 1 : 0;
  s.Read("ReverseOrder", priv.ReverseOrder);
  s.Read("QualityMode", priv.QualityMode);
  s.Read("StartPrinting", priv.StartPrinting);
  s.Read("Halftone", priv.Halftone);
  s.Read("Contrast", priv.Contrast);
  s.Read("Brightness", priv.Brightness);
  SetCutFlag(priv.Ext, CUT_TAIL, s.Read("TailCut", priv.TailCut), true);
  SetCutFlag(priv.Ext, CUT_NOT_AT_END, s.Read("CutAtEnd", priv.CutAtEnd), false);
  SetCutFlag(priv.Ext, CUT_EVERY, s.Read("CutEvery", priv.CutEvery), true);
  if (auto n = s.Get("CutEveryNum")) priv.CutEveryNum = *n & 0xFF;
  SetCutFlag(priv.Ext, CUT_MIRROR, s.Read("Mirror", priv.Mirror), true);
  s.Read("Unit", priv.Unit);
  s.Read("CutRearBlank", priv.CutRearBlank);
  s.Read("DistributedPrinting", priv.DistributedPrinting);
}

bool SaveDefaultSettings(const DevmodePublic* pub, const PrivDevmode* priv,
                         const PaperCatalogue& catalogue, bool applied,
                         const std::filesystem::path& file) {
  if (pub == nullptr || priv == nullptr || !catalogue.HasModelAndPapers()) return false;
  const Section s(file);
  if (platform::GetProfileInt(file, kDefaultSection, "SaveSetting", 0) == 0) return false;
  bool written = false;
  if (applied) {
    auto u = [](auto v) { return std::to_string(static_cast<std::make_unsigned_t<decltype(v)>>(v)); };
    auto i = [](auto v) { return std::to_string(static_cast<int>(v)); };
    const std::pair<const char*, std::string> values[] = {
        {"Length", u(priv->Length)},
        {"Feed", u(priv->Feed)},
        {"PaperSize", u(pub->dmPaperSize)},
        {"Resolution", u(pub->dmPrintQuality)},
        {"YResolution", u(pub->dmYResolution)},
        {"Orientation", u(pub->dmOrientation)},
        {"Copies", u(pub->dmCopies)},
        {"Collate", u(priv->Collate)},
        {"ReverseOrder", u(priv->ReverseOrder)},
        {"QualityMode", u(priv->QualityMode)},
        {"StartPrinting", u(priv->StartPrinting)},
        {"Halftone", u(priv->Halftone)},
        {"Contrast", i(priv->Contrast)},
        {"Brightness", i(priv->Brightness)},
        {"TailCut", u(priv->TailCut)},
        {"CutAtEnd", u(priv->CutAtEnd)},
        {"CutEvery", u(priv->CutEvery)},
        {"CutEveryNum", u(priv->CutEveryNum)},
        {"Mirror", u(priv->Mirror)},
        {"Unit", u(priv->Unit)},
        {"CutRearBlank", u(priv->CutRearBlank)},
        {"DistributedPrinting", u(priv->DistributedPrinting)},
    };
    written = true;
    for (const auto& [key, value] : values) written = s.Write(key, value) && written;
  }
  (void)s.Write("SaveSetting", "0");
  return written;
}

}  // namespace klm::driver
