#include "driver-ui/devmode_merge.h"

#include <algorithm>
#include <cstring>

#include "driver-ui/devmode_copy.h"
#include "driver-ui/fixed_text.h"
#include "platform/spooler.h"

namespace klm::driver {
namespace {

using Entries = std::span<const PaperEntry>;

bool Within(std::int64_t value, std::int64_t target, std::int64_t tolerance) {
  const std::int64_t d = value - target;
  return d < tolerance && -d < tolerance;
}

// Where a DEVMODE's entry table starts; a TableBase outside the table would
// index foreign memory, so the whole table is searched instead.
std::size_t BaseOf(const Devmode& d, Entries entries) {
  const std::int32_t base = d.priv.TableBase;
  return base > 0 && static_cast<std::size_t>(base) < entries.size() ? static_cast<std::size_t>(base) : 0;
}

// The group searches by paper id use: an application asking for its own
// option (request 0x4) works in group 0.
std::uint8_t IdGroupOf(const Devmode& d) {
  const auto& x = d.priv.Ext;
  if (x.ExtSize == kAppExtensionSize && (x.ExtRequest & EXT_OPTION)) return 0;
  return d.priv.PaperGroup;
}

bool IsSplit(const PaperEntry& e) { return e.Split >= 1 && e.Split <= 3; }

// The id an application knows a paper by: a split format's base paper.
std::uint16_t BaseIdOf(const PaperEntry& e) {
  return static_cast<std::uint16_t>(IsSplit(e) ? e.Record.nCompatiblePaperSizes : e.PaperId);
}

std::optional<int> FindById(Entries entries, std::size_t base, std::optional<std::uint8_t> group,
                            std::int64_t id) {
  for (std::size_t i = base; i < entries.size(); ++i) {
    if (group && entries[i].Group != *group) continue;
    if (entries[i].PaperId == id) return static_cast<int>(i);
  }
  return std::nullopt;
}

bool IsUserFormatIdSpace(int id) { return id >= kFirstUserFormatId && id < kUserFormatIdSpaceEnd; }

// The user format a paper id selects among the formats of `group`.
std::optional<int> UserFormatIndex(int paper_id, const std::vector<const UserFormat*>& formats) {
  if (paper_id < kFirstUserFormatId || paper_id > kLastUserFormatId) return std::nullopt;
  const int u = paper_id - kFirstUserFormatId;
  if (static_cast<std::size_t>(u) >= formats.size()) return std::nullopt;
  return u;
}

// A user format's length in 0.1 mm, rounded.
std::int64_t FormatLengthTenthMm(const UserFormat& f) {
  return (std::int64_t{f.length_hundredth_mm} + 5) / 10;
}

struct WidthSearch {
  std::optional<int> found;
  int widest = -1;  // the widest of the first entry and every candidate
};

// Over the continuous papers of `group`: a plain paper of the width, else the
// narrowest candidate at least as wide. A split paper is a candidate only
// when its image is exactly its parts times the widest plain image seen.
WidthSearch SearchWidth(Entries entries, std::size_t base, std::uint8_t group, int width) {
  WidthSearch result;
  if (base < entries.size()) result.widest = static_cast<int>(base);
  const PaperEntry* base_paper = nullptr;
  std::optional<int> best;
  for (std::size_t i = base; i < entries.size(); ++i) {
    const PaperEntry& e = entries[i];
    if (e.Length != 0 || e.Group != group) continue;
    if (e.Split == 0) {
      if (Within(e.Width, width, kWidthTolerance)) {
        result.found = static_cast<int>(i);
        return result;
      }
      if (!base_paper || e.ImageWidthDots > base_paper->ImageWidthDots) base_paper = &e;
    } else if (!base_paper ||
               std::int64_t{e.ImageWidthDots} != (std::int64_t{e.Split} + 1) * base_paper->ImageWidthDots) {
      continue;
    }
    if (e.Width > entries[result.widest].Width) result.widest = static_cast<int>(i);
    if (e.Width >= width && (!best || e.Width < entries[*best].Width)) best = static_cast<int>(i);
  }
  result.found = best;
  return result;
}

// A fixed label of the given size within the tolerances.
std::optional<int> MatchLabel(const Devmode& d, Entries entries, std::size_t base) {
  const auto& p = d.pub;
  if (!(p.dmFields & DM_PAPERLENGTH) || !(p.dmFields & DM_PAPERWIDTH)) return std::nullopt;
  for (std::size_t i = base; i < entries.size(); ++i) {
    const PaperEntry& e = entries[i];
    if (e.Group == d.priv.PaperGroup && Within(e.Length, p.dmPaperLength, kLengthTolerance) &&
        Within(e.Width, p.dmPaperWidth, kWidthTolerance)) {
      return static_cast<int>(i);
    }
  }
  return std::nullopt;
}

// The entry of a user format whose length and base paper's width fit the size.
std::optional<int> MatchFormat(const Devmode& d, const UserFormat& f, Entries entries, std::size_t base) {
  const auto& p = d.pub;
  if (!(p.dmFields & DM_PAPERLENGTH) || !(p.dmFields & DM_PAPERWIDTH)) return std::nullopt;
  if (!Within(FormatLengthTenthMm(f), p.dmPaperLength, kLengthTolerance)) return std::nullopt;
  for (std::size_t i = base; i < entries.size(); ++i) {
    const PaperEntry& e = entries[i];
    if (e.PaperId == f.base_paper_id && Within(e.Width, p.dmPaperWidth, kWidthTolerance)) {
      return static_cast<int>(i);
    }
  }
  return std::nullopt;
}

std::uint32_t CutFlagsOf(const PrivDevmode& p) {
  std::uint32_t flags = 0;
  if (p.CutEvery == 1) flags |= CUT_EVERY;
  if (p.Mirror == 1) flags |= CUT_MIRROR;
  if (p.CutAtEnd == 0) flags |= CUT_NOT_AT_END;
  if (p.TailCut == 1) flags |= CUT_TAIL;
  return flags;
}

void SetCutFields(PrivDevmode& p, std::uint32_t flags) {
  p.CutEvery = (flags & CUT_EVERY) ? 1 : 0;
  p.Mirror = (flags & CUT_MIRROR) ? 1 : 0;
  p.CutAtEnd = (flags & CUT_NOT_AT_END) ? 0 : 1;
  p.TailCut = (flags & CUT_TAIL) ? 1 : 0;
}

// 127 mm, the longest feed the printer takes, in dots.
std::int64_t MaxFeedDots(int y_dpi) { return y_dpi > 0 ? std::int64_t{y_dpi} * 5 : 1500; }

std::uint16_t BoundFeed(std::int64_t dots, int y_dpi) {
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(dots, 0, MaxFeedDots(y_dpi)));
}

// Requests give the feed in millimetres for 300 dpi.
std::uint16_t FeedDotsFromMillimetres(std::uint16_t mm) {
  return BoundFeed((std::int64_t{mm} * 100000 / 254 * 300 + 5000) / 10000, 300);
}

// An application's ExtLength (dots at 300 dpi) in 0.1 mm, half up.
std::int64_t ExtLengthTenthMm(std::uint32_t ext_length) {
  const std::int64_t v = std::int64_t{ext_length} * 100000 / 300 * 254;
  return v / 100000 + (v % 100000 > 50000 ? 1 : 0);
}

std::int64_t BoundLength(std::int64_t v) {
  if (v < 0) return kMaxLengthTenthMm;  // a negative length is a wrapped huge one
  return std::clamp<std::int64_t>(v, kMinLengthTenthMm, kMaxLengthTenthMm);
}

std::uint32_t LengthDots(std::int64_t tenth_mm, int y_dpi) {
  const std::int64_t dots = (std::int64_t{y_dpi} * (tenth_mm * 10000 / 254) + 5000) / 10000;
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(dots, 0, 0xFFFFFFFF));
}

