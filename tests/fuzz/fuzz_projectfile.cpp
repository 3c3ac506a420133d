// libFuzzer target for project files (".kavogame"): the input is the file's
// text. A text that names no data root raises the engine's error, which is
// the normal failure; a root that comes back is one line with "/"
// separators and a final "/".
//   tests/fuzz/run_fuzz.sh builds and seeds it; see there to run it longer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/errors.h"
#include "shell/projectfile.h"

using namespace kavo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string root;
  try {
    root = ProjectDataRoot(text, "/opt/kavo", "/home/player/games/");
  } catch (const EKavoError& e) {
    if (std::string_view(e.what()).empty()) __builtin_trap();
    return 0;
  }
  if (root.empty() || root.back() != '/') __builtin_trap();
  if (root.find_first_of("\\\r\n") != std::string::npos) __builtin_trap();
  return 0;
}
