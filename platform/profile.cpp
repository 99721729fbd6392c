#include "platform/profile.h"

#include <vector>

#include "platform/files.h"

namespace klm::platform {

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trim(std::string_view s) {
  auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  auto last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

struct Line {
  std::string text;  // without its line end
  std::string eol;   // "\r\n", "\n", or "" for a last line without one
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  while (!text.empty()) {
    auto nl = text.find('\n');
    if (nl == std::string_view::npos) {
      lines.push_back({std::string(text), ""});
      break;
    }
    bool cr = nl > 0 && text[nl - 1] == '\r';
    lines.push_back({std::string(text.substr(0, cr ? nl - 1 : nl)), cr ? "\r\n" : "\n"});
    text.remove_prefix(nl + 1);
  }
  return lines;
}

enum class Kind { kBlank, kComment, kSection, kKey };

struct Parsed {
  Kind kind = Kind::kBlank;
  std::string_view name;   // section or key name
  std::string_view value;  // trimmed; empty for a key line without '='
};

Parsed Classify(std::string_view line) {
  std::string_view t = Trim(line);
  if (t.empty()) return {};
  if (t.front() == ';') return {Kind::kComment, {}, {}};
  if (t.front() == '[') {
    std::string_view inner = t.substr(1);
    auto close = inner.rfind(']');
    if (close != std::string_view::npos) inner = inner.substr(0, close);
    return {Kind::kSection, Trim(inner), {}};
  }
  auto eq = t.find('=');
  if (eq == std::string_view::npos) return {Kind::kKey, t, {}};
  return {Kind::kKey, Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

std::string Cut(std::string_view s, std::size_t buffer_size) {
  if (buffer_size == 0) return {};
  return std::string(s.substr(0, buffer_size - 1));
}

// Integer text as the platform's string-to-integer call reads it with base 0.
std::uint32_t ParseInteger(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && kBlanks.find(s[i]) != std::string_view::npos) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  unsigned base = 10;
  if (i + 1 < s.size() && s[i] == '0') {
    char p = s[i + 1];
    if (p == 'x' || p == 'X') base = 16;
    else if (p == 'o' || p == 'O') base = 8;
    else if (p == 'b' || p == 'B') base = 2;
    if (base != 10) i += 2;
  }
  std::uint32_t value = 0;  // wraps like the platform's 32-bit accumulator
  for (; i < s.size(); ++i) {
    char c = s[i];
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else break;
    if (digit >= base) break;
    value = value * base + digit;
  }
  return negative ? 0u - value : value;
}

bool BreaksLines(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key) {
  bool in_section = false;
  for (const Line& line : SplitLines(text)) {
    Parsed p = Classify(line.text);
    if (p.kind == Kind::kSection) {
      if (in_section) return std::nullopt;  // only the first section of that name counts
      in_section = EqualsIgnoringAsciiCase(p.name, section);
    } else if (in_section && p.kind == Kind::kKey && EqualsIgnoringAsciiCase(p.name, key)) {
      return std::string(Unquote(p.value));
    }
  }
  return std::nullopt;
}

std::string GetProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view fallback,
                             std::size_t buffer_size) {
  auto bytes = ReadWholeFile(file);
  if (!bytes) return Cut(fallback, buffer_size);
  std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  auto value = FindProfileValue(text, section, key);
  return Cut(value ? std::string_view(*value) : fallback, buffer_size);
}

std::uint32_t GetProfileInt(const std::filesystem::path& file, std::string_view section,
                            std::string_view key, std::int32_t fallback) {
  // The platform reads the text into a 30-character buffer first.
  std::string text = GetProfileString(file, section, key, "", 30);
  return ParseProfileInt(text, fallback);
}

std::uint32_t ParseProfileInt(std::string_view value, std::int32_t fallback) {
  if (value.empty()) return static_cast<std::uint32_t>(fallback);
  return ParseInteger(value.substr(0, 29));
}

bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value) {
  if (Trim(section).empty() || Trim(key).empty() || BreaksLines(section) || BreaksLines(key) ||
      BreaksLines(value) || section.find(']') != std::string_view::npos ||
      key.find('=') != std::string_view::npos || Trim(key).front() == ';' ||
      Trim(key).front() == '[')
    return false;

  std::string text;
  auto bytes = ReadWholeFile(file);
  if (bytes) {
    text.assign(bytes->begin(), bytes->end());
  } else if (bytes.error().code != ERROR_FILE_NOT_FOUND) {
    return false;
  }
  std::vector<Line> lines = SplitLines(text);
  std::string key_line = std::string(key) + "=" + std::string(value);

  std::optional<std::size_t> header, key_at;
  std::size_t last_content = 0;  // last key line of the section, else its header
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Parsed p = Classify(lines[i].text);
    if (p.kind == Kind::kSection) {
      if (header) break;
      if (EqualsIgnoringAsciiCase(p.name, section)) header = last_content = i;
    } else if (header && p.kind == Kind::kKey) {
      last_content = i;
      if (EqualsIgnoringAsciiCase(p.name, key)) {
        key_at = i;
        break;
      }
    }
  }

  if (key_at) {
    lines[*key_at].text = key_line;
  } else if (header) {
    if (lines[last_content].eol.empty()) lines[last_content].eol = "\r\n";
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_content) + 1, {key_line, "\r\n"});
  } else {
    if (!lines.empty()) {
      if (lines.back().eol.empty()) lines.back().eol = "\r\n";
      if (!Trim(lines.back().text).empty()) lines.push_back({"", "\r\n"});
    }
    lines.push_back({"[" + std::string(section) + "]", "\r\n"});
    lines.push_back({key_line, "\r\n"});
  }

  std::string out;
  out.reserve(text.size() + key_line.size() + section.size() + 8);
  for (const Line& line : lines) out += line.text + line.eol;
  return WriteFileAtomic(file, std::span(reinterpret_cast<const std::uint8_t*>(out.data()),
                                         out.size()))
      .ok();
}

}  // namespace klm::platform
