// Scripted input files (--input) and the recorder's key names: a recording
// replays the keys it recorded, and every number in a file is read whole.
#include <gtest/gtest.h>

#include <string>

#include "shell/scriptedinput.h"

namespace kavo {
namespace {

TEST(ScriptedInput, EveryKeyTheRecorderNamesReadsBackAsThatKey) {
  // Codes 5 to 7 have no name; written as a single figure they read back
  // as the digit keys '5' to '7'.
  for (int vk = 1; vk < 256; ++vk) EXPECT_EQ(KeyFromName(KeyName(vk)), vk) << "code " << vk << ": " << KeyName(vk);
}

TEST(ScriptedInput, NumbersAreReadWhole) {
  // A NUL byte ends the C string strtol sees, not the word of the file.
  const std::string nul(1, '\0');
  struct Case {
    std::string text;
    const char* why;
  } cases[] = {
      {"80 keyup 5" + nul + "1\n", "line 1: unknown key"},
      {"0 move 0 0\n10 move 1" + nul + "7 2\n", "line 2: move needs X Y"},
      {"10" + nul + "9 move 1 2\n", "line 1: the time must be milliseconds"},
  };
  for (const Case& c : cases) {
    TScriptedInput input;
    std::string error;
    EXPECT_FALSE(input.Parse(c.text, error)) << c.why;
    EXPECT_EQ(error.rfind(c.why, 0), 0u) << error;
  }
}

}  // namespace
}  // namespace kavo
