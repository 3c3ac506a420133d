#include "core/strings.h"

#include <algorithm>

namespace kavo {

std::string ToSlashes(std::string_view name) {
  std::string s(name);
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

std::string ToBackslashes(std::string_view name) {
  std::string s(name);
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

std::string LowerAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

std::string UpperAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    size_t j = i;
    while (j < n && text[j] != '\r' && text[j] != '\n') ++j;
    lines.push_back(text.substr(i, j - i));
    if (j < n && text[j] == '\r' && j + 1 < n && text[j + 1] == '\n') j += 2;
    else if (j < n) j += 1;
    i = j;
  }
  return lines;
}

std::string Shortened(std::string_view text, size_t max) {
  if (text.size() <= max) return std::string(text);
  return std::string(text.substr(0, max)) + "... (" + std::to_string(text.size() - max) + " more bytes)";
}

std::string LuaQuote(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 2);
  out += '"';
  for (char ch : bytes) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 32 || c == 127) {
          // Always three digits: a digit that follows cannot join the escape.
          out += '\\';
          out += static_cast<char>('0' + c / 100);
          out += static_cast<char>('0' + c / 10 % 10);
          out += static_cast<char>('0' + c % 10);
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

std::string LowerExtension(std::string_view fileName) {
  const size_t slash = fileName.find_last_of("/\\");
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return LowerAscii(fileName.substr(dot + 1));
}

}  // namespace kavo
