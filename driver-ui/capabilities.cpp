#include "driver-ui/capabilities.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "driver-ui/devmode_init.h"
#include "driver-ui/devmode_merge.h"
#include "driver-ui/driver_strings.h"
#include "driver-ui/fixed_text.h"
#include "platform/codepage.h"
#include "platform/locale.h"
#include "platform/spooler.h"

namespace klm::driver {
namespace {

constexpr std::int32_t Extent(std::int32_t width, std::int32_t length) {
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(length) << 16) | static_cast<std::uint32_t>(width));
}
constexpr std::int32_t kMinExtent = Extent(120, 120);
constexpr std::int32_t kMaxExtent = Extent(3974, 30000);

// Answers that need no paper data; nothing for the others.
std::optional<std::int32_t> ConstantAnswer(std::uint16_t index, void* output) {
  switch (index) {
    case DC_FIELDS: return static_cast<std::int32_t>(kDefaultFields);
    case DC_DUPLEX: return 0;
    case DC_SIZE: return kDevmodeSize;
    case DC_EXTRA: return kPrivDevmodeSize;
    case DC_VERSION: return kDmSpecVersion;
    case DC_DRIVER: return kDmDriverVersion;
    case DC_FILEDEPENDENCIES:
      if (output) std::memset(output, 0, sizeof(char16_t));
      return 0;
    case DC_TRUETYPE: return 6;
    case DC_ORIENTATION: return 90;
    case DC_COPIES: return 9999;
    case DC_PRINTRATE: return 40;
    case DC_PRINTRATEUNIT: return 4;  // inches per minute
    case DC_STAPLE: return 0;
    case DC_COLORDEVICE: return 0;
    default: return std::nullopt;
  }
}

bool IsKnownIndex(std::uint16_t index) {
  switch (index) {
    case DC_PAPERS: case DC_PAPERSIZE: case DC_MINEXTENT: case DC_MAXEXTENT: case DC_BINS:
    case DC_BINNAMES: case DC_ENUMRESOLUTIONS: case DC_PAPERNAMES: case DC_MEDIAREADY:
      return true;
    default:
      return false;
  }
}

bool NeedsForms(std::uint16_t index) {
  return index == DC_PAPERS || index == DC_PAPERSIZE || index == DC_MINEXTENT ||
         index == DC_MAXEXTENT || index == DC_PAPERNAMES;
}

void PutName(std::span<char16_t> names, std::size_t item, std::u16string_view text) {
  if ((item + 1) * kPaperNameChars > names.size()) return;
  char16_t slot[kPaperNameChars];
  SetField(slot, text);
  std::memcpy(names.data() + item * kPaperNameChars, slot, sizeof slot);
}

void PutId(std::span<std::uint16_t> ids, std::size_t item, int id) {
  if (item < ids.size()) ids[item] = static_cast<std::uint16_t>(id);
}

void PutSize(std::span<std::int32_t> sizes, std::size_t item, std::int32_t width, std::int32_t length) {
  if (2 * item + 1 >= sizes.size()) return;
  sizes[2 * item] = width;
  sizes[2 * item + 1] = length;
}

// The entry a DEVMODE selected; its EntryId is only trusted within the table.
const PaperEntry& SelectedEntry(const Devmode& d, const PaperCatalogue& catalogue,
                                std::span<const UserFormat> user_formats) {
  const auto entries = catalogue.Entries();
  if (d.priv.EntryId >= 0 && static_cast<std::size_t>(d.priv.EntryId) < entries.size()) {
    return entries[static_cast<std::size_t>(d.priv.EntryId)];
  }
  MergeTables t;
  t.entries = entries;
  t.user_formats = user_formats;
  t.fallback_paper_id = d.pub.dmPaperSize;
  return entries[static_cast<std::size_t>(ResolveEntry(d, t).entry)];
}

// A user format's name; the code page is asked once per list, as asking the
// locale costs more than converting a name.
std::u16string FormatName(const UserFormat& f, std::uint32_t code_page) {
  const std::string_view bytes(f.name, strnlen(f.name, sizeof f.name));
  if (auto text = platform::ToUtf16(bytes, code_page)) return *text;
  return UserFormatName(f);
}

template <typename T>
void CopyOut(void* output, const std::vector<T>& values) {
  if (output && !values.empty()) std::memcpy(output, values.data(), values.size() * sizeof(T));
}

}  // namespace

