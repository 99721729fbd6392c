// The package's help book: HTML pages and a map from the context numbers the
// windows ask for to pages (with an optional anchor). One file, built from
// ui/help/KLM71v/ by klm71_helpc and installed as "KLM71v.chm". No toolkit:
// the Qt help window only displays what this hands out.
//
// File layout (little-endian):
//   "KLMHELP1"                                  8 bytes
//   u32 page count, u32 map count, u32 start page index
//   pages: u16 name length, name, u32 body length, body (UTF-8 HTML)
//   map:   u32 context, u32 page index, u16 anchor length, anchor
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace klm::ui {

struct HelpPage {
  std::string name;  // "basic.html"
  std::string html;
};

class HelpBook {
 public:
  // ERROR_FILE_NOT_FOUND for a missing book (name matched ignoring case),
  // ERROR_INVALID_DATA for one that is damaged.
  static Result<HelpBook> Open(const std::filesystem::path& path);
  static Result<HelpBook> Parse(std::span<const std::uint8_t> bytes);

  // "basic.html#copies" for a mapped context; the start page for 0 and for
  // any context the map does not know.
  std::string TopicFor(std::uint32_t context) const;
  // The page named `name` ("basic.html"; an anchor after '#' is ignored);
  // null when the book has none.
  const HelpPage* Page(std::string_view name) const;
  const std::string& start_page() const { return pages_[start_].name; }
  const std::vector<HelpPage>& pages() const { return pages_; }
  bool Maps(std::uint32_t context) const { return map_.count(context) != 0; }

  // The builder's side. `start` must name one of `pages`; every map target
  // ("page" or "page#anchor") too. Answers the file bytes.
  static Result<std::vector<std::uint8_t>> Build(const std::vector<HelpPage>& pages, const std::string& start,
                                                 const std::map<std::uint32_t, std::string>& map);

 private:
  struct Target {
    std::uint32_t page = 0;
    std::string anchor;
  };
  std::vector<HelpPage> pages_;
  std::uint32_t start_ = 0;
  std::map<std::uint32_t, Target> map_;
};

// Reads a book's source folder: every *.html page, and "map.tsv" with lines
// `context<TAB>page[#anchor]`, "start<TAB>page" naming the start page
// (default "index.html"); '#' starts a comment line. Errors name the line.
Result<std::vector<std::uint8_t>> BuildHelpBookFromFolder(const std::filesystem::path& folder);

}  // namespace klm::ui
