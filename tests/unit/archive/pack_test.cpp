// Packing folders, extracting and verifying archives as the archive tool does.
#include "archive/pack.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/files.h"
#include "scene/fileaccess.h"
#include "archive/cipher.h"
#include "script/filemanager.h"
#include "core/errors.h"

namespace kavo {
namespace {

namespace fs = std::filesystem;

// A Lua line whose cipher holds a line break.
std::string TrapLine() {
  for (int i = 0;; ++i) {
    std::string line = "local n = " + std::to_string(i);
    if (EncipherLine(line).find_first_of("\r\n") != std::string::npos) return line;
  }
}

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kavo-pack-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    saved_ = Files().CurrentDir();
    Put("game/rooms/hall/hall.lua", "function onHallLoad()\n" + TrapLine() + "\nend\n");
    Put("game/rooms/hall/hall.3ds", std::string(70000, 'm') + "model");
    Put("game/rooms/readme.TXT", "plain text\r\n");
    Put("game/top.png", "png");
  }
  void TearDown() override {
    scene::ResetFileAccess();
    Files().SetCurrentDir(saved_);
    fs::remove_all(root_);
  }
  void Put(const std::string& rel, const std::string& content) {
    const fs::path p = fs::path(root_) / rel;
    fs::create_directories(p.parent_path());
    ASSERT_TRUE(Files().WriteFile(p.string(), content));
  }
  std::string root_, saved_;
};

TEST_F(PackTest, PackVerifyExtractForEveryMethod) {
  for (TKavoPackMethod m : {TKavoPackMethod::Stored, TKavoPackMethod::Block, TKavoPackMethod::Huffman}) {
    SCOPED_TRACE(int(m));
    TKavoPackOptions opt;
    opt.Method = m;
    const std::string archive = root_ + "/out.kvo";
    const TKavoPackSummary s = PackFolder(root_ + "/game", archive, opt);
    EXPECT_EQ(s.Entries, 4u);
    EXPECT_GE(s.IndentedLines, 1u);
    EXPECT_EQ(s.BytesOut, size_t(Files().FileSize(archive)));
    EXPECT_TRUE(VerifyArchive(archive, opt).empty());

    TKavoArchiveReader reader;
    reader.Open(archive);
    std::string data;
    ASSERT_TRUE(reader.GetEntry("rooms\\hall\\hall.3ds", data));
    EXPECT_EQ(data.size(), 70005u);
    ASSERT_TRUE(reader.GetEntry("rooms\\hall\\hall.lua", data));
    EXPECT_NE(data.find("\r\n"), std::string::npos);  // stored with CR LF line ends
    EXPECT_NE(DecipherScript(data).find(TrapLine() + "\r\n"), std::string::npos);

    const std::string out = root_ + "/x" + std::to_string(int(m));
    EXPECT_TRUE(ExtractArchive(archive, out, opt).empty());
    ASSERT_TRUE(Files().ReadFile(out + "/rooms/readme.TXT", data));
    EXPECT_EQ(data, "plain text\r\n");
    ASSERT_TRUE(Files().ReadFile(out + "/rooms/hall/hall.3ds", data));
    EXPECT_EQ(data.size(), 70005u);
  }
}

TEST_F(PackTest, StoredSeparatorDecidesWhichLookupFindsAnEntry) {
  const std::string data = root_ + "/data/";
  fs::create_directories(data);
  for (bool slash : {false, true}) {
    SCOPED_TRACE(slash);
    TKavoPackOptions opt;
    opt.Slash = slash;
    const std::string name = slash ? "slash.kvo" : "back.kvo";
    PackFolder(root_ + "/game", data + name, opt);
    const std::string folder = name.substr(0, name.size() - 4);
    TKavoArchiveReader reader;
    InstallSceneFileAccess(reader);
    TKavoFileLocation loc;
    ResolveFileName(folder + "\\rooms\\hall\\hall.3ds", data, loc);
    ASSERT_EQ(loc.ArchiveName, name);
    std::string bytes;
    EXPECT_EQ(ReadFileLocation(loc, reader, bytes), !slash);  // the engine looks up with "\"
    EXPECT_EQ(scene::SceneFileExists("rooms\\hall\\hall.3ds"), slash);  // the scene layer with "/"
    EXPECT_EQ(scene::OpenSceneFile("rooms/hall/hall.3ds", bytes), slash);
    EXPECT_TRUE(scene::SceneFileExists("TOP.png"));  // the top level: both
  }
}

TEST_F(PackTest, RefusesAScriptItCannotStoreAndLeavesNoArchive) {
  Put("game/rooms/bad.lua", "text = [[\n" + TrapLine() + "\n]]\n");
  const std::string archive = root_ + "/bad.kvo";
  try {
    PackFolder(root_ + "/game", archive, TKavoPackOptions{});
    ADD_FAILURE() << "packed";
  } catch (const EKavoError& e) {
    EXPECT_NE(e.Message().find("rooms/bad.lua line 2"), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("long string"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(Files().FileExists(archive));
  // Not a script: stored as it is.
  TKavoPackOptions opt;
  opt.ScriptExtensions = {".txt"};
  EXPECT_EQ(PackFolder(root_ + "/game", archive, opt).IndentedLines, 0u);
}

TEST_F(PackTest, VerifyReportsCorruptEntriesAndScripts) {
  const std::string archive = root_ + "/v.kvo";
  TKavoPackOptions opt;
  PackFolder(root_ + "/game", archive, opt);
  // Stored without enciphering care: .png counted as a script now.
  opt.ScriptExtensions = {".lua", ".png", ".3ds"};
  std::string bytes;
  ASSERT_TRUE(Files().ReadFile(archive, bytes));
  // Damage the first entry's data (hall.3ds, right after the header).
  bytes[16 + 10] ^= 0x55;
  bytes[16 + 11] ^= 0x55;
  ASSERT_TRUE(Files().WriteFile(archive, bytes));
  const auto faults = VerifyArchive(archive, opt);
  EXPECT_GE(faults.size(), 2u);
  bool entryFault = false;
  for (const std::string& f : faults) entryFault |= f.rfind("rooms\\hall\\hall.3ds", 0) == 0;
  EXPECT_TRUE(entryFault);
}

}  // namespace
}  // namespace kavo

namespace kavo {
namespace {

TEST(Extract, OverlappingEntriesAreRefusedAndNothingIsWritten) {
  char tmpl[] = "/tmp/kavo-extract-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string root = tmpl;
  // Eight entries: the last seven point at the first one's bytes, as a
  // crafted archive that would unpack one run many times does.
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 8; ++i) files.emplace_back("e" + std::to_string(i), std::string(1000, 'z'));
  std::string bytes = BuildKavoArchive(TKavoPackMethod::Block, files);
  const auto* h = reinterpret_cast<const unsigned char*>(bytes.data());
  const uint32_t dir = h[4] | (h[5] << 8) | (h[6] << 16) | (uint32_t(h[7]) << 24);
  for (int i = 1; i < 8; ++i) std::memcpy(&bytes[dir + i * 128 + 120], &bytes[dir + 120], 8);
  ASSERT_TRUE(Files().WriteFile(root + "/crafted.kvo", bytes));
  const auto problems = ExtractArchive(root + "/crafted.kvo", root + "/out", TKavoPackOptions{});
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "e0 and e1 overlap: the archive is refused");
  EXPECT_FALSE(fs::exists(root + "/out/e0"));
  fs::remove_all(root);
}

}  // namespace
}  // namespace kavo
