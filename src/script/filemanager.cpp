#include "script/filemanager.h"

#include <dirent.h>
#include <sys/stat.h>

#include <ctime>
#include <optional>
#include <vector>
#include <unordered_map>

#include "archive/archive.h"
#include "scene/fileaccess.h"
#include "platform/files.h"
#include "core/log.h"

namespace kavo {

namespace {

// Resolution asks up to a dozen existence questions per name, most of them
// about files that are not there. It answers them from directory listings
// kept per directory and checked against the directory's change time once
// per resolution. A listing taken within two seconds of its directory's last
// change is not trusted on the next resolution (the change time has coarse
// granularity, so a later change in the same tick would go unseen); such a
// directory is listed again.
class TDirectoryCache {
 public:
  struct Entry {
    std::string name;
    bool isFile = false;
    bool isDir = false;
  };

  void NextResolution() { ++generation_; }

  bool FileExists(const std::string& name) {
    std::string dir, file;
    Split(Files().Absolute(name), dir, file);
    const Dir* d = FindDir(dir);
    if (d == nullptr) return false;
    auto it = d->exact.find(file);
    return it != d->exact.end() && d->entries[it->second].isFile;
  }

  // Like TFileLayer::FindIgnoringCase: every component matched without
  // regard to case, an exact spelling preferred; "/" separators out.
  std::optional<std::string> FindIgnoringCase(const std::string& name) {
    return MatchComponents(name, Files().CurrentDir(), [this](const std::string& dir, const std::string& comp,
                                                              bool last) -> std::optional<std::string> {
      const Dir& d = Get(dir);
      const Entry* e = nullptr;
      if (auto it = d.exact.find(comp); it != d.exact.end()) e = &d.entries[it->second];
      else if (auto lt = d.lower.find(LowerAscii(comp)); lt != d.lower.end()) e = &d.entries[lt->second];
      if (e == nullptr || (last && !e->isFile)) return std::nullopt;
      return e->name;
    });
  }

 private:
  struct Dir {
    bool exists = false;
    bool racy = true;
    struct timespec mtime {};
    ino_t ino = 0;
    dev_t dev = 0;
    uint64_t checked = 0;
    std::vector<Entry> entries;
    std::unordered_map<std::string, size_t> exact;
    std::unordered_map<std::string, size_t> lower;  // first entry in listing order
  };

  // The listing of a directory, reached below the current directory through
  // the listings of its parents, so a folder that is not there costs no
  // system call. Null when the directory does not exist.
  const Dir* FindDir(const std::string& dirPath) {
    const std::string& current = Files().CurrentDir();
    if (dirPath.compare(0, current.size(), current) != 0) return Existing(Get(dirPath));
    std::string base = current;
    const Dir* d = &Get(base);
    size_t pos = current.size();
    while (pos < dirPath.size() && d->exists) {
      const size_t next = dirPath.find('/', pos);
      if (next == std::string::npos) return Existing(Get(dirPath));
      const std::string comp = dirPath.substr(pos, next - pos);
      if (comp.empty() || comp == "." || comp == "..") return Existing(Get(dirPath));
      auto it = d->exact.find(comp);
      if (it == d->exact.end() || !d->entries[it->second].isDir) return nullptr;
      base += comp + "/";
      d = &Get(base);
      pos = next + 1;
    }
    return Existing(*d);
  }
  static const Dir* Existing(const Dir& d) { return d.exists ? &d : nullptr; }

  static void Split(const std::string& abs, std::string& dir, std::string& file) {
    const size_t cut = abs.rfind('/');
    dir = abs.substr(0, cut + 1);
    file = abs.substr(cut + 1);
  }

