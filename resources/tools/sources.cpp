#include "resources/tools/sources.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <sstream>

#include "platform/files.h"
#include "resources/byte_io.h"
#include "resources/resource_library.h"

namespace klm::res::tools {

namespace {

Error Bad(int line, const std::string& why) {
  return MakeError(ERROR_INVALID_DATA, "line " + std::to_string(line) + ": " + why);
}

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> out;
  std::istringstream in{std::string(line)};
  std::string w;
  while (in >> w) out.push_back(w);
  return out;
}

std::optional<long> Number(std::string_view s) {
  long v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<std::uint32_t> Colour(std::string_view s) {
  if (s.size() != 7 || s[0] != '#') return std::nullopt;
  std::uint32_t v = 0;
  auto [end, ec] = std::from_chars(s.data() + 1, s.data() + 7, v, 16);
  if (ec != std::errc() || end != s.data() + 7) return std::nullopt;
  return v;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> out;
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out.push_back(line);
    if (nl == std::string_view::npos) break;
    text.remove_prefix(nl + 1);
  }
  return out;
}

// ---- pictures ----

constexpr long kMaxPictureSide = 4096;

struct Canvas {
  int w = 0, h = 0;
  std::vector<std::uint32_t> px;  // 0xRRGGBB, top row first
  void Set(long x, long y, std::uint32_t c) {
    if (x >= 0 && y >= 0 && x < w && y < h) px[static_cast<std::size_t>(y * w + x)] = c;
  }
  void Fill(long x, long y, long rw, long rh, std::uint32_t c) {
    for (long yy = std::max(0L, y); yy < std::min<long>(h, y + rh); ++yy)
      for (long xx = std::max(0L, x); xx < std::min<long>(w, x + rw); ++xx) Set(xx, yy, c);
  }
};

std::uint32_t Mix(std::uint32_t a, std::uint32_t b, long num, long den) {
  if (den <= 0) return a;
  auto ch = [&](int shift) {
    long ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
    return static_cast<std::uint32_t>(ca + (cb - ca) * num / den) << shift;
  };
  return ch(16) | ch(8) | ch(0);
}

std::vector<std::uint8_t> EncodeBmp(const Canvas& c, int depth) {
  const std::uint32_t row = depth == 8 ? static_cast<std::uint32_t>((c.w + 3) & ~3)
                                       : static_cast<std::uint32_t>((c.w * 3 + 3) & ~3);
  const std::uint32_t palette = depth == 8 ? 256 * 4 : 0;
  const std::uint32_t offset = 14 + 40 + palette;
  const std::uint32_t image = row * static_cast<std::uint32_t>(c.h);
  ByteWriter w;
  w.Raw("BM");
  w.U32(offset + image);
  w.U32(0);
  w.U32(offset);
  w.U32(40);
  w.U32(static_cast<std::uint32_t>(c.w));
  w.U32(static_cast<std::uint32_t>(c.h));  // positive: bottom-up rows
  w.U16(1);
  w.U16(static_cast<std::uint16_t>(depth));
  w.U32(0);  // BI_RGB
  w.U32(image);
  w.U32(3780);  // 96 dpi in pixels per metre
  w.U32(3780);
  w.U32(depth == 8 ? 256 : 0);
  w.U32(0);
  if (depth == 8)
    for (std::uint32_t i = 0; i < 256; ++i) w.U32(i | (i << 8) | (i << 16));
  for (int y = c.h - 1; y >= 0; --y) {
    std::uint32_t written = 0;
    for (int x = 0; x < c.w; ++x) {
      const std::uint32_t p = c.px[static_cast<std::size_t>(y * c.w + x)];
      if (depth == 8) {
        // Grey level by the usual luma weights.
        const std::uint32_t grey = (((p >> 16) & 0xFF) * 299 + ((p >> 8) & 0xFF) * 587 + (p & 0xFF) * 114) / 1000;
        w.U8(static_cast<std::uint8_t>(grey));
        written += 1;
      } else {
        w.U8(static_cast<std::uint8_t>(p));
        w.U8(static_cast<std::uint8_t>(p >> 8));
        w.U8(static_cast<std::uint8_t>(p >> 16));
        written += 3;
      }
    }
    for (; written < row; ++written) w.U8(0);
  }
  return w.Take();
}

}  // namespace

