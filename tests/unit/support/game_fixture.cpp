#include "support/game_fixture.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "script/environment.h"
#include "core/log.h"

namespace kavo::test {

TempDir::TempDir() {
  // A folder of its own or no test: never a shared one that gets deleted.
  char tmpl[] = "/tmp/kavo-test-XXXXXX";
  char* p = mkdtemp(tmpl);
  if (p == nullptr) throw std::runtime_error("cannot make a temporary folder under /tmp");
  path_ = std::string(p) + "/";
}

TempDir::~TempDir() {
  if (path_.rfind("/tmp/kavo-test-", 0) != 0) return;
  std::string cmd = "rm -rf '" + path_ + "'";
  if (std::system(cmd.c_str()) != 0) {
  }
}

void TempDir::Write(const std::string& relative, const std::string& content) const {
  std::string full = path_ + relative;
  std::string folder = full.substr(0, full.find_last_of('/'));
  std::string cmd = "mkdir -p '" + folder + "'";
  if (std::system(cmd.c_str()) != 0) return;
  std::ofstream(full, std::ios::binary) << content;
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> LogLines(const std::string& path) {
  std::string text = ReadFileText(path);
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < text.size()) {
    size_t j = text.find("\r\n", i);
    if (j == std::string::npos) j = text.size();
    lines.push_back(text.substr(i, j - i));
    i = j + 2;
  }
  return lines;
}

void GameFixture::StartGame(const std::string& config, std::vector<std::string> args) {
  if (!config.empty()) dir.Write("data/config.lua", config);
  dir.Write("data/GUI/walkpawns.3ds", ReadFileText(std::string(KAVO_TEST_DATA) + "/models/walkpawns.3ds"));
  Start(std::move(args));
}

void GameFixture::Start(std::vector<std::string> args) {
  TKavoOptions o = options;
  o.executableDir = dir.Path();
  o.fixedStepMs = 10;
  form = std::make_unique<TKavoForm>(platform, o);
  form->libraryCheck = [] { return std::string(); };
  args.insert(args.begin(), dir.Path() + "kavo");
  form->Startup(args);
}

void GameFixture::RunFrames(int n) {
  long long target = form->frameSteps + n;
  int guard = 0;
  while (!form->Terminated() && form->frameSteps < target && guard++ < n * 10 + 100) form->RunOnce();
}

void GameFixture::Run(const std::string& lua) { form->Script().RunLine(lua); }

std::vector<std::string> GameFixture::NewLog() {
  auto all = Log();
  std::vector<std::string> fresh(all.begin() + static_cast<long>(std::min(seen_, all.size())), all.end());
  seen_ = all.size();
  return fresh;
}

bool GameFixture::LogHas(const std::string& line) const {
  auto all = Log();
  return std::find(all.begin(), all.end(), line) != all.end();
}

}  // namespace kavo::test
