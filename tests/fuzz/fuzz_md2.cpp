// libFuzzer target for the Quake II MD2 reader. The input is the model, then
// optionally a line "%%anim" and another MD2 whose frames are added. A
// load that succeeds must hand back data the animated mesh node can index
// blindly and pose (anim_checks.h); an added animation must keep it so.
//   tests/fuzz/run_fuzz.sh builds and seeds it; see there to run it longer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "anim_checks.h"

using namespace kavo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr std::string_view kMarker = "%%anim\n";
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t marker = input.find(kMarker);
  const std::string model(input.substr(0, marker));

  scene::AnimatedModelData out;
  std::string error;
  if (!scene::LoadAnimatedModel("m/x.md2", model, out, error)) {
    if (error.find("m/x.md2") == std::string::npos) __builtin_trap();
    return 0;
  }
  fuzz::CheckAnimatedModel(out);
  if (marker == std::string_view::npos) return 0;
  const std::string more(input.substr(marker + kMarker.size()));
  const int frames = out.FrameCount();
  if (!scene::AppendAnimationFile("m/y.md2", more, out, error)) {
    if (error.find("m/y.md2") == std::string::npos || out.FrameCount() != frames) __builtin_trap();
    return 0;
  }
  fuzz::CheckAnimatedModel(out);
  return 0;
}
