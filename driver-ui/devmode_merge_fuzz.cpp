// Merges arbitrary incoming DEVMODEs into the driver default and checks that
// the result is always in range. The first input byte picks how many user
// formats exist and whether the per-user default is set; the rest is the
// DEVMODE. The same bytes are also walked as a "TrayFormTable".
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "driver-ui/capabilities.h"
#include "driver-ui/devmode_merge.h"
#include "driver-ui/print_query.h"

namespace {

using namespace klm::driver;

PaperRecord Record(std::int16_t id, std::int16_t width, std::int16_t length, std::uint16_t split = 0,
                   std::int16_t base = 0) {
  PaperRecord p;
  std::memset(&p, 0, sizeof p);
  p.head.nType = 11;
  p.head.nPaperSize = id;
  p.head.nPaperWidth = width;
  p.head.nImageAreaWidth = static_cast<std::int16_t>(width - 30);
  p.head.nPaperWidthRes = static_cast<std::int16_t>(width * 300 / 254);
  p.head.nImageAreaWidthRes = static_cast<std::int16_t>((width - 30) * 300 / 254);
  p.head.nPaperLength = length;
  p.head.nImageAreaLength = length ? static_cast<std::int16_t>(length - 30) : 0;
  p.head.nPaperLengthRes = static_cast<std::int16_t>(length * 300 / 254);
  p.head.wSplit = split;
  p.nCompatiblePaperSizes = base;
  std::memcpy(p.head.szPaperName_mm, u"paper", 12);
  return p;
}

struct World {
  Arena arena;
  PaperCatalogue catalogue;
  std::vector<UserFormat> formats;
  Devmode base;

  World() {
    ModelRecord m;
    std::memset(&m, 0, sizeof m);
    m.bySeriesCode = '5';
    m.nDefaultPaperSize = 366;
    m.nDefaultPaperLength = 1528;
    m.nDefaultPaperLengthRes = 1805;
    m.wXResolution = m.wYResolution = 300;
    const PaperRecord papers[] = {Record(340, 120, 0), Record(345, 620, 0), Record(346, 1020, 0),
                                  Record(366, 1016, 1528), Record(370, 120, 120), Record(380, 2040, 0, 1, 346),
                                  Record(381, 3060, 0, 2, 346)};
    catalogue = *BuildCatalogue(arena, m, papers);
    for (int i = 0; i < 23; ++i) {
      UserFormat f;
      std::memset(&f, 0, sizeof f);
      f.group = static_cast<std::uint16_t>(i % 3 == 2);
      f.base_paper_id = i % 2 ? 345 : 366;
      f.length_hundredth_mm = static_cast<std::uint32_t>(1000 + 997 * i);
      formats.push_back(f);
    }
    // The default without reading any file: fixed values and the model's paper.
    base = Devmode::Zeroed();
    base.pub.dmSpecVersion = kDmSpecVersion;
    base.pub.dmDriverVersion = kDmDriverVersion;
    base.pub.dmSize = kDevmodeSize;
    base.pub.dmDriverExtra = kPrivDevmodeSize;
    base.pub.dmFields = kDefaultFields;
    base.pub.dmOrientation = 2;
    base.pub.dmCopies = 1;
    base.pub.dmPrintQuality = base.pub.dmYResolution = 300;
    base.priv.Signature = kPrivSignature;
    base.priv.Ext.ExtSize = kAppExtensionSize;
    base.priv.FeedInDots = 1;
    base.priv.Feed = 71;
    ApplyModelDefaults(base, catalogue);
  }
};

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;
  if (size == 0) return 0;
  const std::uint8_t control = data[0];
  const std::span<const std::uint8_t> incoming(data + 1, size - 1);

  MergeTables t;
  t.entries = world.catalogue.Entries();
  t.user_formats = std::span<const UserFormat>(world.formats).first(control % 24);
  t.fallback_paper_id = (control & 0x40) ? 999 : 366;
  if (control & 0x80) t.user_default = UsableUserDefault(incoming, t.entries);

  // An exact-size copy, so that any byte read past the end is caught.
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[incoming.size()]);
  if (!incoming.empty()) std::memcpy(exact.get(), incoming.data(), incoming.size());
  const std::span<const std::uint8_t> bytes(exact.get(), incoming.size());

  Devmode w = world.base;
  const Devmode before = w;
  const bool merged = MergeDevmode(w, bytes, t);
  if (!merged) Check(std::memcmp(&w, &before, sizeof w) == 0);

  const auto n = static_cast<std::int64_t>(t.entries.size());
  const auto& p = w.priv;
  Check(p.EntryId >= 0 && p.EntryId < n);
  Check(p.PrevEntryId >= 0 && p.PrevEntryId < n);
  Check(p.TableBase == 0);
  Check(p.SplitKind <= 3);
  Check(p.Unit <= 1);
  Check(p.UserFormatNo <= kMaxUserFormatsPerGroup);
  Check(p.Feed <= 1500);
  Check(p.Ext.ExtSize == kAppExtensionSize);
  const PaperEntry& selected = t.entries[static_cast<std::size_t>(p.EntryId)];
  const bool fixed = selected.Length != 0 && w.pub.dmPaperLength == selected.Length;
  Check(fixed || (w.pub.dmPaperLength >= kMinLengthTenthMm && w.pub.dmPaperLength <= kMaxLengthTenthMm));
  Check(p.LengthTenthMm == static_cast<std::uint32_t>(w.pub.dmPaperLength));
  Check(w.pub.dmCopies >= 1 && w.pub.dmCopies <= 9999);
  Check(w.pub.dmOrientation == 1 || w.pub.dmOrientation == 2);

  const ResolvedPaper r = ResolveEntry(w, t);
  Check(r.entry >= 0 && r.entry < n);
  ReportExtension(w, t);

  std::vector<std::uint16_t> ids(64);
  std::vector<std::int32_t> sizes(128);
  Check(ListPapers(world.catalogue, world.formats, &w, {{}, ids, sizes}) <= 64);

  (void)FindTrayForm(bytes, u"A4");
  return 0;
}