// The paper selection a merge makes. It goes into both private parts, so
// that the working DEVMODE's entry always matches its paper size even when
// the incoming private part is not taken over.
struct Selection {
  std::optional<std::int16_t> entry_id, prev_entry_id;
  std::optional<std::uint8_t> paper_group, split_kind, user_format_no;
  std::optional<std::int32_t> table_base;
  std::optional<std::uint32_t> length_tenth_mm, length_dots;

  void ApplyTo(PrivDevmode& p) const {
    if (entry_id) p.EntryId = *entry_id;
    if (prev_entry_id) p.PrevEntryId = *prev_entry_id;
    if (paper_group) p.PaperGroup = *paper_group;
    if (split_kind) p.SplitKind = *split_kind;
    if (user_format_no) p.UserFormatNo = *user_format_no;
    if (table_base) p.TableBase = *table_base;
    if (length_tenth_mm) p.LengthTenthMm = *length_tenth_mm;
    if (length_dots) p.Length = *length_dots;
  }
};

// Applies the application's requests of the AppExtension block to `d`.
void ApplyRequests(Devmode& d, const MergeTables& t) {
  auto& p = d.priv;
  auto& x = p.Ext;
  const std::uint16_t req = x.ExtRequest;
  if (req & EXT_CUT_FLAGS) SetCutFields(p, x.ExtCutFlags);
  else x.ExtCutFlags = CutFlagsOf(p);

  if (req & EXT_SPLIT) p.SplitKind = (x.ExtSplit >= 2 && x.ExtSplit <= 4) ? static_cast<std::uint8_t>(x.ExtSplit - 1) : 0;
  else x.ExtSplit = (p.SplitKind >= 1 && p.SplitKind <= 3) ? static_cast<std::uint16_t>(p.SplitKind + 1) : 1;

  const std::size_t base = BaseOf(d, t.entries);
  if (req & EXT_PAPER_ID) {
    d.pub.dmPaperSize = static_cast<std::int16_t>(x.ExtPaperId);
    // A requested paper is applied even when the public part did not flag it.
    d.pub.dmFields |= DM_PAPERSIZE;
    if (p.SplitKind != 0) {
      for (std::size_t i = base; i < t.entries.size(); ++i) {
        const PaperEntry& e = t.entries[i];
        if (e.Split == p.SplitKind && e.Record.nCompatiblePaperSizes == static_cast<std::int16_t>(x.ExtPaperId)) {
          d.pub.dmPaperSize = e.PaperId;
          break;
        }
      }
    }
  }
  const ResolvedPaper resolved = ResolveEntry(d, t);
  const PaperEntry& entry = t.entries[static_cast<std::size_t>(resolved.entry)];
  if (!(req & EXT_PAPER_ID)) {
    const int id = d.pub.dmPaperSize;
    const bool unresolvable_format =
        IsUserFormatIdSpace(id) && (id > kLastUserFormatId || t.user_formats.empty());
    if (!unresolvable_format) x.ExtPaperId = BaseIdOf(entry);
  }

  const int y = d.pub.dmYResolution;
  if (req & EXT_FEED_MM) {
    p.FeedInDots = 0;
    p.Feed = FeedDotsFromMillimetres(x.ExtFeed);
  }
  if (req & EXT_FEED_DOTS) {
    p.FeedInDots = 1;
    p.Feed = BoundFeed(x.ExtFeed, 300);
  } else if (p.FeedInDots == 1) {
    x.ExtValid = static_cast<std::uint16_t>((x.ExtValid | EXT_FEED_DOTS) & ~EXT_FEED_MM);
    x.ExtFeed = p.Feed;
  } else if (auto mm = FeedMillimetres(p.Feed, y)) {
    x.ExtValid = static_cast<std::uint16_t>((x.ExtValid | EXT_FEED_MM) & ~EXT_FEED_DOTS);
    x.ExtFeed = *mm;
  }

  if (p.PaperGroup == 0) {
    p.EntryId = p.PrevEntryId = static_cast<std::int16_t>(resolved.entry);
  }
}

