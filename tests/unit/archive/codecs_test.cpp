// Known answers and round trips for the two compression methods.
#include "archive/codecs.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/files.h"
#include "core/errors.h"

namespace kavo {
namespace {

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s.push_back(static_cast<char>(v));
  return s;
}

// A block: 16-bit LE length, then the bytes.
std::string Block(const std::string& body) {
  return Bytes({int(body.size() & 0xFF), int(body.size() >> 8)}) + body;
}

std::string ReadFixture(const std::string& name) {
  std::string out;
  EXPECT_TRUE(Files().ReadFile(std::string(KAVO_TEST_DATA) + "/" + name, out)) << name;
  return out;
}

void ExpectError(const std::function<void()>& f, const char* text) {
  try {
    f();
    ADD_FAILURE() << "no error, expected: " << text;
  } catch (const EKavoError& e) {
    EXPECT_EQ(e.Message(), text);
    EXPECT_EQ(e.Number(), 0);
  }
}

TEST(BlockMethod, HandWrittenItems) {
  struct Case {
    const char* what;
    std::string data;
    std::string expected;
  };
  const std::vector<Case> cases = {
      // flag, control 0x0000: three literals.
      {"literals", Block(Bytes({0x00, 0x00, 0x00, 'a', 'b', 'c'})), "abc"},
      // "ab", then a copy of distance 2, length 0 + 3 = 3 bytes overlapping: "aba".
      {"copy with overlap", Block(Bytes({0x00, 0x20, 0x00, 'a', 'b', 0x00, 0x20})), "ababa"},
      // distance 1, length 15 + 3 = 18 repeats the one byte.
      {"copy distance 1", Block(Bytes({0x00, 0x40, 0x00, 'x', 0x00, 0x1F})), std::string(19, 'x')},
      // run: b0 = 0, b1 = 0x01, b2 = 0x02, b3 = 'z': (1 * 256 + 2 + 16) = 274 bytes.
      {"run", Block(Bytes({0x00, 0x80, 0x00, 0x00, 0x01, 0x02, 'z'})), std::string(274, 'z')},
      // run then literal: control bits 1, 0.
      {"run then literal", Block(Bytes({0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 'q', '!'})),
       std::string(16, 'q') + "!"},
      {"stored", Block(Bytes({0x80, 'h', 'i'})), "hi"},
      {"stored of length 1", Block(Bytes({0x80})), ""},
      {"length 0", Block(""), ""},
      {"length 1 coded", Block(Bytes({0x00})), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeBlockMethod(c.data, c.expected.size()), c.expected) << c.what;
  }
}

TEST(BlockMethod, SeventeenItemsReadASecondControlWord) {
  // 16 literals, then a new control word 0x8000 and a copy of distance 16, length 3.
  std::string body = Bytes({0x00, 0x00, 0x00}) + "0123456789abcdef" + Bytes({0x80, 0x00, 0x01, 0x00});
  EXPECT_EQ(DecodeBlockMethod(Block(body), 19), "0123456789abcdef012");
}

TEST(BlockMethod, FullBlockEndsWithAnEmptyBlock) {
  std::string full(32768, 'k');
  for (size_t i = 0; i < full.size(); i += 7) full[i] = static_cast<char>(i);
  const std::string stored = Block(std::string(1, '\x80') + full);
  EXPECT_EQ(DecodeBlockMethod(stored + Block(""), 32768), full);
  EXPECT_EQ(DecodeBlockMethod(stored + Block(Bytes({0x80, 'e'})), 32769), full + "e");
  // Without the closing block the stream is cut short.
  ExpectError([&] { DecodeBlockMethod(stored, 32768); }, kLzrwReadError);
  // Our encoder writes the closing empty block too.
  const std::string enc = EncodeBlockMethod(full);
  EXPECT_EQ(enc.substr(enc.size() - 2), std::string(2, '\0'));
  EXPECT_EQ(DecodeBlockMethod(enc, full.size()), full);
}

TEST(BlockMethod, CorruptStreams) {
  struct Case {
    const char* what;
    std::string data;
    size_t size;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"distance before the output start", Block(Bytes({0x00, 0x80, 0x00, 0x00, 0x20})), 3, kLzrwBlockSizeError},
      {"copy item cut by the block end", Block(Bytes({0x00, 0x80, 0x00, 0x00})), 3, kLzrwBlockSizeError},
      {"run item cut by the block end", Block(Bytes({0x00, 0x80, 0x00, 0x00, 0x00, 0x00})), 16,
       kLzrwBlockSizeError},
      {"control word without an item", Block(Bytes({0x00, 0x00, 0x00}) + std::string(16, 'a') + Bytes({0, 0})),
       16, kLzrwBlockSizeError},
      {"block over 32768 bytes",
       Block(Bytes({0x00, 0xFF, 0x00, 0x00, 0x0F, 0xFF, 'a', 0x00, 0x0F, 0xFF, 'a', 0x00, 0x0F, 0xFF, 'a', 0x00,
                    0x0F, 0xFF, 'a', 0x00, 0x0F, 0xFF, 'a', 0x00, 0x0F, 0xFF, 'a', 0x00, 0x0F, 0xFF, 'a', 0x00,
                    0x0F, 0xFF, 'a'})),
       32768, kLzrwBlockSizeError},
      {"block length past the data", Bytes({0x10, 0x00, 0x80, 'a'}), 1, kLzrwReadError},
      {"no block at all", "", 0, kLzrwReadError},
      {"fewer bytes than declared", Block(Bytes({0x80, 'a'})), 2, kLzrwBlockSizeError},
      {"more bytes than declared", Block(Bytes({0x80, 'a', 'b'})), 1, kLzrwBlockSizeError},
      {"huge declared size", Block(""), size_t(1) << 30, kLzrwBlockSizeError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectError([&] { DecodeBlockMethod(c.data, c.size); }, c.error);
  }
}

std::string MixedData(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  const char* words[] = {"actor", "room", " = ", "TMesh.Create(", "\r\n", "    ", "Walk", "0.5", "--", "end"};
  while (s.size() < n) {
    switch (rng() % 4) {
      case 0: s += words[rng() % 10]; break;
      case 1: s.append(rng() % 300, static_cast<char>(rng())); break;
      case 2: s.push_back(static_cast<char>(rng())); break;
      default: s += words[rng() % 10]; s += words[rng() % 10]; break;
    }
  }
  s.resize(n);
  return s;
}

TEST(BlockMethod, RoundTrips) {
  std::mt19937 rng(7);
  std::string noise(100000, '\0');
  for (char& c : noise) c = static_cast<char>(rng());
  for (const std::string& s : {std::string(), std::string("a"), std::string(32768 * 2, ' '), MixedData(200000, 1),
                               noise, std::string(5000, '\0') + "tail"}) {
    EXPECT_EQ(DecodeBlockMethod(EncodeBlockMethod(s), s.size()), s) << s.size();
  }
  EXPECT_LT(EncodeBlockMethod(MixedData(200000, 2)).size(), 150000u);
}

TEST(Lzhuf, DecodesIndependentFixtures) {
  for (const char* name : {"small.txt", "spaces.txt", "text.txt", "bin.bin"}) {
    const std::string plain = ReadFixture(std::string("lzhuf/") + name);
    const std::string coded = ReadFixture(std::string("lzhuf/") + name + ".lzh");
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(DecodeLzhuf(coded, plain.size()), plain) << name;
  }
}

TEST(Lzhuf, RoundTrips) {
  for (const std::string& s : {std::string(), std::string("x"), std::string(3000, ' ') + "after the spaces",
                               MixedData(300000, 3), std::string(70000, '\0'), ReadFixture("lzhuf/bin.bin")}) {
    EXPECT_EQ(DecodeLzhuf(EncodeLzhuf(s), s.size()), s) << s.size();
  }
  EXPECT_TRUE(EncodeLzhuf("").empty());
  // Leading spaces match into the pre-filled ring buffer: almost nothing is sent.
  EXPECT_LT(EncodeLzhuf(std::string(600, ' ')).size(), 32u);
}

TEST(Lzhuf, CutShortOrOversizedStreamsFail) {
  const std::string text = ReadFixture("lzhuf/text.txt");
  const std::string coded = ReadFixture("lzhuf/text.txt.lzh");
  ExpectError([&] { DecodeLzhuf(coded.substr(0, coded.size() / 2), text.size()); }, kLzrwHuffmanSizeError);
  ExpectError([&] { DecodeLzhuf("", 1000); }, kLzrwHuffmanSizeError);
  ExpectError([&] { DecodeLzhuf(coded, size_t(300) << 20); }, kLzrwHuffmanSizeError);
}

}  // namespace
}  // namespace kavo
