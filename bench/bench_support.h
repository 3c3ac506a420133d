// A throw-away game folder and an engine started on it, for benchmarks that
// run scripts or engine code in a live game.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "shell/kavoform.h"

namespace kavo::bench {

// Makes a game folder with data/config.lua and the stock walk marker.
inline std::string MakeGameFolder(const std::string& config) {
  char tmpl[] = "/tmp/kavo-bench-XXXXXX";
  char* made = mkdtemp(tmpl);
  if (made == nullptr) {
    std::fprintf(stderr, "cannot make a temporary folder under /tmp\n");
    std::exit(1);
  }
  std::string dir = std::string(made) + "/";
  std::string cmd = "mkdir -p " + dir + "data/GUI " + dir + "data/scripts && cp " KAVO_SOURCE_DIR
                    "/tests/data/models/walkpawns.3ds " + dir + "data/GUI/";
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot make %s\n", dir.c_str());
  std::ofstream(dir + "data/config.lua") << config;
  return dir;
}

// Starts the engine on a game folder (fixed 10 ms steps, log in the folder).
// A game that did not start is reported: a halted engine measures nothing.
inline std::unique_ptr<TKavoForm> StartGame(IPlatform& platform, const std::string& dir) {
  TKavoOptions o;
  o.executableDir = dir;
  o.fixedStepMs = 10;
  o.logPath = dir + "log.txt";
  auto form = std::make_unique<TKavoForm>(platform, o);
  form->libraryCheck = [] { return std::string(); };
  form->Startup({dir + "kavo"});
  if (form->Context().halted) std::fprintf(stderr, "the game did not start: see %slog.txt\n", dir.c_str());
  return form;
}

inline void RemoveGameFolder(const std::string& dir) {
  if (dir.rfind("/tmp/kavo-bench-", 0) != 0) return;  // only folders MakeGameFolder made
  if (std::system(("rm -rf '" + dir + "'").c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", dir.c_str());
}

}  // namespace kavo::bench
