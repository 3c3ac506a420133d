// A throw-away game folder and an engine started on the platform test
// double, for tests of start-up, scripting and shutdown.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/test_platform.h"
#include "script/environment.h"
#include "shell/kavoform.h"

namespace kavo::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return path_; }  // ends in "/"
  void Write(const std::string& relative, const std::string& content) const;

 private:
  std::string path_;
};

// Reads the log file, CR LF kept.
std::string ReadFileText(const std::string& path);
// The log's lines without their CR LF.
std::vector<std::string> LogLines(const std::string& path);

class GameFixture : public ::testing::Test {
 protected:
  // Writes data/config.lua (unless empty) and the walk marker, then starts.
  void StartGame(const std::string& config, std::vector<std::string> args = {});
  void Start(std::vector<std::string> args = {});
  void RunFrames(int n);
  void Run(const std::string& lua);  // ExecuteLine
  std::vector<std::string> Log() const { return LogLines(dir.Path() + "log.txt"); }
  // Log lines written since the last call.
  std::vector<std::string> NewLog();
  bool LogHas(const std::string& line) const;

  TempDir dir;
  TTestPlatform platform;
  TKavoOptions options;  // executableDir and fixedStepMs are filled in by Start
  std::unique_ptr<TKavoForm> form;
  size_t seen_ = 0;
};

}  // namespace kavo::test
