// libFuzzer target for the Quake II MD2 reader. The input is the model, then
// optionally a line "%%anim" and another MD2 whose frames are added; see FuzzModelWithAnimation.
//   tests/fuzz/run_fuzz.sh builds and seeds it; see there to run it longer.
#include <cstddef>
#include <cstdint>

#include "anim_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kavo::fuzz::FuzzModelWithAnimation(data, size, "m/x.md2", "m/y.md2");
}
