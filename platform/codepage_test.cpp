#include "platform/codepage.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/locale.h"
#include "platform/testing/temp_root.h"

namespace klm::platform {
namespace {

struct RoundTrip {
  std::uint32_t code_page;
  std::string bytes;
  std::u16string text;
};

TEST(CodePage, ConvertsBothWaysInEachSupportedCodePage) {
  const RoundTrip cases[] = {
      {1252, "Label 62\xB5m", u"Label 62\u00B5m"},
      {1252, "\x80\x9F\xFF", u"\u20AC\u0178\u00FF"},
      {1252, "\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},
      {932, "\x82\xA0\x83\x89\x83x\x83\x8B", u"\u3042\u30E9\u30D9\u30EB"},  // あラベル
      {932, "C:\\T\\", u"C:\\T\\"},
      {936, "\xB1\xEA\xC7\xA9", u"\u6807\u7B7E"},  // 标签
      {949, "\xB6\xF3\xBA\xA7", u"\uB77C\uBCA8"},  // 라벨
      {950, "\xBC\xD0\xC5\xD2", u"\u6A19\u7C64"},  // 標籤
      {kCodePageUtf8, "\xE2\x82\xAC \xF0\x9F\x98\x80", u"\u20AC \U0001F600"},
      {kCodePageUtf8, std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {932, "", u""},
  };
  for (const auto& c : cases) {
    auto wide = ToUtf16(c.bytes, c.code_page);
    ASSERT_TRUE(wide.ok()) << c.code_page << ": " << wide.error().message;
    EXPECT_EQ(*wide, c.text) << c.code_page;
    auto narrow = FromUtf16(c.text, c.code_page);
    ASSERT_TRUE(narrow.ok()) << c.code_page << ": " << narrow.error().message;
    EXPECT_EQ(*narrow, c.bytes) << c.code_page;
  }
}

TEST(CodePage, RefusesWhatCannotBeConverted) {
  struct Narrow {
    std::uint32_t code_page;
    std::string bytes;
  } bad_bytes[] = {
      {932, "ab\x82"},                  // lead byte without trail byte
      {kCodePageUtf8, "\xC0\xAF"},      // overlong
      {kCodePageUtf8, "\xED\xA0\x80"},  // encoded surrogate
      {kCodePageUtf8, "\xE2\x82"},      // cut short
      {kCodePageUtf8, "\xFF"},
  };
  for (const auto& c : bad_bytes) {
    auto r = ToUtf16(c.bytes, c.code_page);
    ASSERT_FALSE(r.ok()) << c.code_page;
    EXPECT_EQ(r.error().code, ERROR_NO_UNICODE_TRANSLATION);
  }
  struct Wide {
    std::uint32_t code_page;
    std::u16string text;
  } bad_text[] = {
      {1252, u"\u3042"},
      {1252, u"\u0080"},
      {932, u"\uB77C"},
      {949, u"x\xD800"},
      {kCodePageUtf8, u"\xDC00x"},
  };
  for (const auto& c : bad_text) {
    auto r = FromUtf16(c.text, c.code_page);
    ASSERT_FALSE(r.ok()) << c.code_page;
    EXPECT_EQ(r.error().code, ERROR_NO_UNICODE_TRANSLATION);
  }
  EXPECT_EQ(ToUtf16("x", 12345).error().code, ERROR_INVALID_PARAMETER);
}

TEST(CodePage, LossyUtf8ReplacesMalformedInput) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b\xE2\x82"), u"a\uFFFDb\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC3\xA9\xF0\x9F\x98\x80"), u"\u00E9\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"a\xD800"), "a\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(CodePage, AnsiFollowsTheUsersCodePage) {
  testing::TempRoot root;
  ASSERT_TRUE(SetLocaleOverride("codepage", "932").ok());
  EXPECT_EQ(AnsiToUtf16("\x82\xA0").value_or(u"?"), u"\u3042");
  EXPECT_EQ(Utf16ToAnsi(u"\u3042").value_or("?"), "\x82\xA0");
  ASSERT_TRUE(SetLocaleOverride("codepage", "1252").ok());
  EXPECT_EQ(AnsiToUtf16("\x82\xA0").value_or(u"?"), u"\u201A\u00A0");
}

}  // namespace
}  // namespace klm::platform
