// The 8-bit code page texts are shown in (Windows-1252 unless a game picks
// another). Scripts write UTF-8; HUD texts, speech lines and the speech
// font work on one byte a character. Conversion goes through glibc's iconv
// (never "//TRANSLIT", whose output depends on the locale):
//   * valid UTF-8: each character becomes its byte in the page, "?" when the
//     page lacks it (an emoji, "ł" in Western pages);
//   * text that is not valid UTF-8 is kept byte for byte, so a text read back
//     from the engine (already 8-bit) and written again does not change.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kavo {

inline constexpr const char* kDefaultCodePage = "CP1252";

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates
// or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// UTF-8 to the page as described above. An unknown page name converts
// nothing: ASCII stays, every other character becomes "?".
std::string Utf8ToCodePage(std::string_view utf8, const std::string& codePage = kDefaultCodePage);

// The page's bytes to UTF-8; a byte the page leaves undefined becomes "?".
std::string CodePageToUtf8(std::string_view bytes, const std::string& codePage = kDefaultCodePage);

// The Unicode code point of one byte of the page (0 when undefined).
uint32_t CodePageCharToUnicode(uint8_t code, const std::string& codePage = kDefaultCodePage);

// Whether iconv knows the page.
bool IsKnownCodePage(const std::string& codePage);

}  // namespace kavo
