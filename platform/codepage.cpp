#include "platform/codepage.h"

#include <iconv.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/locale.h"

namespace klm::platform {

namespace {

static_assert(std::endian::native == std::endian::little,
              "char16_t strings are exchanged with iconv as UTF-16LE");

constexpr char32_t kReplacement = 0xFFFD;

// 0x80-0x9F of code page 1252. The five unassigned bytes map to the C1
// controls of the same value, as the platform's own table does; iconv would
// refuse them and files written there contain them.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

Error NoTranslation(std::uint32_t code_page, std::size_t offset) {
  return MakeError(ERROR_NO_UNICODE_TRANSLATION, "text cannot be converted with code page " +
                                                     std::to_string(code_page) + " (at unit " +
                                                     std::to_string(offset) + ")");
}

// One code point from UTF-8 at `i`; nullopt for a malformed sequence, after
// which `i` has moved past its longest well-formed prefix (one U+FFFD each).
std::optional<char32_t> DecodeUtf8(std::string_view s, std::size_t& i) {
  auto b0 = static_cast<unsigned char>(s[i++]);
  if (b0 < 0x80) return b0;
  int extra;
  char32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) { extra = 1; cp = b0 & 0x1F; }
  else if (b0 >= 0xE0 && b0 <= 0xEF) {
    extra = 2; cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;  // overlong
    if (b0 == 0xED) hi = 0x9F;  // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    extra = 3; cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;  // overlong
    if (b0 == 0xF4) hi = 0x8F;  // beyond U+10FFFF
  } else {
    return std::nullopt;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size()) return std::nullopt;
    auto b = static_cast<unsigned char>(s[i]);
    if (k == 0 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (b & 0x3F);
    ++i;
  }
  return cp;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// One code point from UTF-16 at `i`; nullopt for a lone surrogate.
std::optional<char32_t> DecodeUtf16(std::u16string_view s, std::size_t& i) {
  char32_t u = s[i++];
  if (u < 0xD800 || u > 0xDFFF) return u;
  if (u >= 0xDC00 || i >= s.size() || s[i] < 0xDC00 || s[i] > 0xDFFF) return std::nullopt;
  return 0x10000 + ((u - 0xD800) << 10) + (s[i++] - 0xDC00);
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string IconvName(std::uint32_t code_page) {
  return "CP" + std::to_string(code_page);
}

// Converts `in` between two iconv encodings; fails on any unconvertible byte.
Result<std::string> Iconv(const std::string& to, const std::string& from, const char* in,
                          std::size_t in_len, std::uint32_t code_page) {
  iconv_t cd = ::iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1))
    return MakeError(ERROR_INVALID_PARAMETER,
                     "code page " + std::to_string(code_page) + " is not supported");
  std::string out(in_len * 2 + 16, '\0');
  char* in_ptr = const_cast<char*>(in);
  std::size_t in_left = in_len;
  std::size_t used = 0;
  bool flushing = false;
  for (;;) {
    char* out_ptr = out.data() + used;
    std::size_t out_left = out.size() - used;
    std::size_t rc = flushing ? ::iconv(cd, nullptr, nullptr, &out_ptr, &out_left)
                              : ::iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    int err = errno;
    used = out.size() - out_left;
    if (rc != static_cast<std::size_t>(-1)) {
      if (flushing) break;
      flushing = true;
      continue;
    }
    if (err == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    ::iconv_close(cd);
    return NoTranslation(code_page, in_len - in_left);
  }
  ::iconv_close(cd);
  out.resize(used);
  return out;
}

Result<std::u16string> Utf8ToUtf16Strict(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t at = i;
    auto cp = DecodeUtf8(bytes, i);
    if (!cp) return NoTranslation(kCodePageUtf8, at);
    AppendUtf16(out, *cp);
  }
  return out;
}

Result<std::string> Utf16ToUtf8Strict(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size();) {
    std::size_t at = i;
    auto cp = DecodeUtf16(text, i);
    if (!cp) return NoTranslation(kCodePageUtf8, at);
    AppendUtf8(out, *cp);
  }
  return out;
}

std::u16string Cp1252ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    out.push_back(b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
  }
  return out;
}

Result<std::string> Utf16ToCp1252(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    std::size_t k = 0;
    while (k < kCp1252High.size() && kCp1252High[k] != u) ++k;
    if (k == kCp1252High.size()) return NoTranslation(1252, i);
    out.push_back(static_cast<char>(0x80 + k));
  }
  return out;
}

}  // namespace

Result<std::u16string> ToUtf16(std::string_view bytes, std::uint32_t code_page) {
  if (code_page == kCodePageUtf8) return Utf8ToUtf16Strict(bytes);
  if (code_page == 1252) return Cp1252ToUtf16(bytes);
  auto raw = Iconv("UTF-16LE", IconvName(code_page), bytes.data(), bytes.size(), code_page);
  if (!raw) return raw.error();
  std::u16string out(raw->size() / 2, u'\0');
  std::memcpy(out.data(), raw->data(), out.size() * 2);
  return out;
}

Result<std::string> FromUtf16(std::u16string_view text, std::uint32_t code_page) {
  if (code_page == kCodePageUtf8) return Utf16ToUtf8Strict(text);
  if (code_page == 1252) return Utf16ToCp1252(text);
  // iconv would pass a lone surrogate to some targets; refuse it up front.
  for (std::size_t i = 0; i < text.size();) {
    std::size_t at = i;
    if (!DecodeUtf16(text, i)) return NoTranslation(code_page, at);
  }
  return Iconv(IconvName(code_page), "UTF-16LE", reinterpret_cast<const char*>(text.data()),
               text.size() * 2, code_page);
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    auto cp = DecodeUtf8(text, i);
    AppendUtf16(out, cp.value_or(kReplacement));
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size();) {
    auto cp = DecodeUtf16(text, i);
    AppendUtf8(out, cp.value_or(kReplacement));
  }
  return out;
}

Result<std::u16string> AnsiToUtf16(std::string_view bytes) { return ToUtf16(bytes, AnsiCodePage()); }

Result<std::string> Utf16ToAnsi(std::u16string_view text) { return FromUtf16(text, AnsiCodePage()); }

}  // namespace klm::platform