// Resolves the incoming paper size into W (public) and a selection.
void MergePaperSize(Devmode& w, const Devmode& o, bool ext_ok, const MergeTables& t, Selection& sel) {
  const Entries entries = t.entries;
  const std::size_t base = BaseOf(o, entries);
  const auto& op = o.pub;
  std::optional<std::int64_t> length_source;
  bool user_format = false;
  int i = 0;

  if (op.dmPaperSize == kCustomPaperId) {
    w.pub.dmPaperSize = kCustomPaperId;
    std::optional<int> hit;
    if (op.dmFields & DM_PAPERLENGTH) {
      hit = MatchLabel(o, entries, base);
      // A user format of that size takes precedence; the last one wins.
      for (const UserFormat* f : FormatsOfGroup(t.user_formats, IdGroupOf(o))) {
        if (auto m = MatchFormat(o, *f, entries, base)) hit = m;
      }
      length_source = op.dmPaperLength;
    }
    if (!hit && (op.dmFields & DM_PAPERWIDTH)) {
      const WidthSearch s = SearchWidth(entries, base, o.priv.PaperGroup, op.dmPaperWidth);
      hit = s.found ? s.found : std::optional<int>(s.widest);
    }
    i = hit.value_or(static_cast<int>(base));
  } else {
    const ResolvedPaper r = ResolveEntry(o, t);
    i = r.entry;
    const PaperEntry& e = entries[static_cast<std::size_t>(i)];
    if (r.user_format >= 0) {
      const auto formats = FormatsOfGroup(t.user_formats, IdGroupOf(o));
      user_format = true;
      sel.user_format_no = static_cast<std::uint8_t>(r.user_format + 1);
      w.pub.dmPaperSize = static_cast<std::int16_t>(kFirstUserFormatId + r.user_format);
      length_source = FormatLengthTenthMm(*formats[static_cast<std::size_t>(r.user_format)]);
    } else if (e.PaperId == op.dmPaperSize) {
      w.pub.dmPaperSize = op.dmPaperSize;
    } else if (t.user_default) {
      // The paper is unknown here: the user's own default stands in for it.
      const Devmode& u = *t.user_default;
      w.pub.dmPaperSize = u.pub.dmPaperSize;
      w.pub.dmPaperWidth = u.pub.dmPaperWidth;
      w.pub.dmPaperLength = u.pub.dmPaperLength;
      sel.length_tenth_mm = u.priv.LengthTenthMm;
      sel.entry_id = u.priv.EntryId;
      sel.table_base = u.priv.TableBase;
      sel.paper_group = u.priv.PaperGroup;
      sel.split_kind = u.priv.SplitKind;
      sel.user_format_no = 0;
      if (e.Group == 0) sel.prev_entry_id = static_cast<std::int16_t>(i);
      return;
    }
    if (!user_format) {
      const auto& x = o.priv.Ext;
      if (ext_ok && (x.ExtRequest & EXT_LENGTH)) length_source = ExtLengthTenthMm(x.ExtLength);
      else if (op.dmFields & DM_PAPERLENGTH) length_source = op.dmPaperLength;
    }
  }

  const PaperEntry& e = entries[static_cast<std::size_t>(i)];
  sel.entry_id = static_cast<std::int16_t>(i);
  if (e.Group == 0) sel.prev_entry_id = static_cast<std::int16_t>(i);
  if (!user_format) {
    sel.paper_group = e.Group;
    sel.user_format_no = 0;
  }
  sel.split_kind = e.Split;
  w.pub.dmPaperWidth = e.Width;

  std::uint32_t length_tenth_mm = w.priv.LengthTenthMm;
  if (e.Length != 0) {
    length_tenth_mm = static_cast<std::uint32_t>(std::max<int>(0, e.Length));
    sel.length_dots = static_cast<std::uint32_t>(std::max<int>(0, e.LengthDots));
  } else if (length_source) {
    const std::int64_t v = BoundLength(*length_source);
    length_tenth_mm = static_cast<std::uint32_t>(v);
    sel.length_dots = LengthDots(v, w.pub.dmYResolution);
  }
  sel.length_tenth_mm = length_tenth_mm;
  w.pub.dmPaperLength = static_cast<std::int16_t>(std::min<std::uint32_t>(length_tenth_mm, 0x7FFF));
}

