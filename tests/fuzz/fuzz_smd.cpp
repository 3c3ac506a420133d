// libFuzzer target for the Valve SMD reader. The input is the model, then
// optionally a line "%%anim" and an SMD animation file; see FuzzModelWithAnimation.
//   tests/fuzz/run_fuzz.sh builds and seeds it; see there to run it longer.
#include <cstddef>
#include <cstdint>

#include "anim_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kavo::fuzz::FuzzModelWithAnimation(data, size, "m/x.smd", "m/y.smd");
}
