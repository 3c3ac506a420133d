// Scanning helpers of the text model formats (OBJ, MTL, SMD, animation
// lists): blanks, trimming, tokens and numbers, all on string views that
// never read past their range.
#pragma once

#include <charconv>
#include <string_view>

namespace kavo::scene::detail {

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

inline std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Splits off the next blank-separated token of `s`.
inline std::string_view NextToken(std::string_view& s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  size_t n = 0;
  while (n < s.size() && !IsBlank(s[n])) ++n;
  std::string_view tok = s.substr(0, n);
  s.remove_prefix(n);
  return tok;
}

// A whole token as a number ("+" allowed in front); infinities and NaN as
// from_chars reads them.
inline bool ParseFloat(std::string_view tok, float& out) {
  if (tok.empty()) return false;
  if (tok.front() == '+') tok.remove_prefix(1);
  auto res = std::from_chars(tok.data(), tok.data() + tok.size(), out);
  return res.ec == std::errc() && res.ptr == tok.data() + tok.size();
}

}  // namespace kavo::scene::detail
