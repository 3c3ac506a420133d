// The 8-bit code page: UTF-8 in, one byte a character out; "?" for what the
// page lacks; text that is not UTF-8 kept as it is, so a read-back text
// written again stays the same.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"

namespace kavo {
namespace {

TEST(CodePage, Utf8ToWindows1252) {
  struct Case {
    const char* what;
    std::string utf8, page;
  } cases[] = {
      {"ASCII", "Hello, world!", "Hello, world!"},
      {"e acute", "caf\xC3\xA9", "caf\xE9"},
      {"euro sign", "5 \xE2\x82\xAC", "5 \x80"},
      {"l with stroke (not in the page)", "\xC5\x82" "adny", "?adny"},
      {"an emoji", "hi \xF0\x9F\x98\x80!", "hi ?!"},
      {"empty", "", ""},
      {"invalid UTF-8 kept as bytes", "caf\xE9", "caf\xE9"},
      {"a cut sequence kept", "ab\xE2\x82", "ab\xE2\x82"},
      {"an overlong form kept", "\xC0\xAF", "\xC0\xAF"},
      {"a surrogate kept", "\xED\xA0\x80", "\xED\xA0\x80"},
      {"NUL inside", std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToCodePage(c.utf8), c.page) << c.what;
}

TEST(CodePage, RoundTripsAndSingleCodes) {
  // Every byte the page defines reads back as itself.
  for (int b = 32; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string utf8 = CodePageToUtf8(one);
    if (utf8 == "?" && b != '?') {
      EXPECT_EQ(CodePageCharToUnicode(static_cast<uint8_t>(b)), 0u) << b;
      continue;
    }
    EXPECT_EQ(Utf8ToCodePage(utf8), one) << b;
  }
  EXPECT_EQ(CodePageCharToUnicode(0xE9), 0xE9u);
  EXPECT_EQ(CodePageCharToUnicode(0x80), 0x20ACu);
  EXPECT_EQ(CodePageCharToUnicode('A'), uint32_t('A'));
  // A text read back from the engine (8-bit) and written again is unchanged.
  const std::string shown = Utf8ToCodePage("Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e");
  EXPECT_EQ(Utf8ToCodePage(shown), shown);
  // Other pages and an unknown one.
  EXPECT_EQ(Utf8ToCodePage("\xC5\x82", "CP1250"), "\xB3");
  EXPECT_FALSE(IsKnownCodePage("NO-SUCH-PAGE"));
  EXPECT_EQ(Utf8ToCodePage("a\xC3\xA9", "NO-SUCH-PAGE"), "a?");
}

}  // namespace
}  // namespace kavo