// Brings values that would become indexes into range; in-range values stay.
void NormaliseSelection(Devmode& w, const MergeTables& t) {
  auto& p = w.priv;
  const auto n = static_cast<std::int64_t>(t.entries.size());
  p.TableBase = 0;  // the only table base a merge accepts
  if (p.EntryId < 0 || p.EntryId >= n) p.EntryId = static_cast<std::int16_t>(ResolveEntry(w, t).entry);
  if (p.PrevEntryId < 0 || p.PrevEntryId >= n) p.PrevEntryId = p.EntryId;
  if (p.UserFormatNo > FormatsOfGroup(t.user_formats, IdGroupOf(w)).size()) p.UserFormatNo = 0;
  if (p.SplitKind > 3) {
    const std::uint8_t split = t.entries[static_cast<std::size_t>(p.EntryId)].Split;
    p.SplitKind = split <= 3 ? split : 0;
  }
}

// dmPaperLength within 254-30000, except the fixed length of the selected
// label (die-cut labels may be shorter than an inch).
void BoundPaperLength(Devmode& w, const MergeTables& t) {
  const PaperEntry& e = t.entries[static_cast<std::size_t>(w.priv.EntryId)];
  if (e.Length != 0 && w.pub.dmPaperLength == e.Length) return;
  w.pub.dmPaperLength = static_cast<std::int16_t>(BoundLength(w.pub.dmPaperLength));
}