Result<std::vector<std::uint8_t>> PictureFromScript(std::string_view script) {
  Canvas c;
  int depth = 24;
  int n = 0;
  for (std::string_view line : Lines(script)) {
    ++n;
    // A comment is a line whose first non-blank character is '#'; colours
    // (#RRGGBB) only ever follow a command.
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    auto w = Words(line);
    if (w.empty()) continue;
    const std::string& op = w[0];
    auto num = [&](std::size_t i) { return i < w.size() ? Number(w[i]) : std::nullopt; };
    auto col = [&](std::size_t i) { return i < w.size() ? Colour(w[i]) : std::nullopt; };
    if (op == "size") {
      auto width = num(1), height = num(2);
      if (!width || !height || *width < 1 || *height < 1 || *width > kMaxPictureSide || *height > kMaxPictureSide)
        return Bad(n, "size needs a width and a height from 1 to 4096");
      c.w = static_cast<int>(*width);
      c.h = static_cast<int>(*height);
      c.px.assign(static_cast<std::size_t>(c.w * c.h), 0xFF00FF);
      continue;
    }
    if (op == "depth") {
      auto d = num(1);
      if (!d || (*d != 8 && *d != 24)) return Bad(n, "depth is 8 or 24");
      depth = static_cast<int>(*d);
      continue;
    }
    if (c.px.empty()) return Bad(n, "\"size\" must come first");
    if (op == "fill") {
      auto k = col(1);
      if (!k) return Bad(n, "fill needs a colour #RRGGBB");
      c.Fill(0, 0, c.w, c.h, *k);
    } else if (op == "rect" || op == "frame" || op == "ellipse" || op == "vgradient" || op == "hgradient") {
      auto x = num(1), y = num(2), rw = num(3), rh = num(4);
      auto k = col(5);
      if (!x || !y || !rw || !rh || !k) return Bad(n, op + " needs x y width height #RRGGBB");
      if (op == "rect") {
        c.Fill(*x, *y, *rw, *rh, *k);
      } else if (op == "frame") {
        const long t = num(6).value_or(1);
        c.Fill(*x, *y, *rw, t, *k);
        c.Fill(*x, *y + *rh - t, *rw, t, *k);
        c.Fill(*x, *y, t, *rh, *k);
        c.Fill(*x + *rw - t, *y, t, *rh, *k);
      } else if (op == "ellipse") {
        const double cx = static_cast<double>(*x) + static_cast<double>(*rw) / 2.0,
                     cy = static_cast<double>(*y) + static_cast<double>(*rh) / 2.0;
        const double ax = static_cast<double>(*rw) / 2.0, ay = static_cast<double>(*rh) / 2.0;
        for (long yy = *y; yy < *y + *rh; ++yy)
          for (long xx = *x; xx < *x + *rw; ++xx) {
            const double dx = (static_cast<double>(xx) + 0.5 - cx) / ax, dy = (static_cast<double>(yy) + 0.5 - cy) / ay;
            if (dx * dx + dy * dy <= 1.0) c.Set(xx, yy, *k);
          }
      } else {
        auto k2 = col(6);
        if (!k2) return Bad(n, op + " needs a second colour");
        const bool vertical = op == "vgradient";
        const long span = vertical ? *rh : *rw;
        for (long i = 0; i < span; ++i) {
          const std::uint32_t k3 = Mix(*k, *k2, i, std::max(1L, span - 1));
          if (vertical) c.Fill(*x, *y + i, *rw, 1, k3);
          else c.Fill(*x + i, *y, 1, *rh, k3);
        }
      }
    } else if (op == "line") {
      auto x0 = num(1), y0 = num(2), x1 = num(3), y1 = num(4);
      auto k = col(5);
      if (!x0 || !y0 || !x1 || !y1 || !k) return Bad(n, "line needs x0 y0 x1 y1 #RRGGBB");
      const long t = std::max(1L, num(6).value_or(1));
      const long steps = std::max({std::labs(*x1 - *x0), std::labs(*y1 - *y0), 1L});
      for (long i = 0; i <= steps; ++i) {
        const long px = *x0 + (*x1 - *x0) * i / steps, py = *y0 + (*y1 - *y0) * i / steps;
        c.Fill(px - (t - 1) / 2, py - (t - 1) / 2, t, t, *k);
      }
    } else if (op == "polygon") {
      auto k = col(1);
      if (!k || w.size() < 8 || (w.size() - 2) % 2 != 0) return Bad(n, "polygon needs #RRGGBB and three or more x y pairs");
      std::vector<std::pair<double, double>> pts;
      for (std::size_t i = 2; i + 1 < w.size(); i += 2) {
        auto px = Number(w[i]), py = Number(w[i + 1]);
        if (!px || !py) return Bad(n, "polygon point is not a number");
        pts.emplace_back(static_cast<double>(*px), static_cast<double>(*py));
      }
      for (int yy = 0; yy < c.h; ++yy)
        for (int xx = 0; xx < c.w; ++xx) {
          const double sx = xx + 0.5, sy = yy + 0.5;
          bool inside = false;
          for (std::size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
            const auto [xi, yi] = pts[i];
            const auto [xj, yj] = pts[j];
            if ((yi > sy) != (yj > sy) && sx < (xj - xi) * (sy - yi) / (yj - yi) + xi) inside = !inside;
          }
          if (inside) c.Set(xx, yy, *k);
        }
    } else {
      return Bad(n, "unknown picture command \"" + op + "\"");
    }
  }
  if (c.px.empty()) return MakeError(ERROR_INVALID_DATA, "the picture has no \"size\" line");
  return EncodeBmp(c, depth);
}

