// Resolution of game file names on temporary data folders.
#include "script/filemanager.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "archive/archive.h"
#include "platform/files.h"
#include "scene/fileaccess.h"
#include "core/log.h"

namespace kavo {
namespace {

namespace fs = std::filesystem;

class FileManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kavo-fm-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    data_ = root_ + "/data/";
    fs::create_directories(data_);
    logPath_ = root_ + "/log.txt";
    Log().Start(logPath_);
    savedDir_ = Files().CurrentDir();
  }
  void TearDown() override {
    Log().Start("");
    scene::ResetFileAccess();
    Files().SetCurrentDir(savedDir_);
    fs::remove_all(root_);
  }
  void Put(const std::string& rel, const std::string& content = "x") {
    fs::path p = fs::path(data_) / rel;
    fs::create_directories(p.parent_path());
    ASSERT_TRUE(Files().WriteFile(p.string(), content));
  }
  TKavoFileLocation Resolve(const std::string& name) {
    Log().Start(logPath_);
    TKavoFileLocation loc;
    ResolveFileName(name, data_, loc);
    return loc;
  }
  std::string LogText() {
    std::string s;
    Files().ReadFile(logPath_, s);
    return s;
  }

  std::string root_, data_, logPath_, savedDir_;
};

std::string CaseLine(const std::string& asked, const std::string& found) {
  return "File Manager: Tried to load file [" + asked +
         "], but the case sensitive filename was not found, so loaded (" + found + ").\r\n";
}

TEST_F(FileManagerTest, DiskResolutionTable) {
  struct Case {
    std::string onDisk;  // the one file present (with "/")
    std::string asked;
    std::string resolved;  // "" = not found
    bool logged;
  };
  const std::vector<Case> cases = {
      {"Textures/Wall.PNG", "Textures\\Wall.PNG", "Textures\\Wall.PNG", false},  // exact
      {"Textures/Wall.PNG", "Textures/Wall.PNG", "Textures\\Wall.PNG", false},   // "/" like "\"
      {"Textures/wall.png", "Textures\\Wall.PNG", "Textures\\wall.png", false},  // variant 1, silent
      {"Textures/Wall.png", "Textures\\Wall.PNG", "Textures\\Wall.png", true},   // variant 2
      {"Textures/wall.PNG", "Textures\\wall.png", "Textures\\wall.PNG", true},   // variant 3
      {"textures/WALL.Png", "Textures\\Wall.PNG", "textures\\WALL.Png", true},   // every component
      {"Readme", "readme", "Readme", true},                                      // no extension
      {"a.b/c.txt", "a.b\\C.TXT", "a.b\\c.txt", false},                          // dot in the folder
      {"other.txt", "missing.txt", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked + " with " + c.onDisk);
    fs::remove_all(data_);
    fs::create_directories(data_);
    Put(c.onDisk);
    TKavoFileLocation loc = Resolve(c.asked);
    EXPECT_EQ(loc.ResolvedPath, c.resolved);
    EXPECT_EQ(loc.ArchiveName, "");
    EXPECT_EQ(loc.ArchiveFolder, "");
    const std::string p = ToBackslashes(c.asked);
    EXPECT_EQ(LogText(), c.logged ? CaseLine(p, c.resolved) : "");
    EXPECT_EQ(Files().CurrentDir(), data_);
  }
}

