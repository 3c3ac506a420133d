#include "shell/gamefiles.h"

#include "archive/archive.h"
#include "platform/files.h"
#include "shell/kavoform.h"

namespace kavo {

TKavoFileLocation ResolveGameFile(TKavoForm& form, const std::string& name) {
  TKavoFileLocation loc;
  ResolveFileName(name, form.DataFolder(), loc);
  return loc;
}

bool ReadGameFile(TKavoForm& form, const TKavoFileLocation& loc, std::string& out, std::string* error) {
  if (loc.ResolvedPath.empty()) {
    if (error) *error = "File not found";
    return false;
  }
  if (loc.ArchiveName.empty()) {
    // Disk files are read relative to the data folder, whatever a loader
    // made current since the resolution.
    std::string path = loc.ResolvedPath;
    std::string p = ToSlashes(path);
    if (p.empty() || p[0] != '/') p = form.DataFolder() + p;
    return Files().ReadFile(p, out, error);
  }
  Files().SetCurrentDir(form.DataFolder());
  if (!ReadFileLocation(loc, form.Archives(), out)) {
    if (error) *error = "Unable to find " + loc.ResolvedPath + " in " + loc.ArchiveFolder + loc.ArchiveName;
    return false;
  }
  return true;
}

}  // namespace kavo
