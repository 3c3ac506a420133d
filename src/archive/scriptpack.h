// Scripts stored in archives are line-enciphered, and the engine splits the
// stored text at CR and LF bytes before deciphering each line. A line whose
// enciphered form holds a CR or LF byte would be cut in two, so it cannot be
// stored as it is. Leading blanks change the whole cipher stream of a line
// and mean nothing to Lua outside long strings and long comments, so such a
// line is stored with added indentation instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavo {

// Where a line of Lua starts: in code, inside a long bracket ([[ ]], [==[ ]==],
// --[[ ]]) or inside a short string continued with a backslash.
struct TLuaLineState {
  enum Kind { Code, LongBracket, ShortString } kind = Code;
  int level = 0;      // number of "=" of the long bracket
  bool comment = false;
  char quote = 0;     // of a continued short string
};

// Advances the state over one line (without its line break).
void ScanLuaLine(std::string_view line, TLuaLineState& state);

// Splits text at CR, LF or CR LF the way the engine does (a final line break
// adds no empty line).
std::vector<std::string_view> SplitScriptLines(std::string_view text);

// Enciphers a script for an archive: every line on its own, each followed by
// CR LF. Lines whose enciphered form would hold a CR or LF get leading
// blanks. Raises EKavoError naming `fileName` and the line when a line can't
// be stored (it starts inside a long string or comment, or no indentation
// helps). `reindented` counts the lines that got blanks.
std::string EncipherScriptForArchive(std::string_view text, const std::string& fileName,
                                     size_t* reindented = nullptr);

// Checks stored enciphered text: every line must decipher to text without
// line breaks or stray control bytes and, with `utf8`, to valid UTF-8 (a
// line cut at a break deciphers its tail from the key's start again, which
// gives such garbage). Returns the problems found, one text each.
std::vector<std::string> CheckEncipheredScript(std::string_view stored, const std::string& fileName,
                                               bool utf8 = true);

}  // namespace kavo
