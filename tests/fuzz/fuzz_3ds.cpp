// libFuzzer target for the 3D Studio reader: the input is the .3ds file.
// A load that succeeds must hand back data the rest of the engine can index
// blindly (mesh_checks.h); a load that fails must say why.
//   tests/fuzz/run_fuzz.sh builds and seeds it; see there to run it longer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mesh_checks.h"
#include "scene/geometry.h"

using namespace kavo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  scene::MeshData out;
  std::string error;
  if (!scene::LoadModel("x.3ds", bytes, out, error)) {
    if (error.find("x.3ds") == std::string::npos) __builtin_trap();
    return 0;
  }
  fuzz::CheckLoadedModel(out);
  return 0;
}