// Reports the merge into W's AppExtension, from the incoming requests.
void ReportMerge(Devmode& w, const Devmode& incoming, const MergeTables& t) {
  Devmode o = incoming;
  const auto& ox = o.priv.Ext;
  if (ox.ExtRequest & EXT_OPTION) o.priv.PaperGroup = 0;
  const PaperEntry& e = t.entries[static_cast<std::size_t>(ResolveEntry(o, t).entry)];
  const std::uint16_t req = ox.ExtRequest;
  auto& wp = w.priv;
  auto& wx = wp.Ext;
  const int y = w.pub.dmYResolution;

  wx.ExtSize = kAppExtensionSize;
  wx.ExtRequest = 0;
  wx.ExtValid = EXT_PAPER_ID;
  if (req & EXT_PAPER_ID) {
    wx.ExtRequest |= EXT_PAPER_ID;
    wx.ExtPaperId = ox.ExtPaperId;
  } else {
    wx.ExtPaperId = BaseIdOf(e);
  }

  wx.ExtValid |= EXT_OPTION;
  if (req & EXT_OPTION) {
    wx.ExtRequest |= EXT_OPTION;
    wx.ExtOption = ox.ExtOption;
    wp.PaperGroup = 0;
  } else {
    wx.ExtOption = 0;
  }

  if (req & EXT_FEED_MM) {
    wx.ExtRequest |= EXT_FEED_MM;
    wx.ExtValid |= EXT_FEED_MM;
    wp.FeedInDots = 0;
    wp.Feed = FeedDotsFromMillimetres(ox.ExtFeed);
    wx.ExtFeed = std::min<std::uint16_t>(ox.ExtFeed, 127);
  } else if (req & EXT_FEED_DOTS) {
    wx.ExtRequest |= EXT_FEED_DOTS;
    wx.ExtValid |= EXT_FEED_DOTS;
    wp.FeedInDots = 1;
    wp.Feed = BoundFeed(ox.ExtFeed, y);
    wx.ExtFeed = wp.Feed;
  } else if (o.priv.FeedInDots == 1) {
    wx.ExtValid |= EXT_FEED_DOTS;
    wx.ExtFeed = wp.Feed;
  } else {
    wx.ExtValid = static_cast<std::uint16_t>((wx.ExtValid | EXT_FEED_MM) & ~EXT_FEED_DOTS);
    if (auto mm = FeedMillimetres(wp.Feed, y)) wx.ExtFeed = *mm;
  }

  wx.ExtValid |= EXT_SPLIT;
  if (req & EXT_SPLIT) {
    wx.ExtRequest |= EXT_SPLIT;
    wx.ExtSplit = ox.ExtSplit;
    wp.SplitKind = ox.ExtSplit <= 1 || e.Split > 3 ? 0 : e.Split;
  } else {
    wx.ExtSplit = (wp.SplitKind >= 1 && wp.SplitKind <= 3) ? static_cast<std::uint16_t>(wp.SplitKind + 1) : 1;
  }

  wx.ExtValid |= EXT_LENGTH;
  if (req & EXT_LENGTH) wx.ExtRequest |= EXT_LENGTH;
  // A fixed label keeps its own length; the request is only echoed.
  wx.ExtLength = (req & EXT_LENGTH) && e.LengthDots != 0 ? ox.ExtLength : wp.Length;

  wx.ExtValid |= EXT_CUT_FLAGS;
  if (req & EXT_CUT_FLAGS) {
    wx.ExtRequest |= EXT_CUT_FLAGS;
    wx.ExtCutFlags = ox.ExtCutFlags;
    SetCutFields(wp, ox.ExtCutFlags);
  } else {
    wx.ExtCutFlags = CutFlagsOf(wp);
  }
  if (req & EXT_KEEP) wx.ExtRequest |= EXT_KEEP;
  std::memcpy(wx.ExtSignature, "KVQM", 4);
}

}  // namespace

