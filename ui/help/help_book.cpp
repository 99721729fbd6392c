#include "ui/help/help_book.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "resources/byte_io.h"

namespace klm::ui {

namespace {

constexpr std::string_view kMagic = "KLMHELP1";

Error Damaged(const std::string& what) { return MakeError(ERROR_INVALID_DATA, "help book damaged: " + what); }

std::pair<std::string_view, std::string_view> SplitAnchor(std::string_view target) {
  const auto hash = target.find('#');
  if (hash == std::string_view::npos) return {target, {}};
  return {target.substr(0, hash), target.substr(hash + 1)};
}

}  // namespace

Result<HelpBook> HelpBook::Open(const std::filesystem::path& path) {
  auto bytes = platform::ReadWholeFile(platform::ResolveCaseInsensitive(path));
  if (!bytes) {
    if (bytes.error().code == ERROR_PATH_NOT_FOUND)
      return MakeError(ERROR_FILE_NOT_FOUND, "help book " + path.string() + " is missing");
    return bytes.error();
  }
  auto book = Parse(*bytes);
  if (!book) return MakeError(book.error().code, path.string() + ": " + book.error().message);
  return book;
}

Result<HelpBook> HelpBook::Parse(std::span<const std::uint8_t> bytes) {
  res::ByteReader in(bytes);
  auto magic = in.Bytes(kMagic.size());
  if (!magic || !std::equal(magic->begin(), magic->end(), kMagic.begin())) return Damaged("not a help book");
  auto page_count = in.U32(), map_count = in.U32(), start = in.U32();
  if (in.failed()) return Damaged("header cut short");
  // Each page takes at least 6 bytes and each map entry 10: a count the rest
  // of the file cannot hold is refused before anything is reserved.
  if (*page_count == 0 || *page_count > in.remaining() / 6 || *map_count > in.remaining() / 10)
    return Damaged("counts out of range");
  if (*start >= *page_count) return Damaged("start page out of range");
  HelpBook book;
  book.start_ = *start;
  book.pages_.reserve(*page_count);
  for (std::uint32_t i = 0; i < *page_count; ++i) {
    auto name = in.Str();
    auto body = in.Blob();
    if (in.failed()) return Damaged("page " + std::to_string(i) + " cut short");
    book.pages_.push_back({std::move(*name), std::string(body->begin(), body->end())});
  }
  for (std::uint32_t i = 0; i < *map_count; ++i) {
    auto context = in.U32();
    auto page = in.U32();
    auto anchor = in.Str();
    if (in.failed()) return Damaged("map entry " + std::to_string(i) + " cut short");
    if (*page >= *page_count) return Damaged("map entry " + std::to_string(i) + " names no page");
    book.map_[*context] = {*page, std::move(*anchor)};
  }
  if (!in.AtEnd()) return Damaged("bytes after the map");
  return book;
}

std::string HelpBook::TopicFor(std::uint32_t context) const {
  auto it = map_.find(context);
  if (it == map_.end()) return start_page();
  std::string topic = pages_[it->second.page].name;
  if (!it->second.anchor.empty()) topic += "#" + it->second.anchor;
  return topic;
}

const HelpPage* HelpBook::Page(std::string_view name) const {
  name = SplitAnchor(name).first;
  for (const HelpPage& p : pages_)
    if (p.name == name) return &p;
  return nullptr;
}

Result<std::vector<std::uint8_t>> HelpBook::Build(const std::vector<HelpPage>& pages, const std::string& start,
                                                  const std::map<std::uint32_t, std::string>& map) {
  auto index_of = [&](std::string_view name) -> std::optional<std::uint32_t> {
    for (std::size_t i = 0; i < pages.size(); ++i)
      if (pages[i].name == name) return static_cast<std::uint32_t>(i);
    return std::nullopt;
  };
  auto start_index = index_of(start);
  if (!start_index) return MakeError(ERROR_INVALID_DATA, "start page " + start + " is not in the book");
  res::ByteWriter out;
  out.Raw(kMagic);
  out.U32(static_cast<std::uint32_t>(pages.size()));
  out.U32(static_cast<std::uint32_t>(map.size()));
  out.U32(*start_index);
  for (const HelpPage& p : pages) {
    if (p.name.size() > 0xFFFF || p.html.size() > 0xFFFFFFFFu)
      return MakeError(ERROR_INVALID_DATA, "page " + p.name.substr(0, 64) + " is too large");
    out.Str(p.name);
    out.Blob({reinterpret_cast<const std::uint8_t*>(p.html.data()), p.html.size()});
  }
  for (const auto& [context, target] : map) {
    auto [page, anchor] = SplitAnchor(target);
    auto index = index_of(page);
    if (!index)
      return MakeError(ERROR_INVALID_DATA,
                       "context " + std::to_string(context) + " names page " + std::string(page) + ", not in the book");
    out.U32(context);
    out.U32(*index);
    out.Str(anchor);
  }
  return out.Take();
}

Result<std::vector<std::uint8_t>> BuildHelpBookFromFolder(const std::filesystem::path& folder) {
  std::vector<HelpPage> pages;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    if (entry.path().extension() != ".html") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream body;
    body << in.rdbuf();
    if (!in) return MakeError(ERROR_ACCESS_DENIED, "cannot read " + entry.path().string());
    pages.push_back({entry.path().filename().string(), body.str()});
  }
  if (ec) return MakeError(ERROR_PATH_NOT_FOUND, "cannot list " + folder.string() + ": " + ec.message());
  // Directory order varies; sorted pages give the same bytes on every machine.
  std::sort(pages.begin(), pages.end(), [](const HelpPage& a, const HelpPage& b) { return a.name < b.name; });

  const auto map_path = folder / "map.tsv";
  std::ifstream in(map_path);
  if (!in) return MakeError(ERROR_FILE_NOT_FOUND, map_path.string() + " is missing");
  std::string start = "index.html";
  std::map<std::uint32_t, std::string> map;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const auto where = map_path.string() + " line " + std::to_string(number) + ": ";
    const auto tab = line.find('\t');
    if (tab == std::string::npos) return MakeError(ERROR_INVALID_DATA, where + "expected context<TAB>page");
    const std::string key = line.substr(0, tab), target = line.substr(tab + 1);
    if (target.empty()) return MakeError(ERROR_INVALID_DATA, where + "no page");
    if (key == "start") {
      start = target;
      continue;
    }
    std::uint32_t context = 0;
    if (key.empty() || key.size() > 9 || !std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return MakeError(ERROR_INVALID_DATA, where + "context \"" + key + "\" is not a number");
    context = static_cast<std::uint32_t>(std::stoul(key));
    if (!map.emplace(context, target).second)
      return MakeError(ERROR_INVALID_DATA, where + "context " + key + " appears twice");
  }
  auto built = HelpBook::Build(pages, start, map);
  if (!built) return MakeError(built.error().code, map_path.string() + ": " + built.error().message);
  return built;
}

}  // namespace klm::ui