int ListPapers(const PaperCatalogue& catalogue, std::span<const UserFormat> user_formats,
               const Devmode* devmode, const PaperListOut& out) {
  const auto entries = catalogue.Entries();
  const std::uint8_t group = devmode && devmode->priv.PaperGroup == 1 ? 1 : 0;
  const bool inches = devmode && devmode->priv.Unit == 1;
  std::size_t base = 0;
  if (devmode && devmode->priv.TableBase > 0 && static_cast<std::size_t>(devmode->priv.TableBase) < entries.size()) {
    base = static_cast<std::size_t>(devmode->priv.TableBase);
  }
  const auto formats = FormatsOfGroup(user_formats, group);
  const std::uint32_t code_page = out.names.empty() || formats.empty() ? 0 : platform::AnsiCodePage();

  std::size_t item = 0;
  for (std::size_t i = base; i < entries.size(); ++i) {
    const PaperEntry& e = entries[i];
    if (e.Group != group) continue;
    const std::int32_t length = e.Length != 0 ? e.Length
                                : devmode ? static_cast<std::int32_t>(std::min<std::uint32_t>(devmode->priv.LengthTenthMm, 0x7FFFFFFF))
                                          : 0;
    PutSize(out.sizes, item, e.Width, length);
    if (!out.names.empty()) {
      PutName(out.names, item, inches ? FieldText(e.Record.head.szPaperName_inch) : FieldText(e.Record.head.szPaperName_mm));
    }
    PutId(out.ids, item, e.PaperId);
    ++item;
  }

  if (devmode && !entries.empty()) {
    PutSize(out.sizes, item, SelectedEntry(*devmode, catalogue, user_formats).Width,
            static_cast<std::int32_t>(std::min<std::uint32_t>(devmode->priv.LengthTenthMm, 0x7FFFFFFF)));
  } else {
    PutSize(out.sizes, item, 1016, 1528);
  }
  if (!out.names.empty()) PutName(out.names, item, LoadDriverString(kStringCustomSize).value_or(u""));
  PutId(out.ids, item, kCustomPaperId);
  ++item;

  for (std::size_t k = 0; k < formats.size(); ++k, ++item) {
    const UserFormat& f = *formats[k];
    std::int32_t length = static_cast<std::int32_t>(std::min<std::uint32_t>(f.length_hundredth_mm / 10, 0x7FFFFFFF));
    std::int32_t width = 0;
    for (std::size_t i = base; i < entries.size(); ++i) {
      const PaperEntry& e = entries[i];
      if (e.Group == group && e.PaperId == f.base_paper_id) {
        width = e.Width;
        if (e.Length != 0) length = e.Length;
        break;
      }
    }
    PutSize(out.sizes, item, width, length);
    if (!out.names.empty()) PutName(out.names, item, FormatName(f, code_page));
    PutId(out.ids, item, kFirstUserFormatId + static_cast<int>(k));
  }
  return static_cast<int>(item);
}

Devmode BuildQueryDevmode(const platform::PrinterHandle* printer, std::u16string_view device_name,
                          const PaperCatalogue& catalogue, std::span<const UserFormat> user_formats,
                          std::span<const std::uint8_t> devmode) {
  Devmode d;
  InitDevmode(d, device_name, catalogue);
  // Each merge falls back to the paper the DEVMODE has at that moment; a
  // merge that fails leaves the settings as they were.
  MergeTables t = MakeMergeTables(printer, catalogue, user_formats, d.pub.dmPaperSize);
  if (printer) {
    if (auto info = platform::GetPrinter(printer); info && !info->devmode.empty()) {
      (void)MergeDevmode(d, info->devmode, t);
    }
  }
  t.fallback_paper_id = d.pub.dmPaperSize;
  (void)MergeDevmode(d, devmode, t);
  return d;
}

std::int32_t DeviceCapabilities(const platform::PrinterHandle* printer, std::u16string_view device_name,
                                std::uint16_t index, void* output, std::span<const std::uint8_t> devmode) {
  if (auto constant = ConstantAnswer(index, output)) return *constant;
  if (!IsKnownIndex(index)) return kCapabilityFailed;

  auto standalone = ReadCatalogueStandalone(printer);
  if (!standalone || !(*standalone)->catalogue.HasModelAndPapers()) return kCapabilityFailed;
  const PaperCatalogue& catalogue = (*standalone)->catalogue;
  const auto user_formats = ReadUserFormats(std::nullopt);
  const Devmode d = BuildQueryDevmode(printer, device_name, catalogue, user_formats, devmode);

  if (NeedsForms(index)) {
    auto forms = platform::EnumForms(printer);
    if (!forms || forms->empty()) return kCapabilityFailed;
  }

  switch (index) {
    case DC_PAPERS:
    case DC_PAPERSIZE:
    case DC_PAPERNAMES: {
      const int count = ListPapers(catalogue, user_formats, &d, {});
      if (!output) return count;
      const auto n = static_cast<std::size_t>(count);
      std::vector<char16_t> names;
      std::vector<std::uint16_t> ids;
      std::vector<std::int32_t> sizes;
      PaperListOut out;
      if (index == DC_PAPERNAMES) names.resize(n * kPaperNameChars), out.names = names;
      if (index == DC_PAPERS) ids.resize(n), out.ids = ids;
      if (index == DC_PAPERSIZE) sizes.resize(2 * n), out.sizes = sizes;
      ListPapers(catalogue, user_formats, &d, out);
      CopyOut(output, names);
      CopyOut(output, ids);
      CopyOut(output, sizes);
      return count;
    }
    case DC_MINEXTENT: return kMinExtent;
    case DC_MAXEXTENT: return kMaxExtent;
    case DC_BINS:
      if (output) {
        const std::uint16_t bin = kBinFormSource;
        std::memcpy(output, &bin, sizeof bin);
      }
      return 1;
    case DC_BINNAMES: {
      if (!output) return 1;
      const auto name = LoadDriverString(kStringBinName);
      if (!name) return kCapabilityFailed;
      // A bin name fills its 24-character slot; a name of 24 has no terminator.
      std::vector<char16_t> slot(kBinNameChars, 0);
      std::copy_n(name->begin(), std::min(name->size(), kBinNameChars), slot.begin());
      CopyOut(output, slot);
      return 1;
    }
    case DC_ENUMRESOLUTIONS:
      CopyOut(output, std::vector<std::int32_t>{kDefaultResolution, kDefaultResolution});
      return 1;
    case DC_MEDIAREADY: {
      if (!output) return 1;
      const FoundPaper found = FindPaper(catalogue, d.pub.dmPaperSize);
      if (!found) return kCapabilityFailed;
      const auto& head = found.record->head;
      char16_t name[kMediaNameChars];
      SetField(name, d.priv.Unit == 1 ? FieldText(head.szPaperName_inch) : FieldText(head.szPaperName_mm));
      const std::size_t n = FieldText(name).size() + 1;
      std::memcpy(output, name, n * sizeof(char16_t));
      return 1;
    }
    default:
      return kCapabilityFailed;
  }
}

}  // namespace klm::driver
