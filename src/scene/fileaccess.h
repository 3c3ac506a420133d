// The scene layer reaches the disk and the archives only through these two
// replaceable functions. The engine installs the archive-aware pair at
// start-up; the default pair reads the disk through the file layer.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kavo::scene {

// Reads a whole file into `out`. Returns false when it cannot be opened.
using OpenFileFn = std::function<bool(std::string_view name, std::string& out)>;
// Whether `OpenFileFn` with the same name would succeed.
using FileExistsFn = std::function<bool(std::string_view name)>;

void SetFileAccess(OpenFileFn open, FileExistsFn exists);
// The disk through the file layer, names matched without regard to letter
// case when the exact spelling is not there ("TEST.PNG" finds "test.png"):
// the plain pair, and what an installed pair falls back to.
bool OpenDiskFile(std::string_view name, std::string& out);
bool DiskFileExists(std::string_view name);
void ResetFileAccess();  // back to plain disk access
bool OpenSceneFile(std::string_view name, std::string& out);
bool SceneFileExists(std::string_view name);

}  // namespace kavo::scene
