// The archive reader and writer: layouts, reuse of open archives, and the
// errors corrupt archives give.
#include "archive/archive.h"
#include "support/game_fixture.h"
#include "support/pictures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "archive/codecs.h"
#include "platform/files.h"
#include "core/errors.h"

namespace kavo {
namespace {

namespace fs = std::filesystem;

void PutI32(std::string& s, size_t at, int32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((uint32_t(v) >> (8 * i)) & 0xFF);
}

// A hand-made archive: header, then the given directory records.
std::string Archive(const std::string& sig, int32_t dirOffset, int32_t dirLength, const std::string& rest = "") {
  std::string s = sig + std::string(12, '\0') + rest;
  PutI32(s, 4, dirOffset);
  PutI32(s, 8, dirLength);
  return s;
}

std::string Record(const std::string& name, int32_t offset, int32_t length) {
  std::string r(128, '\0');
  r.replace(0, name.size(), name);
  PutI32(r, 120, offset);
  PutI32(r, 124, length);
  return r;
}

std::string OpenError(const std::string& name, const std::string& bytes) {
  TKavoArchiveReader reader;
  try {
    reader.OpenBytes(name, bytes);
  } catch (const EKavoError& e) {
    EXPECT_EQ(e.Number(), 0);
    return e.Message();
  }
  return "";
}

std::string EntryError(const std::string& bytes, const std::string& entry) {
  TKavoArchiveReader reader;
  reader.OpenBytes("t.kvo", bytes);
  std::string out;
  try {
    reader.GetEntry(entry, out);
  } catch (const EKavoError& e) {
    EXPECT_EQ(e.Number(), 0);
    return e.Message();
  }
  return "";
}

TEST(ArchiveReader, ReadsWhatTheWriterWrites) {
  std::string big(100000, 'q');
  for (size_t i = 0; i < big.size(); i += 13) big[i] = static_cast<char>(i * 7);
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"config.lua", "Game = TGame.Create()\r\n"}, {"Rooms\\Hall.3DS", big}, {"empty.txt", ""}};
  for (TKavoPackMethod m : {TKavoPackMethod::Stored, TKavoPackMethod::Block, TKavoPackMethod::Huffman}) {
    SCOPED_TRACE(int(m));
    const std::string bytes = BuildKavoArchive(m, entries);
    EXPECT_EQ(bytes.substr(0, 4), m == TKavoPackMethod::Stored ? "KAVO" : "KAVZ");
    TKavoArchiveReader reader;
    reader.OpenBytes("a.kvo", bytes);
    ASSERT_EQ(reader.CurrentEntries().size(), 3u);
    for (const auto& [name, data] : entries) {
      std::string out = "junk";
      ASSERT_TRUE(reader.GetEntry(LowerAscii(name), out)) << name;
      EXPECT_EQ(out, data);
    }
    std::string out;
    EXPECT_FALSE(reader.GetEntry("Rooms/Hall.3DS", out));  // separators are compared as stored
    EXPECT_FALSE(reader.GetEntry("none", out));
  }
}

TEST(ArchiveReader, DirectoryQuirks) {
  // A 200-byte directory holds one entry; a 120-byte name has no zero byte.
  const std::string name(120, 'n');
  std::string bytes = Archive("KAVO", 19, 200, "abc" + Record(name, 16, 3) + std::string(72, '\x7f'));
  TKavoArchiveReader reader;
  reader.OpenBytes("q.kvo", bytes);
  ASSERT_EQ(reader.CurrentEntries().size(), 1u);
  EXPECT_EQ(reader.CurrentEntries()[0].Name, name);
  std::string out;
  ASSERT_TRUE(reader.GetEntry(name, out));
  EXPECT_EQ(out, "abc");
  // No entries at all.
  reader.OpenBytes("none.kvo", Archive("KAVZ", 16, 0));
  EXPECT_TRUE(reader.CurrentEntries().empty());
  EXPECT_TRUE(reader.CurrentIsCompressed());
}

TEST(ArchiveReader, BadArchivesTable) {
  const std::string notPak = "x.kvo - This is not PAK file";
  struct Case {
    const char* what;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"signature PACK", Archive("PACK", 16, 0)},
      {"empty file", ""},
      {"short header", "KAVO\x10"},
      {"directory past the end", Archive("KAVO", 16, 128)},
      {"directory offset past the end", Archive("KAVO", 1 << 30, 128, Record("a", 0, 0))},
      {"negative directory offset", Archive("KAVO", -128, 128, Record("a", 0, 0))},
      {"negative directory length", Archive("KAVZ", 16, -1, Record("a", 0, 0))},
  };
  for (const Case& c : cases) EXPECT_EQ(OpenError("x.kvo", c.bytes), notPak) << c.what;
}