// ---- strings ----

Result<std::vector<StringSource>> StringsFromTsv(std::string_view tsv) {
  std::vector<StringSource> out;
  std::vector<std::string> languages;
  std::set<std::uint32_t> seen;
  int n = 0;
  for (std::string_view line : Lines(tsv)) {
    ++n;
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> cells;
    std::string cell;
    for (std::size_t i = 0; i < line.size(); ++i) {
      char ch = line[i];
      if (ch == '\t') {
        cells.push_back(std::move(cell));
        cell.clear();
      } else if (ch == '\\' && i + 1 < line.size()) {
        char e = line[++i];
        if (e == 'n') cell += '\n';
        else if (e == 't') cell += '\t';
        else if (e == 'r') cell += '\r';
        else if (e == '\\') cell += '\\';
        else return Bad(n, std::string("unknown escape \\") + e);
      } else {
        cell += ch;
      }
    }
    cells.push_back(std::move(cell));
    if (languages.empty()) {
      if (cells.size() < 2 || cells[0] != "id" || cells[1] != kBaseLanguage)
        return Bad(n, "the header must be \"id<TAB>en\" followed by further languages");
      languages.assign(cells.begin() + 1, cells.end());
      continue;
    }
    auto id = Number(cells[0]);
    if (!id || *id < 0 || *id > 0xFFFF) return Bad(n, "\"" + cells[0] + "\" is not a string id from 0 to 65535");
    if (!seen.insert(static_cast<std::uint32_t>(*id)).second) return Bad(n, "string " + cells[0] + " is defined twice");
    if (cells.size() > languages.size() + 1) return Bad(n, "more columns than languages in the header");
    if (cells.size() < 2 || cells[1].empty()) return Bad(n, "string " + cells[0] + " has no \"en\" text");
    for (std::size_t k = 1; k < cells.size(); ++k)
      if (!cells[k].empty()) out.push_back({static_cast<std::uint32_t>(*id), languages[k - 1], cells[k]});
  }
  return out;
}

// ---- menus ----

Result<MenuTemplate> MenuFromText(std::string_view text) {
  MenuTemplate menu;
  std::vector<std::vector<MenuItem>*> stack{&menu.items};
  int n = 0;
  for (std::string_view raw : Lines(text)) {
    ++n;
    std::string_view line = raw;
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) line.remove_prefix(1);
    if (line.empty() || line[0] == '#') continue;
    std::size_t sp = line.find(' ');
    std::string_view op = line.substr(0, sp);
    std::string_view rest = sp == std::string_view::npos ? std::string_view() : line.substr(sp + 1);
    if (op == "popup") {
      stack.back()->push_back(MenuItem{0, std::string(rest), false, {}});
      if (stack.size() > 8) return Bad(n, "pop-ups nested too deeply");
      stack.push_back(&stack.back()->back().children);
    } else if (op == "item") {
      std::size_t sp2 = rest.find(' ');
      auto id = Number(rest.substr(0, sp2));
      if (!id || sp2 == std::string_view::npos) return Bad(n, "item needs a command id and a text");
      stack.back()->push_back(MenuItem{static_cast<std::int32_t>(*id), std::string(rest.substr(sp2 + 1)), false, {}});
    } else if (op == "separator") {
      stack.back()->push_back(MenuItem{0, {}, true, {}});
    } else if (op == "end") {
      if (stack.size() == 1) return Bad(n, "\"end\" without \"popup\"");
      if (stack.back()->empty()) return Bad(n, "empty pop-up");
      stack.pop_back();
    } else {
      return Bad(n, "unknown menu line \"" + std::string(op) + "\"");
    }
  }
  if (stack.size() != 1) return MakeError(ERROR_INVALID_DATA, "a pop-up is not closed with \"end\"");
  return menu;
}

