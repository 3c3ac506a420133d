// Small string and path helpers every layer uses: separators, ASCII case,
// case-insensitive comparison and line splitting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavo {

// Helpers on engine path strings.
std::string ToSlashes(std::string_view name);      // "\" -> "/"
std::string ToBackslashes(std::string_view name);  // "/" -> "\"
std::string LowerAscii(std::string_view s);
std::string UpperAscii(std::string_view s);
bool SameTextIgnoringCase(std::string_view a, std::string_view b);
// The extension of a file name's last component, lower-case and without its
// dot ("" when there is none): "Actors/Hero.AAF" gives "aaf".
std::string LowerExtension(std::string_view fileName);
// Splits text into lines at CR, LF or CR LF; a break at the very end adds
// no empty line. The views point into `text`.
std::vector<std::string_view> SplitLines(std::string_view text);

// A text as a message shows it: whole when short, else its first `max`
// bytes and how many more there were (a script can pass any length).
std::string Shortened(std::string_view text, size_t max = 256);

// A Lua string literal that reads back as exactly these bytes, in double
// quotes, by Lua 5.1's escapes: quote and backslash escaped, LF and CR as
// \n and \r, every other control byte (NUL and DEL among them) as a
// three-digit decimal escape. Bytes from 128 up stay as they are. The
// literal holds no line break, so a save line stays one line.
std::string LuaQuote(std::string_view bytes);

}  // namespace kavo
