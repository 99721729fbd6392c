#include "resources/tools/xml_lite.h"

#include <cctype>
#include <cstdint>

namespace klm::res::tools {

std::string_view XmlElement::Attr(std::string_view key) const {
  for (const auto& [k, v] : attributes)
    if (k == key) return v;
  return {};
}

const XmlElement* XmlElement::Child(std::string_view child_name) const {
  for (const auto& c : children)
    if (c->name == child_name) return c.get();
  return nullptr;
}

std::vector<const XmlElement*> XmlElement::Children(std::string_view child_name) const {
  std::vector<const XmlElement*> out;
  for (const auto& c : children)
    if (c->name == child_name) out.push_back(c.get());
  return out;
}

namespace {

constexpr int kMaxDepth = 64;

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  Result<std::unique_ptr<XmlElement>> Run() {
    SkipMisc();
    if (!Peek('<')) return Fail("expected the root element");
    auto root = Element(0);
    if (!root) return root;
    SkipMisc();
    if (pos_ != s_.size()) return Fail("text after the root element");
    return root;
  }

 private:
  Error Fail(const std::string& why) const {
    return MakeError(ERROR_INVALID_DATA, "line " + std::to_string(line_) + ": " + why);
  }
  bool Peek(char c) const { return pos_ < s_.size() && s_[pos_] == c; }
  bool Starts(std::string_view t) const { return s_.substr(pos_, t.size()) == t; }
  void Advance(std::size_t n) {
    for (std::size_t i = 0; i < n && pos_ < s_.size(); ++i)
      if (s_[pos_++] == '\n') ++line_;
  }
  void SkipSpace() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) Advance(1);
  }
  bool SkipUntil(std::string_view end) {
    std::size_t at = s_.find(end, pos_);
    if (at == std::string_view::npos) return false;
    Advance(at + end.size() - pos_);
    return true;
  }
  // Declarations, comments and processing instructions between elements.
  void SkipMisc() {
    for (;;) {
      SkipSpace();
      if (Starts("<?")) {
        if (!SkipUntil("?>")) pos_ = s_.size();
      } else if (Starts("<!--")) {
        if (!SkipUntil("-->")) pos_ = s_.size();
      } else if (Starts("<!DOCTYPE")) {
        if (!SkipUntil(">")) pos_ = s_.size();
      } else {
        return;
      }
    }
  }
  std::string Name() {
    std::size_t start = pos_;
    while (pos_ < s_.size()) {
      char c = s_[pos_];
      if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == ':' ||
          static_cast<unsigned char>(c) >= 0x80)
        ++pos_;
      else
        break;
    }
    return std::string(s_.substr(start, pos_ - start));
  }
  static void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  // Text up to `stop`, entities decoded.
  Result<std::string> CharData(char stop) {
    std::string out;
    while (pos_ < s_.size() && s_[pos_] != stop) {
      if (s_[pos_] != '&') {
        out += s_[pos_];
        Advance(1);
        continue;
      }
      std::size_t semi = s_.find(';', pos_);
      if (semi == std::string_view::npos || semi - pos_ > 10) return Fail("unterminated entity");
      std::string_view ent = s_.substr(pos_ + 1, semi - pos_ - 1);
      if (ent == "amp") out += '&';
      else if (ent == "lt") out += '<';
      else if (ent == "gt") out += '>';
      else if (ent == "quot") out += '"';
      else if (ent == "apos") out += '\'';
      else if (ent.size() > 1 && ent[0] == '#') {
        std::uint32_t cp = 0;
        const bool hex = ent[1] == 'x' || ent[1] == 'X';
        std::string_view digits = ent.substr(hex ? 2 : 1);
        if (digits.empty()) return Fail("empty character reference");
        for (char c : digits) {
          int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                  : hex && std::isxdigit(static_cast<unsigned char>(c))
                      ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                      : -1;
          if (d < 0) return Fail("bad character reference &" + std::string(ent) + ";");
          cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
          if (cp > 0x10FFFF) return Fail("character reference out of range");
        }
        AppendUtf8(out, cp);
      } else {
        return Fail("unknown entity &" + std::string(ent) + ";");
      }
      Advance(semi + 1 - pos_);
    }
    return out;
  }

  Result<std::unique_ptr<XmlElement>> Element(int depth) {
    if (depth > kMaxDepth) return Fail("elements nested too deeply");
    auto el = std::make_unique<XmlElement>();
    el->line = line_;
    Advance(1);  // '<'
    el->name = Name();
    if (el->name.empty()) return Fail("expected an element name");
    for (;;) {
      SkipSpace();
      if (Starts("/>")) {
        Advance(2);
        return el;
      }
      if (Peek('>')) {
        Advance(1);
        break;
      }
      std::string key = Name();
      if (key.empty()) return Fail("expected an attribute of <" + el->name + ">");
      SkipSpace();
      if (!Peek('=')) return Fail("expected '=' after attribute " + key);
      Advance(1);
      SkipSpace();
      if (!Peek('"') && !Peek('\'')) return Fail("expected a quoted value for attribute " + key);
      char quote = s_[pos_];
      Advance(1);
      auto value = CharData(quote);
      if (!value) return value.error();
      if (!Peek(quote)) return Fail("unterminated value of attribute " + key);
      Advance(1);
      el->attributes.emplace_back(std::move(key), std::move(*value));
    }
    for (;;) {
      if (pos_ >= s_.size()) return Fail("<" + el->name + "> is not closed");
      if (Starts("</")) {
        Advance(2);
        std::string end = Name();
        if (end != el->name) return Fail("</" + end + "> closes <" + el->name + ">");
        SkipSpace();
        if (!Peek('>')) return Fail("expected '>'");
        Advance(1);
        return el;
      }
      if (Starts("<!--")) {
        if (!SkipUntil("-->")) return Fail("unterminated comment");
      } else if (Starts("<![CDATA[")) {
        Advance(9);
        std::size_t end = s_.find("]]>", pos_);
        if (end == std::string_view::npos) return Fail("unterminated CDATA");
        el->text += s_.substr(pos_, end - pos_);
        Advance(end + 3 - pos_);
      } else if (Starts("<?")) {
        if (!SkipUntil("?>")) return Fail("unterminated processing instruction");
      } else if (Peek('<')) {
        auto child = Element(depth + 1);
        if (!child) return child;
        el->children.push_back(std::move(*child));
      } else {
        auto text = CharData('<');
        if (!text) return text.error();
        el->text += *text;
      }
    }
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

Result<std::unique_ptr<XmlElement>> ParseXml(std::string_view text) { return Parser(text).Run(); }

}  // namespace klm::res::tools
