// kavomodel: looks into animated models for game authors.
//
//   kavomodel info FILE          frames, animations (first and last frame,
//                                loop or once), bones and mesh sizes
//   kavomodel aaf FILE [-o OUT]  writes the model's animation list in the
//                                ".aaf" form AddAnimation reads (to OUT, or
//                                to standard output)
//
// FILE is an SMD, MD2 or skinned glTF model, read exactly as the engine
// reads it. Exit status 0 on success, 1 when the file cannot be read or
// parsed (the reason goes to standard error), 2 on a usage error.
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "scene/animatedmesh.h"

namespace {

int Usage() {
  std::cerr << "usage: kavomodel info FILE\n"
               "       kavomodel aaf FILE [-o OUT]\n";
  return 2;
}

bool ReadWhole(const std::string& path, std::string& out, std::string& error) {
  // Regular files only (never a FIFO or a device), bounded like the engine's reads.
  std::string why;
  if (kavo::Files().ReadFile(path, out, &why)) return true;
  error = path + ": " + (why.empty() ? "cannot be read" : why);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return Usage();
  const std::string command = args[0], file = args[1];
  std::string outFile;
  if (command == "aaf" && args.size() == 4 && args[2] == "-o") {
    outFile = args[3];
  } else if (args.size() != 2 || (command != "info" && command != "aaf")) {
    return Usage();
  }

  std::string bytes, error;
  if (!ReadWhole(file, bytes, error)) {
    std::cerr << "kavomodel: " << error << "\n";
    return 1;
  }
  kavo::scene::AnimatedModelData model;
  if (!kavo::scene::LoadAnimatedModel(file, bytes, model, error)) {
    std::cerr << "kavomodel: " << (error.empty() ? file + ": cannot be read" : error) << "\n";
    return 1;
  }

  if (command == "aaf") {
    const std::string list = kavo::scene::WriteAnimationList(model.animations);
    if (outFile.empty()) {
      std::cout << list;
      return 0;
    }
    std::ofstream out(outFile, std::ios::binary | std::ios::trunc);
    out << list;
    out.close();
    if (!out) {
      std::cerr << "kavomodel: " << outFile << ": cannot be written\n";
      return 1;
    }
    return 0;
  }

  const bool skeletal = model.kind == kavo::scene::AnimatedModelData::Kind::Skeletal;
  std::cout << "file: " << file << "\n";
  std::cout << "kind: " << (skeletal ? "skeletal" : "morph") << "\n";
  std::cout << "frames: " << model.FrameCount() << "\n";
  size_t vertices = 0, triangles = 0;
  for (const auto& object : model.mesh.objects) {
    vertices += object.positions.size();
    for (const auto& group : object.faceGroups) triangles += group.indices.size() / 3;
  }
  std::cout << "mesh objects: " << model.mesh.objects.size() << ", vertices: " << vertices
            << ", triangles: " << triangles << "\n";
  std::cout << "animations: " << model.animations.size() << "\n";
  for (const auto& a : model.animations)
    std::cout << "  " << a.name << " " << a.start << " " << a.end << " " << (a.loop ? "loop" : "once") << "\n";
  std::cout << "bones: " << model.bones.size() << "\n";
  for (size_t i = 0; i < model.bones.size(); ++i) {
    const auto& b = model.bones[i];
    std::cout << "  " << i << " \"" << b.name << "\"";
    if (b.parent >= 0) std::cout << " parent " << b.parent;
    std::cout << "\n";
  }
  return 0;
}
