// Special files named where the engine expects game data, logs or archives:
// a FIFO, a folder, a device. Each is refused at once with a reason; nothing
// waits for a writer that never comes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "archive/archive.h"
#include "core/errors.h"
#include "platform/files.h"
#include "support/game_fixture.h"

namespace kavo {
namespace {

TEST(SpecialFiles, AreRefusedNotWaitedOn) {
  test::TempDir dir;
  const std::string fifo = dir.Path() + "pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path, why;
  } cases[] = {
      {fifo, "Not a file"},
      {dir.Path(), "Not a file"},
      {"/dev/zero", "Not a file"},
      {dir.Path() + "missing.txt", "No such file or directory"},
  };
  for (const Case& c : cases) {
    std::string out, error;
    EXPECT_FALSE(Files().ReadFile(c.path, out, &error)) << c.path;
    EXPECT_NE(error.find(c.why), std::string::npos) << c.path << ": " << error;
    EXPECT_FALSE(Files().FileExists(c.path)) << c.path;
  }
  // Writing and appending (logs, screenshots, recordings) refuse them too.
  for (const std::string& target : {fifo, dir.Path(), std::string("/dev/null")}) {
    std::string error;
    EXPECT_FALSE(Files().WriteFile(target, "x", &error)) << target;
    EXPECT_FALSE(error.empty()) << target;
    EXPECT_FALSE(Files().AppendFile(target, "x")) << target;
  }
  // An archive by a FIFO's name.
  TKavoArchiveReader reader;
  try {
    reader.Open(fifo);
    ADD_FAILURE() << "a FIFO opened as an archive";
  } catch (const EKavoError& e) {
    EXPECT_NE(e.Message().find("This is not PAK file"), std::string::npos) << e.Message();
  }
}

}  // namespace
}  // namespace kavo
