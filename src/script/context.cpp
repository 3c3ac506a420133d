#include "script/context.h"

#include "archive/archive.h"
#include "core/errors.h"
#include "core/log.h"
#include "platform/files.h"
#include "scene/fileaccess.h"
#include "scene/staticmesh.h"
#include "script/environment.h"

namespace kavo {

TKavoContext::TKavoContext(IPlatform& p, IKavoEngineHost& h) : platform(p), host(h) {}

bool TGameFiles::EnterDataFolder() const { return Files().SetCurrentDir(DataFolder()); }

std::string TGameFiles::EnterFolderOf(const TKavoFileLocation& loc) const {
  if (archives) archives->ForgetCurrent();
  const std::string path = ToSlashes(loc.ResolvedPath);
  const std::string folder = path.substr(0, path.find_last_of('/') + 1);
  const bool absolute = !path.empty() && path[0] == '/';
  if (!Files().SetCurrentDir(absolute ? folder : DataFolder() + folder)) return "";
  return path.substr(folder.size());
}

TKavoFileLocation TGameFiles::Resolve(const std::string& name) const {
  TKavoFileLocation loc;
  // Longer than any file system takes: nothing to look for.
  if (name.size() > kMaxNameBytes) return loc;
  ResolveFileName(name, DataFolder(), loc);
  return loc;
}

bool TGameFiles::Read(const TKavoFileLocation& loc, std::string& out, std::string* error, size_t limit) const {
  if (loc.ResolvedPath.empty()) {
    if (error) *error = "File not found";
    return false;
  }
  if (loc.ArchiveName.empty()) {
    // Disk files are read relative to the data folder, whatever a loader
    // made current since the resolution.
    std::string p = ToSlashes(loc.ResolvedPath);
    if (p.empty() || p[0] != '/') p = DataFolder() + p;
    return Files().ReadFile(p, out, error, limit);
  }
  Files().SetCurrentDir(DataFolder());
  if (archives == nullptr || !ReadFileLocation(loc, *archives, out)) {
    if (error) *error = "Unable to find " + loc.ResolvedPath + " in " + loc.ArchiveFolder + loc.ArchiveName;
    return false;
  }
  if (out.size() > limit) {
    out.clear();
    if (error) *error = "File \"" + loc.ResolvedPath + "\" is too large";
    return false;
  }
  return true;
}

void TKavoContext::LoadRoomScript() {
  if (script) script->LoadFile("scripts\\" + roomScriptFile, false);
}

void TKavoContext::TextureNeeded(const std::string& textureFile) {
  if (halted || files.packedMode) return;
  // Found beside the model on disk, or in the archive the model came from.
  if (Files().FileExists(textureFile) || Files().FindIgnoringCase(textureFile) || scene::SceneFileExists(textureFile))
    return;
  std::string text = "Mesh (" + modelBeingLoaded + ") depends texture (" + textureFile +
                     "), which couldn't be found. Make sure the directory of the mesh includes the needed texture.";
  KavoLog("Fatal Error: " + text);
  halted = true;
  // Halting without a dialog would freeze the game: the dialog always
  // follows, in the room's words when a room model is loading.
  if (!roomModelLoading) ShowFatalError(text, kErrTexture);
  throw EKavoTextureMissing(text);
}

void LoadModelInto(TKavoContext& ctx, scene::StaticMeshNode& node, const TKavoFileLocation& loc,
                   const std::string& name) {
  ctx.modelBeingLoaded = name;
  struct Clear {
    std::string& s;
    ~Clear() { s.clear(); }
  } clear{ctx.modelBeingLoaded};
  std::string bytes, error;
  if (!loc.ArchiveName.empty()) {
    if (!ctx.files.Read(loc, bytes, &error)) throw EKavoError(ToBackslashes(loc.ResolvedPath), kErrModelFile);
    node.LoadFromBytes(ToSlashes(loc.ResolvedPath), bytes);
    return;
  }
  const std::string bare = ctx.files.EnterFolderOf(loc);
  if (bare.empty() || !Files().FileExists(bare)) throw EKavoError(ToBackslashes(loc.ResolvedPath), kErrModelFile);
  node.LoadFromFile(bare);
}

}  // namespace kavo
