// Enciphering scripts for archives around the line-break trap.
#include "archive/scriptpack.h"

#include <gtest/gtest.h>

#include "archive/cipher.h"
#include "core/errors.h"

namespace kavo {
namespace {

bool EnciphersToABreak(const std::string& line) {
  return EncipherLine(line).find_first_of("\r\n") != std::string::npos;
}

// The first line of the form prefix + number + suffix whose cipher holds a break.
std::string TrapLine(const std::string& prefix, const std::string& suffix) {
  for (int i = 0; i < 100000; ++i) {
    std::string line = prefix + std::to_string(i) + suffix;
    if (EnciphersToABreak(line)) return line;
  }
  ADD_FAILURE() << "no trap line found";
  return "";
}

std::string Trimmed(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  return std::string(s.substr(i));
}

TEST(ScriptPack, LuaLineStates) {
  struct Case {
    std::vector<std::string> lines;
    TLuaLineState::Kind end;
    bool comment;
  };
  const std::vector<Case> cases = {
      {{"x = 1 -- [[ not long"}, TLuaLineState::Code, false},
      {{"x = [[ open"}, TLuaLineState::LongBracket, false},
      {{"x = [==[ a ]] still", "]=] still"}, TLuaLineState::LongBracket, false},
      {{"x = [==[ a", "b ]==] y = 2"}, TLuaLineState::Code, false},
      {{"--[[ comment", "more"}, TLuaLineState::LongBracket, true},
      {{"--[=[ c ]=] x = '[[' .. \"]]\""}, TLuaLineState::Code, false},
      {{"s = \"a \\\" [[ b\""}, TLuaLineState::Code, false},
      {{"s = 'go on\\"}, TLuaLineState::ShortString, false},
      {{"s = 'go on\\", "done' t = [["}, TLuaLineState::LongBracket, false},
      {{"t = a[b[1]]"}, TLuaLineState::Code, false},
  };
  for (const Case& c : cases) {
    TLuaLineState st;
    for (const std::string& l : c.lines) ScanLuaLine(l, st);
    EXPECT_EQ(st.kind, c.end) << c.lines[0];
    if (st.kind == TLuaLineState::LongBracket) {
      EXPECT_EQ(st.comment, c.comment) << c.lines[0];
    }
  }
}

TEST(ScriptPack, TrapLinesGetIndentedAndDecipherBack) {
  const std::string trap = TrapLine("local value = ", " -- a plain line");
  const std::string text = "Game = TGame.Create()\n" + trap + "\nprint('[[')\n";
  size_t fixed = 0;
  const std::string stored = EncipherScriptForArchive(text, "config.lua", &fixed);
  EXPECT_EQ(fixed, 1u);
  EXPECT_TRUE(CheckEncipheredScript(stored, "config.lua").empty());
  const std::string plain = DecipherScript(stored);
  const auto lines = SplitScriptLines(plain);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Game = TGame.Create()");
  EXPECT_NE(lines[1], trap);
  EXPECT_EQ(Trimmed(lines[1]), trap);
  EXPECT_EQ(lines[2], "print('[[')");
}

TEST(ScriptPack, RefusesTrapLinesInsideLongStrings) {
  const std::string trap = TrapLine("text line ", " of a long string");
  for (const std::string& open : {std::string("s = [["), std::string("--[==["), std::string("s = 'a\\")}) {
    const std::string text = "x = 1\n" + open + "\n" + trap + "\n]]\n";
    try {
      EncipherScriptForArchive(text, "rooms\\hall.lua");
      ADD_FAILURE() << open;
    } catch (const EKavoError& e) {
      EXPECT_NE(e.Message().find("rooms\\hall.lua line 3"), std::string::npos) << e.Message();
    }
  }
  // Once the long string is closed, indentation is allowed again.
  EXPECT_NO_THROW(EncipherScriptForArchive("s = [[\nx\n]]\n" + TrapLine("y = ", ""), "a.lua"));
}

TEST(ScriptPack, CheckFindsLinesCutAtABreak) {
  // Stored without care, a trap line is cut in two and its tail deciphers
  // from the key's start again: garbage, which nearly always holds control
  // bytes.
  int flagged = 0, traps = 0;
  for (int i = 0; traps < 20; ++i) {
    const std::string line = "local value = " + std::to_string(i) + " + offset";
    if (!EnciphersToABreak(line)) continue;
    ++traps;
    if (!CheckEncipheredScript(EncipherLine(line) + "\r\n", "bad.lua").empty()) ++flagged;
  }
  EXPECT_GE(flagged, 15);
  EXPECT_EQ(CheckEncipheredScript(EncipherLine("a\x01b"), "bad.lua").size(), 1u);
  EXPECT_TRUE(CheckEncipheredScript(EncipherLine("\tok = 'caf\xc3\xa9'"), "good.lua").empty());
}

}  // namespace
}  // namespace kavo
