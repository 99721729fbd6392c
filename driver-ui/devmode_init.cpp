#include "driver-ui/devmode_init.h"

#include <algorithm>
#include <cstring>

#include "driver-ui/default_settings.h"
#include "driver-ui/fixed_text.h"
#include "driver-ui/printer_data.h"
#include "platform/locale.h"

namespace klm::driver {
namespace {

void SetPublicDefaults(DevmodePublic& p, std::u16string_view device_name) {
  SetField(p.dmDeviceName, device_name);
  p.dmSpecVersion = kDmSpecVersion;
  p.dmDriverVersion = kDmDriverVersion;
  p.dmSize = kDevmodeSize;
  p.dmDriverExtra = kPrivDevmodeSize;
  p.dmFields = kDefaultFields;
  p.dmOrientation = 2;
  p.dmPaperSize = kDefaultPaperId;
  p.dmPaperLength = 1528;
  p.dmPaperWidth = 1016;
  p.dmScale = 100;
  p.dmCopies = 1;
  p.dmPrintQuality = kDefaultResolution;
  p.dmColor = 1;
  p.dmDuplex = 1;
  p.dmYResolution = kDefaultResolution;
  p.dmTTOption = 3;
  p.dmCollate = 0;
  SetField(p.dmFormName, kDefaultFormNameMm);
}

void SetPrivateDefaults(PrivDevmode& v, int y_dpi) {
  v.Signature = kPrivSignature;
  v.PrivFlags = kPrivFlagsBase;
  if (IsKnownAnsiCodePage(platform::AnsiCodePage())) v.PrivFlags |= kPrivFlagsKnownCodePage;
  v.ColorAdjust = ColorAdjustment{24, 0, 0, 10000, 10000, 10000, 0, 10000, 0, 0, 0, 0};
  v.Halftone = 3;
  v.Length = 1804;
  v.LengthTenthMm = 1528;
  v.FeedInDots = 1;
  v.Feed = DefaultFeedDots(y_dpi);
  v.BidiEnabled = 1;
  v.CutAtEnd = 1;
  v.CutEvery = 1;
  v.CutEveryNum = 1;
}

void SetExtensionDefaults(AppExtension& e) {
  e.ExtSize = kAppExtensionSize;
  e.ExtRequest = 0;
  e.ExtValid = 0x6F;
  e.ExtPaperId = static_cast<std::uint16_t>(kDefaultPaperId);
  e.ExtOption = 0;
  e.ExtFeed = 72;
  e.ExtSplit = 1;
  e.ExtLength = 1804;
  e.ExtCutFlags = CUT_EVERY;
  std::memcpy(e.ExtSignature, "KVQM", 4);
}

}  // namespace

int InitDevmode(Devmode& out, std::u16string_view device_name, const PaperCatalogue& catalogue) {
  out = Devmode::Zeroed();
  SetPublicDefaults(out.pub, device_name);
  SetPrivateDefaults(out.priv, out.pub.dmYResolution);
  if (platform::UserLocale().measure_system == "1") {
    out.priv.Unit = 1;
    SetField(out.pub.dmFormName, kDefaultFormNameInch);
  }
  SetExtensionDefaults(out.priv.Ext);
  ApplyModelDefaults(out, catalogue);
  ReadDefaultSettings(out, catalogue);
  return 1;
}

void ApplyModelDefaults(Devmode& devmode, const PaperCatalogue& catalogue) {
  if (!catalogue.HasModelAndPapers()) return;
  const ModelRecord& model = *catalogue.model;
  Devmode copy = devmode;
  SetField(copy.pub.dmDeviceName, FieldText(model.dmDeviceName));
  copy.pub.dmPaperLength = model.nDefaultPaperLength;
  copy.priv.LengthTenthMm = static_cast<std::uint32_t>(std::max<int>(0, model.nDefaultPaperLength));
  copy.priv.Length = static_cast<std::uint32_t>(std::max<int>(0, model.nDefaultPaperLengthRes));
  copy.priv.Ext.ExtLength = copy.priv.Length;
  if (auto found = FindPaper(catalogue, model.nDefaultPaperSize)) {
    ApplyPaper(copy, *found.record, found.index, model.bySeriesCode, false);
  }
  copy.pub.dmPrintQuality = static_cast<std::int16_t>(model.wXResolution);
  // A Y resolution of 0 would divide every later length conversion by zero.
  if (static_cast<std::int16_t>(model.wYResolution) > 0) {
    copy.pub.dmYResolution = static_cast<std::int16_t>(model.wYResolution);
  }
  SetField(copy.pub.dmFormName, kDefaultFormNameMm);
  devmode = copy;
}

void ApplyPaper(Devmode& devmode, const PaperRecord& record, int index, std::uint8_t series_code,
                bool leave_paper_size) {
  const auto& r = record.head;
  auto& pub = devmode.pub;
  auto& priv = devmode.priv;
  if (!leave_paper_size) pub.dmPaperSize = r.nPaperSize;
  pub.dmPaperWidth = r.nPaperWidth;
  const bool fixed_length = series_code == '1' || series_code == '2' || r.nType == 5 ||
                            r.nType == 8 || r.nType == 11;
  if (fixed_length && r.nPaperLength > 0) {
    pub.dmPaperLength = r.nPaperLength;
    priv.LengthTenthMm = static_cast<std::uint32_t>(r.nPaperLength);
    priv.Length = static_cast<std::uint32_t>(std::max<int>(0, r.nPaperLengthRes));
    priv.Ext.ExtLength = priv.Length;
    // Half the unprintable length, in dots; an image longer than its label
    // is a broken record and leaves no margin.
    const std::int64_t margin = std::max(0, int{r.nPaperLength} - int{r.nImageAreaLength});
    const std::int64_t feed = (std::int64_t{pub.dmYResolution} * ((margin + 1) / 2) + 127) / 254;
    priv.Feed = static_cast<std::uint16_t>(std::clamp<std::int64_t>(feed, 0, 0xFFFF));
    priv.Ext.ExtFeed = priv.Feed;
  }
  priv.EntryId = static_cast<std::int16_t>(index);
  priv.PrevEntryId = static_cast<std::int16_t>(index);
  priv.Ext.ExtPaperId = static_cast<std::uint16_t>(r.nPaperSize);
  priv.SplitKind = static_cast<std::uint8_t>(r.wSplit & 0xFF);
  priv.Ext.ExtSplit = static_cast<std::uint16_t>(priv.SplitKind + 1);
}

}  // namespace klm::driver
