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
// Splits text into lines at CR, LF or CR LF; a break at the very end adds
// no empty line. The views point into `text`.
std::vector<std::string_view> SplitLines(std::string_view text);

}  // namespace kavo
