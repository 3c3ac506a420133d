// libFuzzer target for the glTF reader: the input is the model file (JSON
// text or GLB). The scene's file access serves one small fixed buffer (a
// triangle and its indices) for any name ending in ".bin" and nothing else,
// so external buffers are read too without touching the disk. A load that
// succeeds must hand back data the rest of the engine can index blindly.
// The same input is then read as an animated model (a skinned figure or one
// morph frame), which must pass the animated model checks and pose at its
// first and last frames (anim_checks.h).
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz-gltf -G Ninja -DKAVO_BUILD_FUZZ=ON \
//     -DKAVO_BUILD_TESTS=OFF -DKAVO_BUILD_BENCH=OFF
//   ninja -C build-fuzz-gltf fuzz_gltf
//   python3 tests/fuzz/make_gltf_corpus.py /tmp/gltf-corpus
//   build-fuzz-gltf/fuzz_gltf /tmp/gltf-corpus tests/fuzz/corpus/gltf -dict=tests/fuzz/gltf.dict \
//     -max_total_time=300 -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "anim_checks.h"
#include "scene/fileaccess.h"
#include "scene/model_loaders.h"

using namespace kavo::scene;

namespace {

std::string FixedBuffer() {
  const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  const uint16_t indices[4] = {0, 1, 2, 0};
  std::string s(sizeof(corners) + sizeof(indices), '\0');
  std::memcpy(s.data(), corners, sizeof(corners));
  std::memcpy(s.data() + sizeof(corners), indices, sizeof(indices));
  return s;
}

bool EndsWithBin(std::string_view name) { return name.size() >= 4 && name.substr(name.size() - 4) == ".bin"; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetFileAccess(
      [](std::string_view name, std::string& out) {
        if (!EndsWithBin(name)) return false;
        out = FixedBuffer();
        return true;
      },
      [](std::string_view name) { return EndsWithBin(name); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string error;
  AnimatedModelData animated;
  if (LoadAnimatedModel("fuzz/model.gltf", bytes, animated, error)) {
    kavo::fuzz::CheckAnimatedModel(animated);
  } else if (error.find("fuzz/model.gltf") == std::string::npos) {
    __builtin_trap();
  }

  MeshData out;
  error.clear();
  if (!detail::LoadGLTF("fuzz/model.gltf", bytes, out, error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  for (const MeshObject& obj : out.objects) {
    const size_t n = obj.positions.size();
    if (!obj.normals.empty() && obj.normals.size() != n) __builtin_trap();
    if (!obj.texCoords.empty() && obj.texCoords.size() != n) __builtin_trap();
    if (obj.fileTriangles.size() % 3 != 0) __builtin_trap();
    for (uint32_t i : obj.fileTriangles)
      if (i >= n) __builtin_trap();
    for (const FaceGroup& g : obj.faceGroups)
      for (uint32_t i : g.indices)
        if (i >= n) __builtin_trap();
  }
  return 0;
}
