// libFuzzer target for scripted-input files (--input): the input is the
// file's text. A file that parses is then replayed over the whole clock
// range: every event comes out exactly once, none before its time can have
// come, and what the recorder would write for a key names that key again.
//   tests/fuzz/run_fuzz.sh builds and seeds it; see there to run it longer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "shell/scriptedinput.h"

using namespace kavo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TScriptedInput input;
  std::string error;
  if (!input.Parse(text, error)) {
    if (error.rfind("line ", 0) != 0) __builtin_trap();
    return 0;
  }
  const size_t count = input.Count();
  if (!input.Due(-1.0).empty()) __builtin_trap();  // times are never negative
  // The clock from 0 to past the last time a file may name (1e9 ms), in
  // doubling steps.
  size_t delivered = 0;
  for (double now = 0.0;; now = now == 0.0 ? 1.0 : now * 2.0) {
    for (const TInputEvent& e : input.Due(now)) {
      ++delivered;
      if (e.kind == TInputEvent::Kind::KeyDown || e.kind == TInputEvent::Kind::KeyUp) {
        if (e.key <= 0 || e.key >= 256 || KeyFromName(KeyName(e.key)) != e.key) __builtin_trap();
      }
    }
    if (now > 1e9) break;
  }
  if (delivered != count || !input.Finished() || !input.Due(1e12).empty()) __builtin_trap();
  return 0;
}
