#include "scene/fileaccess.h"

#include "platform/files.h"

namespace kavo::scene {

bool OpenDiskFile(std::string_view name, std::string& out) {
  if (Files().ReadFile(name, out)) return true;
  auto found = Files().FindIgnoringCase(name);
  return found && Files().ReadFile(*found, out);
}

bool DiskFileExists(std::string_view name) {
  return Files().FileExists(name) || Files().FindIgnoringCase(name).has_value();
}

namespace {
bool DiskOpen(std::string_view name, std::string& out) { return OpenDiskFile(name, out); }
bool DiskExists(std::string_view name) { return DiskFileExists(name); }

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
