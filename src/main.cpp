// The kavo executable: reads our own "--" switches, hands every other
// argument to the engine's start-up, and runs the message loop.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "core/cadencer.h"
#include "platform/files.h"
#include "shell/apireference.h"
#include "shell/kavoform.h"
#include "shell/scriptedinput.h"

namespace {

const char kUsage[] =
    "usage: kavo [--headless] [--frames N] [--fixed-step MS] [--log PATH] [--screenshot PATH]\n"
    "            [--input FILE] [--record FILE] [--script-timeout S] [--audio sdl|virtual]\n"
    "            [--help] [--version] [--api-reference]\n"
    "            [game switches: -noauto, -p NAME..., -logtoconsole] [PROJECT.kavogame]\n";

int Misuse(const std::string& what) {
  std::fprintf(stderr, "kavo: %s\n%s", what.c_str(), kUsage);
  return 2;
}

bool ParseNumber(const char* s, double& out) {
  char* end = nullptr;
  out = std::strtod(s, &end);
  return end != s && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  kavo::TKavoOptions options;
  std::vector<std::string> args;
  args.emplace_back(argc > 0 ? argv[0] : "kavo");
  const bool noDisplay = std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr;
  options.headless = noDisplay;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)name;
      return argv[++i];
    };
    if (a.rfind("--", 0) != 0) {
      args.push_back(a);
    } else if (a == "--headless") {
      options.headless = true;
    } else if (a == "--frames") {
      const char* v = value("--frames");
      double n;
      if (!v || !ParseNumber(v, n) || n < 0 || n != static_cast<long long>(n)) return Misuse("--frames needs a whole number");
      options.frames = static_cast<long long>(n);
    } else if (a == "--fixed-step") {
      const char* v = value("--fixed-step");
      double ms;
      // A step below the frame clock's smallest frame would never make one.
      if (!v || !ParseNumber(v, ms) || !(ms >= kavo::TCadencer::kMinDelta * 1000.0) || ms > 1000)
        return Misuse("--fixed-step needs milliseconds (0.1 <= MS <= 1000)");
      options.fixedStepMs = ms;
    } else if (a == "--log") {
      const char* v = value("--log");
      if (!v || !*v) return Misuse("--log needs a path");
      options.logPath = v;
    } else if (a == "--screenshot") {
      const char* v = value("--screenshot");
      if (!v || !*v) return Misuse("--screenshot needs a path");
      options.screenshotPath = v;
    } else if (a == "--input") {
      const char* v = value("--input");
      if (!v || !*v) return Misuse("--input needs a file");
      std::string text, error;
      if (!kavo::Files().ReadFile(v, text, &error, 64u << 20)) return Misuse("--input: " + error);
      kavo::TScriptedInput check;
      if (!check.Parse(text, error)) return Misuse(std::string("--input ") + v + ": " + error);
      options.inputText = text;
    } else if (a == "--record") {
      const char* v = value("--record");
      if (!v || !*v) return Misuse("--record needs a file");
      kavo::TInputRecorder probe;
      std::string error;
      if (!probe.Open(v, &error)) return Misuse("--record: " + error);
      options.recordPath = v;
    } else if (a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--script-timeout") {
      const char* v = value("--script-timeout");
      double seconds;
      if (!v || !ParseNumber(v, seconds) || !(seconds >= 0) || seconds > 86400)
        return Misuse("--script-timeout needs seconds (0 switches the watchdog off)");
      options.scriptTimeout = seconds;
    } else if (a == "--audio") {
      // Default: virtual under --fixed-step or --headless, else sdl.
      const char* v = value("--audio");
      if (!v || (std::strcmp(v, "sdl") != 0 && std::strcmp(v, "virtual") != 0))
        return Misuse("--audio needs sdl or virtual");
      options.audio = v;
    } else if (a == "--api-reference") {
      std::fputs(kavo::ApiReference().c_str(), stdout);
      return 0;
    } else if (a == "--version") {
      std::puts("Kavo - Kavoscape 0.4.6 beta");
      return 0;
    } else {
      return Misuse("unknown switch " + a);
    }
  }
  // Relative paths of our switches are taken from where kavo was started.
  char cwd[4096];
  std::string here = getcwd(cwd, sizeof(cwd)) ? std::string(cwd) + "/" : std::string();
  for (std::string* p : {&options.logPath, &options.screenshotPath, &options.recordPath})
    if (!p->empty() && (*p)[0] != '/') *p = here + *p;
  auto platform = kavo::CreateSdlPlatform(options.headless);
  int status;
  {
    kavo::TKavoForm form(*platform, options);
    form.Startup(args);
    status = form.Run();
  }
  return status;
}
