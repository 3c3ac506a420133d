#include "scene/fileaccess.h"

#include "platform/files.h"

namespace kavo::scene {

namespace {
bool DiskOpen(std::string_view name, std::string& out) { return Files().ReadFile(name, out); }
bool DiskExists(std::string_view name) { return Files().FileExists(name); }

OpenFileFn& OpenSlot() {
  static OpenFileFn fn = DiskOpen;
  return fn;
}
FileExistsFn& ExistsSlot() {
  static FileExistsFn fn = DiskExists;
  return fn;
}
}  // namespace

void SetFileAccess(OpenFileFn open, FileExistsFn exists) {
  OpenSlot() = open ? std::move(open) : OpenFileFn(DiskOpen);
  ExistsSlot() = exists ? std::move(exists) : FileExistsFn(DiskExists);
}

void ResetFileAccess() { SetFileAccess(nullptr, nullptr); }
bool OpenSceneFile(std::string_view name, std::string& out) { return OpenSlot()(name, out); }
bool SceneFileExists(std::string_view name) { return ExistsSlot()(name); }

}  // namespace kavo::scene
