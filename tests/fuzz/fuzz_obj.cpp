// libFuzzer target for the Wavefront OBJ reader with its material library.
// The input is the OBJ text, then optionally a line "%%mtl" and the MTL
// text. The scene's file access serves the MTL part (when there is one) for
// any name ending in ".mtl" and nothing else, so `mtllib` lines read it
// without touching the disk. A load that succeeds must hand back data the
// rest of the engine can index blindly (mesh_checks.h).
//   tests/fuzz/run_fuzz.sh builds and seeds it; see there to run it longer.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mesh_checks.h"
#include "scene/fileaccess.h"
#include "scene/geometry.h"

using namespace kavo;

namespace {

constexpr std::string_view kMarker = "%%mtl\n";
std::optional<std::string> g_mtl;  // the library of the current input

bool IsLibrary(std::string_view name) {
  return g_mtl && name.size() >= 4 && name.substr(name.size() - 4) == ".mtl";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scene::SetFileAccess(
      [](std::string_view name, std::string& out) {
        if (!IsLibrary(name)) return false;
        out = *g_mtl;
        return true;
      },
      [](std::string_view name) { return IsLibrary(name); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t marker = input.find(kMarker);
  const std::string obj(input.substr(0, marker));
  if (marker == std::string_view::npos) g_mtl.reset();
  else g_mtl = std::string(input.substr(marker + kMarker.size()));

  scene::MeshData out;
  std::string error;
  if (!scene::LoadModel("m/x.obj", obj, out, error)) {
    if (error.find("m/x.obj") == std::string::npos) __builtin_trap();
    return 0;
  }
  fuzz::CheckLoadedModel(out);
  return 0;
}