std::optional<std::uint16_t> FeedMillimetres(std::uint32_t feed_dots, int y_dpi) {
  if (y_dpi <= 0) return std::nullopt;
  const std::int64_t mm = (std::int64_t{feed_dots} * 254 + 5 * std::int64_t{y_dpi}) / (10 * std::int64_t{y_dpi});
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(mm, 3, 127));
}

std::vector<const UserFormat*> FormatsOfGroup(std::span<const UserFormat> formats, std::uint8_t group) {
  std::vector<const UserFormat*> out;
  for (const UserFormat& f : formats) {
    if (out.size() == kMaxUserFormatsPerGroup) break;
    if (static_cast<std::uint8_t>(f.group & 0xFF) == group) out.push_back(&f);
  }
  return out;
}

std::optional<Devmode> UsableUserDefault(std::span<const std::uint8_t> bytes, Entries entries) {
  const auto header = ReadDevmodeHeader(bytes);
  if (!header || header->driver_extra < kPrivDevmodeSize ||
      bytes.size() < std::size_t{header->size} + kPrivDevmodeSize) {
    return std::nullopt;
  }
  Devmode u = Devmode::Zeroed();
  u.pub.dmSpecVersion = kDmSpecVersion;
  u.pub.dmDriverVersion = kDmDriverVersion;
  u.pub.dmSize = kDevmodeSize;
  u.pub.dmDriverExtra = kPrivDevmodeSize;
  if (CopyDevmode(bytes, u.Bytes()) <= 0) return std::nullopt;
  if (u.priv.Signature != kPrivSignature || u.priv.TableBase != 0 || u.priv.EntryId < 0 ||
      static_cast<std::size_t>(u.priv.EntryId) >= entries.size()) {
    return std::nullopt;
  }
  return u;
}

MergeTables MakeMergeTables(const platform::PrinterHandle* printer, const PaperCatalogue& catalogue,
                            std::span<const UserFormat> user_formats, std::int16_t fallback_paper_id) {
  MergeTables t;
  t.entries = catalogue.Entries();
  t.user_formats = user_formats;
  t.printer = printer;
  t.fallback_paper_id = fallback_paper_id;
  if (printer) {
    if (auto info = platform::GetPrinter(printer); info && !info->user_devmode.empty()) {
      t.user_default = UsableUserDefault(info->user_devmode, t.entries);
    }
  }
  return t;
}

std::optional<int> MatchCustomSize(const Devmode& d, const MergeTables& t) {
  const Entries entries = t.entries;
  const std::size_t base = BaseOf(d, entries);
  if (d.pub.dmFields & DM_PAPERLENGTH) {
    if (auto hit = MatchLabel(d, entries, base)) return hit;
    for (const UserFormat* f : FormatsOfGroup(t.user_formats, IdGroupOf(d))) {
      if (auto hit = MatchFormat(d, *f, entries, base)) return hit;
    }
  }
  if (d.pub.dmFields & DM_PAPERWIDTH) {
    return SearchWidth(entries, base, d.priv.PaperGroup, d.pub.dmPaperWidth).found;
  }
  return std::nullopt;
}