  const Dir& Get(const std::string& dirPath) {
    Dir& d = dirs_[dirPath];
    if (d.checked == generation_ && generation_ != 0) return d;
    d.checked = generation_;
    struct stat st;
    if (::stat(dirPath.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      d.exists = false;
      d.entries.clear();
      d.exact.clear();
      d.lower.clear();
      return d;
    }
    if (d.exists && !d.racy && d.ino == st.st_ino && d.dev == st.st_dev && d.mtime.tv_sec == st.st_mtim.tv_sec &&
        d.mtime.tv_nsec == st.st_mtim.tv_nsec)
      return d;
    Load(dirPath, st, d);
    return d;
  }

  static void Load(const std::string& dirPath, const struct stat& st, Dir& d) {
    d.entries.clear();
    d.exact.clear();
    d.lower.clear();
    d.exists = true;
    d.mtime = st.st_mtim;
    d.ino = st.st_ino;
    d.dev = st.st_dev;
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    d.racy = now.tv_sec - st.st_mtim.tv_sec < 2;
    DIR* dir = ::opendir(dirPath.c_str());
    if (dir == nullptr) {
      d.exists = false;
      return;
    }
    while (dirent* e = ::readdir(dir)) {
      if (std::string_view(e->d_name) == "." || std::string_view(e->d_name) == "..") continue;
      Entry entry;
      entry.name = e->d_name;
      if (e->d_type == DT_REG) {
        entry.isFile = true;
      } else if (e->d_type == DT_DIR) {
        entry.isDir = true;
      } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
        struct stat target;
        if (::stat((dirPath + entry.name).c_str(), &target) == 0) {
          entry.isFile = S_ISREG(target.st_mode);
          entry.isDir = S_ISDIR(target.st_mode);
        }
        // A link can change where it points without touching the directory.
        if (e->d_type == DT_LNK) d.racy = true;
      }
      const size_t index = d.entries.size();
      d.exact.emplace(entry.name, index);
      d.lower.emplace(LowerAscii(entry.name), index);
      d.entries.push_back(std::move(entry));
    }
    ::closedir(dir);
  }

  std::unordered_map<std::string, Dir> dirs_;
  uint64_t generation_ = 0;
};

TDirectoryCache& DirCache() {
  static TDirectoryCache cache;
  return cache;
}

void LogCaseFallback(const std::string& requested, const std::string& found) {
  KavoLog("File Manager: Tried to load file [" + requested +
          "], but the case sensitive filename was not found, so loaded (" + found + ").");
}

// Looks for an archive file exactly, then with every component's case free.
// On success `folder` and `file` hold the spelling found on disk.
bool FindArchive(const std::string& folder, const std::string& dirName, std::string& foundFolder,
                 std::string& foundFile) {
  const std::string wanted = folder + dirName + ".kvo";
  if (DirCache().FileExists(wanted)) {
    foundFolder = folder;
    foundFile = dirName + ".kvo";
    return true;
  }
  auto found = DirCache().FindIgnoringCase(wanted);
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
  TDirectoryCache& cache = DirCache();
  cache.NextResolution();
  const std::string p = ToBackslashes(name);

  const size_t slash = p.find_last_of("\\:");
  const std::string folder = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
  const std::string file = slash == std::string::npos ? p : p.substr(slash + 1);
  const size_t dot = file.rfind('.');
  const std::string base = dot == std::string::npos ? file : file.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : file.substr(dot);

  if (LowerAscii(ext) == ".kvo") location.ArchiveName = p;

  if (cache.FileExists(p)) {
    location.ResolvedPath = p;
    return;
  }
  const std::string variants[3] = {folder + LowerAscii(base) + LowerAscii(ext), folder + base + LowerAscii(ext),
                                   folder + base + UpperAscii(ext)};
  for (int i = 0; i < 3; ++i) {
    if (!cache.FileExists(variants[i])) continue;
    location.ResolvedPath = variants[i];
    if (i > 0) LogCaseFallback(p, variants[i]);
    return;
  }
  // Case-sensitive file systems: match every component of the path.
  if (auto found = cache.FindIgnoringCase(p)) {
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

namespace kavo {

void InstallSceneFileAccess(TKavoArchiveReader& reader) {
  scene::SetFileAccess(
      [&reader](std::string_view name, std::string& out) {
        return reader.OpenCurrentEntry(name, out) || scene::OpenDiskFile(name, out);
      },
      [&reader](std::string_view name) { return reader.CurrentHasEntry(name) || scene::DiskFileExists(name); });
}

}  // namespace kavo
