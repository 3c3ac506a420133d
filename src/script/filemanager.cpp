#include "script/filemanager.h"

#include "archive/archive.h"
#include "platform/files.h"
#include "shell/log.h"

namespace kavo {

namespace {

void LogCaseFallback(const std::string& requested, const std::string& found) {
  KavoLog("File Manager: Tried to load file [" + requested +
          "], but the case sensitive filename was not found, so loaded (" + found + ").");
}

// Looks for an archive file exactly, then with every component's case free.
// On success `folder` and `file` hold the spelling found on disk.
bool FindArchive(const std::string& folder, const std::string& dirName, std::string& foundFolder,
                 std::string& foundFile) {
  const std::string wanted = folder + dirName + ".kvo";
  if (Files().FileExists(wanted)) {
    foundFolder = folder;
    foundFile = dirName + ".kvo";
    return true;
  }
  auto found = Files().FindIgnoringCase(wanted);
  if (!found) return false;
  const std::string path = ToBackslashes(*found);
  const size_t cut = path.rfind('\\');
  foundFolder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  foundFile = cut == std::string::npos ? path : path.substr(cut + 1);
  return true;
}

}  // namespace

void ResolveFileName(std::string_view name, std::string_view dataFolder, TKavoFileLocation& location) {
  // Making the folder current again is only needed when a loader moved away.
  if (Files().CurrentDir() != dataFolder && !Files().SetCurrentDir(dataFolder)) return;
  location = TKavoFileLocation{};
  const std::string p = ToBackslashes(name);

  const size_t slash = p.find_last_of("\\:");
  const std::string folder = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
  const std::string file = slash == std::string::npos ? p : p.substr(slash + 1);
  const size_t dot = file.rfind('.');
  const std::string base = dot == std::string::npos ? file : file.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : file.substr(dot);

  if (LowerAscii(ext) == ".kvo") location.ArchiveName = p;

  if (Files().FileExists(p)) {
    location.ResolvedPath = p;
    return;
  }
  const std::string variants[3] = {folder + LowerAscii(base) + LowerAscii(ext), folder + base + LowerAscii(ext),
                                   folder + base + UpperAscii(ext)};
  for (int i = 0; i < 3; ++i) {
    if (!Files().FileExists(variants[i])) continue;
    location.ResolvedPath = variants[i];
    if (i > 0) LogCaseFallback(p, variants[i]);
    return;
  }
  // Case-sensitive file systems: match every component of the path.
  if (auto found = Files().FindIgnoringCase(p)) {
    location.ResolvedPath = ToBackslashes(*found);
    LogCaseFallback(p, location.ResolvedPath);
    return;
  }

  // An archive named after a leading folder stands in for that folder.
  std::string rest = p;
  std::string archiveFolder;
  for (;;) {
    const size_t cut = rest.find('\\');
    if (cut == std::string::npos) {
      location.ArchiveName.clear();
      location.ArchiveFolder.clear();
      return;
    }
    const std::string dirName = rest.substr(0, cut);
    rest = rest.substr(cut + 1);
    std::string foundFolder, foundFile;
    if (FindArchive(archiveFolder, dirName, foundFolder, foundFile)) {
      location.ResolvedPath = rest;
      location.ArchiveName = foundFile;
      location.ArchiveFolder = foundFolder;
      return;
    }
    archiveFolder += dirName + "\\";
  }
}

bool ReadFileLocation(const TKavoFileLocation& location, TKavoArchiveReader& reader, std::string& out) {
  if (location.ResolvedPath.empty()) return false;
  // A request for an archive itself names the archive file on disk.
  const bool archiveItself = location.ArchiveFolder.empty() && location.ArchiveName == location.ResolvedPath;
  if (!location.ArchiveName.empty() && !archiveItself) {
    reader.Open(location.ArchiveFolder + location.ArchiveName);
    return reader.GetEntry(location.ResolvedPath, out);
  }
  return Files().ReadFile(location.ResolvedPath, out);
}

}  // namespace kavo