TEST_F(FileManagerTest, SeesFilesAddedAndRemovedBetweenResolutions) {
  Put("saves/one.sav");
  // Folders unchanged for an hour: their listings are kept between resolutions.
  const struct timespec old[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
  for (const std::string& d : {data_, data_ + "saves"}) ASSERT_EQ(utimensat(AT_FDCWD, d.c_str(), old, 0), 0);
  EXPECT_EQ(Resolve("saves\\one.sav").ResolvedPath, "saves\\one.sav");
  EXPECT_EQ(Resolve("saves\\two.sav").ResolvedPath, "");
  EXPECT_EQ(Resolve("saves\\one.sav").ResolvedPath, "saves\\one.sav");
  Put("saves/Two.sav");
  fs::remove(data_ + "saves/one.sav");
  EXPECT_EQ(Resolve("saves\\two.sav").ResolvedPath, "saves\\Two.sav");
  EXPECT_EQ(Resolve("saves\\one.sav").ResolvedPath, "");
}

TEST_F(FileManagerTest, MissingDataFolderLeavesTheLocationAlone) {
  TKavoFileLocation loc{"keep", "a.kvo", "f\\"};
  ResolveFileName("x.txt", root_ + "/nowhere/", loc);
  EXPECT_EQ(loc.ResolvedPath, "keep");
  EXPECT_EQ(loc.ArchiveName, "a.kvo");
}

TEST_F(FileManagerTest, ArchiveSearch) {
  const std::string rooms = BuildKavoArchive(TKavoPackMethod::Block, {{"hall\\hall.3ds", "outer"}});
  const std::string hall = BuildKavoArchive(TKavoPackMethod::Stored, {{"hall.3ds", "inner"}});
  Put("rooms.kvo", rooms);
  Put("rooms/hall.kvo", hall);
  Put("Sounds/Voices.KVO", BuildKavoArchive(TKavoPackMethod::Stored, {{"a.wav", "w"}}));
  Put("top.txt", "disk");
  Put("rooms/hall/disk.3ds", "disk wins");

  struct Case {
    std::string asked, resolved, archive, folder;
  };
  const std::vector<Case> cases = {
      {"rooms\\hall\\hall.3ds", "hall\\hall.3ds", "rooms.kvo", ""},  // the outer archive wins
      {"rooms/hall/hall.3ds", "hall\\hall.3ds", "rooms.kvo", ""},
      {"rooms\\hall\\disk.3ds", "rooms\\hall\\disk.3ds", "", ""},    // a disk file beats the archive
      {"sounds\\voices\\a.wav", "a.wav", "Voices.KVO", "Sounds\\"},  // archive names ignore case
      {"hall.3ds", "", "", ""},                                      // no folder part: never in an archive
      {"nothing\\at\\all.txt", "", "", ""},
      {"rooms.kvo", "rooms.kvo", "rooms.kvo", ""},                   // an archive itself
      {"ghost.kvo", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked);
    TKavoFileLocation loc = Resolve(c.asked);
    EXPECT_EQ(loc.ResolvedPath, c.resolved);
    EXPECT_EQ(loc.ArchiveName, c.archive);
    EXPECT_EQ(loc.ArchiveFolder, c.folder);
  }

  // Only the inner archive: the search goes one folder deeper.
  fs::remove(data_ + "rooms.kvo");
  TKavoFileLocation loc = Resolve("rooms\\hall\\hall.3ds");
  EXPECT_EQ(loc.ResolvedPath, "hall.3ds");
  EXPECT_EQ(loc.ArchiveName, "hall.kvo");
  EXPECT_EQ(loc.ArchiveFolder, "rooms\\");

  TKavoArchiveReader reader;
  std::string bytes;
  ASSERT_TRUE(ReadFileLocation(loc, reader, bytes));
  EXPECT_EQ(bytes, "inner");
  ASSERT_TRUE(ReadFileLocation(Resolve("top.txt"), reader, bytes));
  EXPECT_EQ(bytes, "disk");
  // An entry the archive lacks is a missing file.
  loc.ResolvedPath = "gone.3ds";
  EXPECT_FALSE(ReadFileLocation(loc, reader, bytes));
  EXPECT_FALSE(ReadFileLocation(Resolve("nothing\\at\\all.txt"), reader, bytes));
}

TEST_F(FileManagerTest, EngineAndSceneLookupsFollowTheStoredSeparator) {
  Put("models.kvo", BuildKavoArchive(TKavoPackMethod::Huffman, {{"actors\\hero.smd", "back"},
                                                                {"props/chair.3ds", "fore"},
                                                                {"Top.JPG", "top"}}));
  TKavoArchiveReader reader;
  InstallSceneFileAccess(reader);
  std::string out;
  // The engine's lookup keeps "\".
  ASSERT_TRUE(ReadFileLocation(Resolve("models\\actors\\HERO.smd"), reader, out));
  EXPECT_EQ(out, "back");
  EXPECT_FALSE(ReadFileLocation(Resolve("models\\props\\chair.3ds"), reader, out));
  ASSERT_TRUE(ReadFileLocation(Resolve("models\\top.jpg"), reader, out));
  EXPECT_EQ(out, "top");

  // The scene layer's lookup turns "\" into "/".
  EXPECT_TRUE(scene::SceneFileExists("props\\chair.3ds"));
  ASSERT_TRUE(scene::OpenSceneFile("props\\Chair.3ds", out));
  EXPECT_EQ(out, "fore");
  EXPECT_FALSE(scene::SceneFileExists("actors\\hero.smd"));
  EXPECT_FALSE(scene::OpenSceneFile("actors\\hero.smd", out));
  EXPECT_TRUE(scene::OpenSceneFile("top.jpg", out));
  // Falls back to the disk, relative to the current directory.
  Put("loose.txt", "loose");
  EXPECT_TRUE(scene::SceneFileExists("loose.txt"));
  ASSERT_TRUE(scene::OpenSceneFile("loose.txt", out));
  EXPECT_EQ(out, "loose");
}

}  // namespace
}  // namespace kavo