TEST(ArchiveReader, CorruptEntriesTable) {
  const std::string goodBlock = EncodeCompressedEntry(std::string(40000, 'b') + "tail", TKavoPackMethod::Block);
  const std::string goodHuff = EncodeCompressedEntry(std::string(5000, 'h') + "tail", TKavoPackMethod::Huffman);
  // One compressed entry at offset 16, directory after it.
  auto kavz = [](const std::string& stored, int32_t offset = 16, int32_t length = -2) {
    if (length == -2) length = static_cast<int32_t>(stored.size());
    return Archive("KAVZ", static_cast<int32_t>(16 + stored.size()), 128, stored + Record("e", offset, length));
  };
  auto withSize = [](std::string stored, int32_t size) {
    PutI32(stored, 4, size);
    return stored;
  };
  struct Case {
    const char* what;
    std::string bytes;
    const char* error;
  };
  const std::vector<Case> cases = {
      {"entry past the end", kavz(goodBlock, 16, 1 << 30), kLzrwReadError},
      {"negative entry offset", kavz(goodBlock, -5), kLzrwReadError},
      {"negative entry length", kavz(goodBlock, 16, -1), kLzrwReadError},
      {"no room for the tag", kavz("WRZ"), kLzrwReadError},
      {"unknown tag", kavz(std::string("ABCD\0\0\0\0", 8)), kLzrwHeaderError},
      {"truncated block data", kavz(goodBlock.substr(0, goodBlock.size() - 10)), kLzrwReadError},
      {"block size too small", kavz(withSize(goodBlock, 40003)), kLzrwBlockSizeError},
      {"block size too large", kavz(withSize(goodBlock, 40005)), kLzrwBlockSizeError},
      {"block size negative", kavz(withSize(goodBlock, -1)), kLzrwBlockSizeError},
      {"block size absurd", kavz(withSize(goodBlock, 0x7FFFFFFF)), kLzrwBlockSizeError},
      {"huffman data cut short", kavz(goodHuff.substr(0, 12)), kLzrwHuffmanSizeError},
      {"huffman size negative", kavz(withSize(goodHuff, -7)), kLzrwHuffmanSizeError},
      {"huffman size absurd", kavz(withSize(goodHuff, 0x7FFFFFFF)), kLzrwHuffmanSizeError},
  };
  for (const Case& c : cases) EXPECT_EQ(EntryError(c.bytes, "e"), c.error) << c.what;
  // A stored archive's entry past the end.
  EXPECT_EQ(EntryError(Archive("KAVO", 16, 128, Record("e", 10, 200)), "e"), kLzrwReadError);
  // The good ones decode.
  EXPECT_EQ(EntryError(kavz(goodBlock), "e"), "");
  EXPECT_EQ(EntryError(kavz(goodHuff), "e"), "");
}

TEST(ArchiveReader, FilesAreOpenedOnceAndTheLatestIsCurrent) {
  test::TempDir temp;
  const std::string dir = temp.Path();
  test::CurrentDirGuard keepDir;
  ASSERT_TRUE(Files().SetCurrentDir(dir));
  ASSERT_TRUE(Files().WriteFile("a.kvo", BuildKavoArchive(TKavoPackMethod::Stored, {{"x", "from a"}})));
  ASSERT_TRUE(Files().WriteFile("b.kvo", BuildKavoArchive(TKavoPackMethod::Block, {{"x", "from b"}})));
  ASSERT_TRUE(Files().WriteFile("empty.kvo", ""));
  ASSERT_TRUE(Files().WriteFile("pack.kvo", "PACK and more bytes here"));

  TKavoArchiveReader reader;
  std::string out;
  reader.Open("a.kvo");
  reader.Open("b.kvo");
  ASSERT_TRUE(reader.GetEntry("x", out));
  EXPECT_EQ(out, "from b");
  reader.Open(dir + "a.kvo");  // the same file by another name: reused
  EXPECT_EQ(reader.ArchiveCount(), 2u);
  ASSERT_TRUE(reader.GetEntry("X", out));
  EXPECT_EQ(out, "from a");
  // The open handle keeps serving after the file is gone.
  fs::remove(dir + "a.kvo");
  ASSERT_TRUE(reader.GetEntry("x", out));
  EXPECT_EQ(out, "from a");

  for (const char* bad : {"empty.kvo", "pack.kvo"}) {
    try {
      reader.Open(bad);
      ADD_FAILURE() << bad;
    } catch (const EKavoError& e) {
      EXPECT_EQ(e.Message(), std::string(bad) + " - This is not PAK file");
    }
  }
  // A failed opening leaves the current archive as it was.
  ASSERT_TRUE(reader.GetEntry("x", out));
  EXPECT_EQ(out, "from a");
}

}  // namespace
}  // namespace kavo
