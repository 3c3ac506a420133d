#include "archive/scriptpack.h"

#include "platform/files.h"
#include "archive/cipher.h"
#include "core/errors.h"

namespace kavo {

namespace {

// Length of a long-bracket opener "[" "="* "[" at `i`, or 0.
size_t LongOpen(std::string_view s, size_t i, int& level) {
  if (i >= s.size() || s[i] != '[') return 0;
  size_t j = i + 1;
  while (j < s.size() && s[j] == '=') ++j;
  if (j < s.size() && s[j] == '[') {
    level = static_cast<int>(j - i - 1);
    return j - i + 1;
  }
  return 0;
}

// Scans a short string body from `i`; returns the index after the closing
// quote, or npos when the line ends first (state tells whether it goes on).
size_t ScanShort(std::string_view s, size_t i, char quote, TLuaLineState& state) {
  while (i < s.size()) {
    const char c = s[i];
    if (c == '\\') {
      if (i + 1 == s.size()) {  // escaped line break: the string goes on
        state.kind = TLuaLineState::ShortString;
        state.quote = quote;
        return std::string_view::npos;
      }
      i += 2;
      continue;
    }
    if (c == quote) return i + 1;
    ++i;
  }
  state.kind = TLuaLineState::Code;  // unfinished string: Lua rejects it anyway
  return std::string_view::npos;
}

bool HasBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

void ScanLuaLine(std::string_view s, TLuaLineState& state) {
  size_t i = 0;
  while (i <= s.size()) {
    if (state.kind == TLuaLineState::LongBracket) {
      const std::string close = "]" + std::string(state.level, '=') + "]";
      const size_t at = s.find(close, i);
      if (at == std::string_view::npos) return;
      state = TLuaLineState{};
      i = at + close.size();
      continue;
    }
    if (state.kind == TLuaLineState::ShortString) {
      const char q = state.quote;
      state = TLuaLineState{};
      i = ScanShort(s, i, q, state);
      if (i == std::string_view::npos) return;
      continue;
    }
    if (i >= s.size()) return;
    const char c = s[i];
    int level = 0;
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      if (size_t n = LongOpen(s, i + 2, level)) {
        state.kind = TLuaLineState::LongBracket;
        state.level = level;
        state.comment = true;
        i += 2 + n;
        continue;
      }
      return;  // comment to the end of the line
    }
    if (size_t n = LongOpen(s, i, level)) {
      state.kind = TLuaLineState::LongBracket;
      state.level = level;
      state.comment = false;
      i += n;
      continue;
    }
    if (c == '"' || c == '\'') {
      i = ScanShort(s, i + 1, c, state);
      if (i == std::string_view::npos) return;
      continue;
    }
    ++i;
  }
}

std::vector<std::string_view> SplitScriptLines(std::string_view text) { return SplitLines(text); }

std::string EncipherScriptForArchive(std::string_view text, const std::string& fileName, size_t* reindented) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  TLuaLineState state;
  size_t lineNo = 0;
  size_t fixed = 0;
  for (std::string_view line : SplitScriptLines(text)) {
    ++lineNo;
    const TLuaLineState atStart = state;
    ScanLuaLine(line, state);
    std::string enc = EncipherLine(line);
    if (HasBreak(enc)) {
      if (atStart.kind != TLuaLineState::Code) {
        throw EKavoError(fileName + " line " + std::to_string(lineNo) +
                         ": this line enciphers to a line break and lies inside a " +
                         (atStart.kind == TLuaLineState::ShortString
                              ? std::string("string continued over lines")
                              : std::string(atStart.comment ? "long comment" : "long string")) +
                         ", where added indentation would change it; reword the line");
      }
      bool found = false;
      // Try every prefix of 1 to 8 blanks and tabs, shortest first.
      for (int len = 1; len <= 8 && !found; ++len) {
        for (unsigned bits = 0; bits < (1u << len) && !found; ++bits) {
          std::string prefixed;
          for (int k = 0; k < len; ++k) prefixed.push_back((bits >> k) & 1u ? '\t' : ' ');
          prefixed.append(line);
          std::string e = EncipherLine(prefixed);
          if (!HasBreak(e)) {
            enc = std::move(e);
            found = true;
          }
        }
      }
      if (!found) {
        throw EKavoError(fileName + " line " + std::to_string(lineNo) +
                         ": this line enciphers to a line break with every indentation tried; reword the line");
      }
      ++fixed;
    }
    out += enc;
    out += "\r\n";
  }
  if (reindented) *reindented = fixed;
  return out;
}

namespace {
bool ValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
    if (n == 9 || (n && c < 0xC2) || i + n >= s.size()) return false;
    for (size_t k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n + 1;
  }
  return true;
}
}  // namespace

std::vector<std::string> CheckEncipheredScript(std::string_view stored, const std::string& fileName, bool utf8) {
  std::vector<std::string> problems;
  size_t lineNo = 0;
  for (std::string_view line : SplitScriptLines(stored)) {
    ++lineNo;
    const std::string plain = DecipherLine(line);
    bool bad = false;
    for (unsigned char c : plain) {
      if ((c < 0x20 && c != '\t' && c != '\f' && c != '\v') || c == 0x7F) bad = true;
    }
    if (bad || (utf8 && !ValidUtf8(plain))) {
      problems.push_back(fileName + " line " + std::to_string(lineNo) + ": deciphers to " +
                         (bad ? "control bytes" : "bytes that are not UTF-8") +
                         "; the line was probably cut at a line break in its cipher");
    }
  }
  return problems;
}

}  // namespace kavo