ResolvedPaper ResolveEntry(const Devmode& d, const MergeTables& t) {
  const Entries entries = t.entries;
  if (entries.empty()) return {};
  const std::uint8_t group = IdGroupOf(d);
  const std::size_t base = BaseOf(d, entries);
  const int paper = d.pub.dmPaperSize;

  if (auto i = FindById(entries, base, group, paper)) return {*i, -1};
  if (paper == kCustomPaperId) {
    if (auto i = MatchCustomSize(d, t)) return {*i, -1};
  }
  const auto formats = FormatsOfGroup(t.user_formats, group);
  if (auto u = UserFormatIndex(paper, formats)) {
    if (auto i = FindById(entries, base, group, formats[static_cast<std::size_t>(*u)]->base_paper_id)) {
      return {*i, *u};
    }
  }
  if (t.user_default) {
    const Devmode& u = *t.user_default;
    const std::size_t ubase = BaseOf(u, entries);
    const int upaper = u.pub.dmPaperSize;
    if (auto i = FindById(entries, ubase, group, upaper)) return {*i, -1};
    if (upaper == kCustomPaperId) {
      if (auto i = MatchCustomSize(u, t)) return {*i, -1};
    }
    const auto uformats = FormatsOfGroup(t.user_formats, IdGroupOf(u));
    if (auto uf = UserFormatIndex(upaper, uformats)) {
      if (auto i = FindById(entries, ubase, group, uformats[static_cast<std::size_t>(*uf)]->base_paper_id)) {
        return {*i, *uf};
      }
    }
  }
  if (auto i = FindById(entries, base, group, t.fallback_paper_id)) return {*i, -1};
  if (auto i = FindById(entries, base, group, kDefaultPaperId)) return {*i, -1};
  return {static_cast<int>(base), -1};
}

bool MergeDevmode(Devmode& w, std::span<const std::uint8_t> incoming, const MergeTables& t) {
  if (t.entries.empty() || incoming.empty()) return true;
  Devmode o = w;
  if (CopyDevmode(incoming, o.Bytes()) <= 0) return false;
  // A foreign block size would make every later merge of the result drop the
  // user's settings, so W keeps its own block; only the report is skipped.
  const bool ext_ok = o.priv.Ext.ExtSize == kAppExtensionSize;
  if (!ext_ok) o.priv = w.priv;
  if (o.priv.TableBase != 0) return false;

  if (ext_ok) ApplyRequests(o, t);

  const auto& op = o.pub;
  auto& wp = w.pub;
  Selection sel;
  if (op.dmFields & DM_ORIENTATION) {
    wp.dmOrientation = (op.dmOrientation == 1 || op.dmOrientation == 2) ? op.dmOrientation : 2;
    wp.dmFields |= DM_ORIENTATION;
  }
  if (op.dmFields & DM_PAPERLENGTH) {
    wp.dmPaperLength = op.dmPaperLength;
    wp.dmFields |= DM_PAPERLENGTH;
  }
  if (op.dmFields & DM_PAPERWIDTH) {
    wp.dmPaperWidth = op.dmPaperWidth;
    wp.dmFields |= DM_PAPERWIDTH;
  }
  if (op.dmFields & DM_PAPERSIZE) {
    MergePaperSize(w, o, ext_ok, t, sel);
    wp.dmFields |= DM_PAPERSIZE;
  }
  if (op.dmFields & DM_FORMNAME) {
    SetField(wp.dmFormName, FieldText(op.dmFormName));
    wp.dmFields |= DM_FORMNAME;
  }
  if (op.dmFields & DM_COPIES) {
    wp.dmCopies = (op.dmCopies >= 1 && op.dmCopies <= 9999) ? op.dmCopies : 1;
    wp.dmFields |= DM_COPIES;
  }
  wp.dmPrintQuality = kDefaultResolution;
  wp.dmYResolution = kDefaultResolution;
  wp.dmFields |= op.dmFields & (DM_PRINTQUALITY | DM_YRESOLUTION);

  const bool take_private = o.priv.Signature == kPrivSignature;
  sel.ApplyTo(o.priv);
  if (take_private) w.priv = o.priv;
  else sel.ApplyTo(w.priv);
  w.priv.Ext.ExtSize = kAppExtensionSize;

  auto& p = w.priv;
  const int y = wp.dmYResolution;
  NormaliseSelection(w, t);
  BoundPaperLength(w, t);
  p.LengthTenthMm = static_cast<std::uint32_t>(std::max<int>(0, wp.dmPaperLength));
  p.Length = static_cast<std::uint32_t>(
      std::clamp<std::int64_t>((std::int64_t{wp.dmPaperLength} * 10000 / 254 * y + 5000) / 10000, 0, 0xFFFFFFFF));
  if (take_private) {
    p.Feed = op.dmYResolution == 300
                 ? BoundFeed(std::max<std::int64_t>(std::int64_t{o.priv.Feed} * y / 300, 35 * y / 300), y)
                 : BoundFeed((std::int64_t{y} * 11811 + 50000) / 100000, y);
  } else {
    p.Feed = BoundFeed(p.Feed, y);
  }
  if (t.printer) {
    const auto info = platform::GetPrinter(t.printer);
    p.BidiEnabled = info ? ((info->attributes & platform::PRINTER_ATTRIBUTE_ENABLE_BIDI) ? 1 : 0) : 1;
    if (auto media = platform::GetPrinterData(t.printer, "SetMedia")) {
      if (auto v = media->AsDword()) p.SetMedia = static_cast<std::uint8_t>(*v & 0xFF);
    }
  }

  if (o.priv.UnitInitialised == 0) {
    p.Unit = o.priv.Unit;
    p.UnitInitialised = 1;
  }
  if (p.Unit > 1) p.Unit = 0;

  if (ext_ok) ReportMerge(w, o, t);
  return true;
}

