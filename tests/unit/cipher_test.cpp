#include "archive/cipher.h"

#include <gtest/gtest.h>

namespace kavo {

TEST(Cipher, LineRoundTripsAndKeepsLength) {
  for (std::string line : {std::string(""), std::string("Game = TGame.Create()"),
                           std::string("  x = 1 -- \xff\x01 bytes"), std::string(300, 'a')}) {
    std::string enc = EncipherLine(line);
    EXPECT_EQ(enc.size(), line.size());
    EXPECT_EQ(DecipherLine(enc), line);
  }
}

TEST(Cipher, KnownAnswerFromTheKey) {
  // First byte: state S = 42945 = 0xA7C1, so the first byte is XORed with 0xA7.
  std::string enc = EncipherLine("A");
  ASSERT_EQ(enc.size(), 1u);
  EXPECT_EQ(static_cast<unsigned char>(enc[0]), 'A' ^ 0xA7);
  // Second byte uses s = (((0x41 + 0xA7C1) mod 256) * 23851 + 7997) mod 65536.
  unsigned s = ((((0x41 + 0xA7C1) & 0xFF) * 23851u) + 7997u) & 0xFFFF;
  enc = EncipherLine("AB");
  EXPECT_EQ(static_cast<unsigned char>(enc[1]), 'B' ^ ((s >> 8) & 0xFF));
}

TEST(Cipher, ScriptSplitsAtEveryLineBreakAndRestartsTheKey) {
  std::string a = EncipherLine("x = 1"), b = EncipherLine("y = 2");
  EXPECT_EQ(DecipherScript(a + "\r\n" + b + "\n"), "x = 1\r\ny = 2\r\n");
  EXPECT_EQ(DecipherScript(a + "\r\r" + b), "x = 1\r\n\r\ny = 2\r\n");
  EXPECT_EQ(DecipherScript(""), "");
}

}  // namespace kavo