// ---- a whole folder ----

namespace {
Result<std::string> ReadText(const std::filesystem::path& p) {
  auto bytes = platform::ReadWholeFile(p);
  if (!bytes) return bytes.error();
  return std::string(bytes->begin(), bytes->end());
}

Error InFile(const std::filesystem::path& p, const Error& e) { return MakeError(e.code, p.string() + ": " + e.message); }

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& dir, std::string_view ext) {
  std::vector<std::filesystem::path> out;
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) return out;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec))
    if (e.is_regular_file() && e.path().extension() == ext) out.push_back(e.path());
  std::sort(out.begin(), out.end());  // the same bytes on every build
  return out;
}

// "101-version.pic" -> 101.
std::optional<std::uint32_t> LeadingId(const std::string& stem) {
  std::size_t end = 0;
  while (end < stem.size() && std::isdigit(static_cast<unsigned char>(stem[end]))) ++end;
  if (end == 0 || (end < stem.size() && stem[end] != '-' && stem[end] != '_')) return std::nullopt;
  auto v = Number(std::string_view(stem).substr(0, end));
  if (!v || *v > 0xFFFF) return std::nullopt;
  return static_cast<std::uint32_t>(*v);
}
}  // namespace

Result<std::vector<std::uint8_t>> CompileLibraryFolder(const std::filesystem::path& folder) {
  LibraryBuilder lib;
  const auto strings_path = folder / "strings.tsv";
  std::error_code exists_ec;
  if (std::filesystem::exists(strings_path, exists_ec)) {
    auto tsv = ReadText(strings_path);
    if (!tsv) return InFile(strings_path, tsv.error());
    auto strings = StringsFromTsv(*tsv);
    if (!strings) return InFile(strings_path, strings.error());
    for (const StringSource& s : *strings) lib.AddString(s.id, s.language, s.text);
  }

  for (const auto& p : FilesIn(folder / "dialogs", ".ui")) {
    auto xml = ReadText(p);
    if (!xml) return InFile(p, xml.error());
    auto dialog = DialogFromUi(*xml, p.stem().string());
    if (!dialog) return InFile(p, dialog.error());
    lib.AddDialog(*dialog);
  }
  std::set<std::uint32_t> bitmap_ids;
  for (const char* ext : {".pic", ".bmp"}) {
    for (const auto& p : FilesIn(folder / "pictures", ext)) {
      auto id = LeadingId(p.stem().string());
      if (!id) return MakeError(ERROR_INVALID_DATA, p.string() + ": the file name must start with the bitmap id");
      if (!bitmap_ids.insert(*id).second)
        return MakeError(ERROR_INVALID_DATA, p.string() + ": bitmap " + std::to_string(*id) + " is defined twice");
      if (p.extension() == ".bmp") {
        auto bytes = platform::ReadWholeFile(p);
        if (!bytes) return InFile(p, bytes.error());
        lib.AddBitmap(*id, *bytes);
      } else {
        auto script = ReadText(p);
        if (!script) return InFile(p, script.error());
        auto bmp = PictureFromScript(*script);
        if (!bmp) return InFile(p, bmp.error());
        lib.AddBitmap(*id, *bmp);
      }
    }
  }
  for (const auto& p : FilesIn(folder / "menus", ".menu")) {
    auto text = ReadText(p);
    if (!text) return InFile(p, text.error());
    auto menu = MenuFromText(*text);
    if (!menu) return InFile(p, menu.error());
    lib.AddMenu(p.stem().string(), *menu);
  }
  std::error_code ec;
  if (std::filesystem::is_directory(folder / "data", ec)) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(folder / "data", ec))
      if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& p : files) {
      // A picture script among the data is stored as the BMP it draws.
      if (p.extension() == ".pic") {
        auto script = ReadText(p);
        if (!script) return InFile(p, script.error());
        auto bmp = PictureFromScript(*script);
        if (!bmp) return InFile(p, bmp.error());
        lib.AddData(p.stem().string(), *bmp);
      } else {
        auto bytes = platform::ReadWholeFile(p);
        if (!bytes) return InFile(p, bytes.error());
        lib.AddData(p.stem().string(), *bytes);
      }
    }
  }
  return lib.Serialize();
}

}  // namespace klm::res::tools