void ReportExtension(Devmode& d, const MergeTables& t) {
  if (t.entries.empty()) return;
  const PaperEntry& e = t.entries[static_cast<std::size_t>(ResolveEntry(d, t).entry)];
  auto& p = d.priv;
  auto& x = p.Ext;
  x.ExtSize = kAppExtensionSize;
  x.ExtRequest = 0;
  x.ExtCutFlags = 0;
  x.ExtValid = p.FeedInDots == 0 ? 0x3F : 0x6F;
  x.ExtPaperId = static_cast<std::uint16_t>(d.pub.dmPaperSize);
  x.ExtOption = 0;
  if (p.FeedInDots != 0) x.ExtFeed = p.Feed;
  else if (auto mm = FeedMillimetres(p.Feed, d.pub.dmYResolution)) x.ExtFeed = *mm;
  x.ExtSplit = 1;
  const std::uint16_t split = e.Split <= 3 ? e.Split : 0;
  if (d.pub.dmPaperSize == kCustomPaperId) {
    if (split == 0) {
      x.ExtPaperId = static_cast<std::uint16_t>(e.PaperId);
    } else {
      x.ExtPaperId = BaseIdOf(e);
      x.ExtSplit = static_cast<std::uint16_t>(split + 1);
    }
  } else {
    x.ExtPaperId = BaseIdOf(e);
    x.ExtSplit = static_cast<std::uint16_t>(split + 1);
  }
  p.Length = LengthDots(std::int64_t{p.LengthTenthMm}, 300);
  x.ExtLength = p.Length;
  x.ExtCutFlags = CutFlagsOf(p);
  std::memcpy(x.ExtSignature, "KVQM", 4);
}

std::span<const std::uint8_t> ForeignDevmodeBytes(const void* devmode) {
  if (!devmode) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(devmode);
  std::uint16_t size = 0, extra = 0;
  std::memcpy(&size, bytes + offsetof(DevmodePublic, dmSize), 2);
  std::memcpy(&extra, bytes + offsetof(DevmodePublic, dmDriverExtra), 2);
  const std::size_t n = std::max<std::size_t>(size, kDevmodeHeaderSize) +
                        std::min<std::size_t>(extra, kPrivDevmodeSize);
  return {bytes, n};
}

}  // namespace klm::driver
