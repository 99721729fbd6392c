#include "driver-ui/print_query.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "driver-ui/devmode_copy.h"
#include "driver-ui/devmode_init.h"
#include "driver-ui/devmode_merge.h"
#include "driver-ui/fixed_text.h"
#include "driver-ui/paper_catalogue.h"
#include "driver-ui/user_formats.h"
#include "platform/codepage.h"

namespace klm::driver {
namespace {

constexpr std::int64_t kFormTolerance = 1000;  // micrometres

char16_t FoldCase(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char16_t>(c + 32);
  return c;
}

bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

FormMatch TakeForm(std::span<const platform::FormInfo> forms, std::size_t i, DevmodePublic& d,
                   platform::FormInfo& out) {
  out = forms[i];
  const bool portrait = d.dmOrientation == 1;
  const auto w = static_cast<std::int16_t>(std::clamp(out.width_um / 100, -32768, 32767));
  const auto h = static_cast<std::int16_t>(std::clamp(out.height_um / 100, -32768, 32767));
  d.dmPaperWidth = portrait ? w : h;
  d.dmPaperLength = portrait ? h : w;
  d.dmFields |= DM_FORMNAME;
  d.dmPaperSize = static_cast<std::int16_t>(i + 1);
  SetField(d.dmFormName, platform::Utf8ToUtf16(out.name));
  return FormMatch::Form;
}

// The job's public part as far as it has one; fields it lacks read as 0.
DevmodePublic JobPublicPart(std::span<const std::uint8_t> bytes) {
  DevmodePublic pub;
  std::memset(&pub, 0, sizeof pub);
  const auto header = ReadDevmodeHeader(bytes);
  if (!header) return pub;
  const std::size_t n = std::min({std::size_t{header->size}, sizeof pub, bytes.size()});
  std::memcpy(&pub, bytes.data(), n);
  return pub;
}

void WriteReason(DevQueryPrintInfo& info, std::u16string_view text) {
  info.cchNeeded = static_cast<std::uint32_t>(text.size() + 1);
  if (!info.pszErrorStr || info.cchErrorStr == 0) return;
  const std::size_t n = std::min<std::size_t>(text.size(), info.cchErrorStr - 1);
  std::copy_n(text.data(), n, info.pszErrorStr);
  info.pszErrorStr[n] = 0;
}

}  // namespace

FormMatch FindFormIn(std::span<const platform::FormInfo> forms, DevmodePublic& d, platform::FormInfo& out) {
  if (forms.empty()) return FormMatch::Undecided;
  if ((d.dmFields & DM_PAPERWIDTH) && (d.dmFields & DM_PAPERLENGTH) && d.dmPaperWidth > 0 &&
      d.dmPaperLength > 0) {
    std::int64_t w = std::int64_t{d.dmPaperWidth} * 100;
    std::int64_t l = std::int64_t{d.dmPaperLength} * 100;
    if (d.dmOrientation != 1) std::swap(w, l);
    for (std::size_t i = 0; i < forms.size(); ++i) {
      if (std::llabs(forms[i].width_um - w) <= kFormTolerance &&
          std::llabs(forms[i].height_um - l) <= kFormTolerance) {
        return TakeForm(forms, i, d, out);
      }
    }
    out = platform::FormInfo{};
    out.width_um = out.right_um = static_cast<std::int32_t>(w);
    out.height_um = out.bottom_um = static_cast<std::int32_t>(l);
    return FormMatch::Custom;
  }
  if (d.dmFields & DM_PAPERSIZE) {
    if (d.dmPaperSize < 1 || static_cast<std::size_t>(d.dmPaperSize) > forms.size()) return FormMatch::Undecided;
    return TakeForm(forms, static_cast<std::size_t>(d.dmPaperSize - 1), d, out);
  }
  if (d.dmFields & DM_FORMNAME) {
    const std::u16string_view name = FieldText(d.dmFormName);
    for (std::size_t i = 0; i < forms.size(); ++i) {
      if (EqualIgnoringCase(platform::Utf8ToUtf16(forms[i].name), name)) return TakeForm(forms, i, d, out);
    }
  }
  return FormMatch::Undecided;
}

FormMatch FindFormForDevmode(const platform::PrinterHandle* printer, DevmodePublic& devmode,
                             platform::FormInfo& form) {
  auto forms = platform::EnumForms(printer);
  if (!forms) return FormMatch::Undecided;
  return FindFormIn(*forms, devmode, form);
}

TrayFormLookup FindTrayForm(std::span<const std::uint8_t> table, std::u16string_view form_name) {
  if (table.size() < 2) return TrayFormLookup::Malformed;
  const std::size_t size_word = table[0] | std::size_t{table[1]} << 8;
  const std::size_t end = std::min(size_word, table.size());
  std::size_t at = 2;
  // Reads one terminated string; false when it runs past the end.
  auto read_string = [&](std::u16string& s) {
    s.clear();
    for (;;) {
      if (at + 2 > end) return false;
      const auto c = static_cast<char16_t>(table[at] | table[at + 1] << 8);
      at += 2;
      if (c == 0) return true;
      s.push_back(c);
    }
  };
  std::u16string tray, form, third;
  for (;;) {
    if (!read_string(tray)) return TrayFormLookup::Malformed;
    if (tray.empty()) return TrayFormLookup::NotLoaded;
    if (!read_string(form) || !read_string(third) || at + 2 > end) return TrayFormLookup::Malformed;
    at += 2;  // flag word
    if (form == form_name) return TrayFormLookup::Loaded;
  }
}

std::optional<std::vector<std::uint8_t>> ReadTrayFormTable(const platform::PrinterHandle* printer) {
  auto size = platform::GetPrinterData(printer, "TrayFormSize");
  if (!size) return std::nullopt;
  const auto declared = size->AsDword();
  if (!declared || *declared == 0) return std::nullopt;
  auto table = platform::GetPrinterData(printer, "TrayFormTable");
  if (!table || table->data.size() < 2) return std::nullopt;
  const std::uint32_t size_word = table->data[0] | std::uint32_t{table->data[1]} << 8;
  if (size_word != *declared) return std::nullopt;
  return std::move(table->data);
}

std::u16string FormNotLoadedMessage(std::u16string_view form_name) {
  return u"The form \"" + std::u16string(form_name) + u"\" is not loaded in any tray of the printer.";
}

bool DevQueryPrint(DevQueryPrintInfo* info) {
  if (!info || !info->pDevMode) return true;
  const auto* printer = static_cast<const platform::PrinterHandle*>(info->hPrinter);
  const auto job = ForeignDevmodeBytes(info->pDevMode);

  const auto user_formats = ReadUserFormats(std::nullopt);
  auto standalone = ReadCatalogueStandalone(printer);
  if (!standalone || !(*standalone)->catalogue.HasModelAndPapers()) return true;
  const PaperCatalogue& catalogue = (*standalone)->catalogue;
  Devmode d;
  InitDevmode(d, u"", catalogue);
  const MergeTables tables = MakeMergeTables(printer, catalogue, user_formats, d.pub.dmPaperSize);
  if (!MergeDevmode(d, job, tables)) return true;

  // A yes/no question: the form is looked up on a private copy of the job's settings.
  DevmodePublic copy = JobPublicPart(job);
  platform::FormInfo form;
  if (FindFormForDevmode(printer, copy, form) != FormMatch::Form) return true;

  const auto table = ReadTrayFormTable(printer);
  if (!table) return true;
  const std::u16string form_name = platform::Utf8ToUtf16(form.name);
  if (FindTrayForm(*table, form_name) != TrayFormLookup::NotLoaded) return true;

  WriteReason(*info, FormNotLoadedMessage(form_name));
  return false;
}

}  // namespace klm::driver
