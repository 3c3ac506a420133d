// The file manager: turns a game file name (relative to the data folder,
// "\" or "/" as separators) into a location on disk, tolerating letter-case
// differences, or into an entry of a ".kvo" archive standing in for one
// folder of the path.
#pragma once

#include <string>
#include <string_view>

namespace kavo {

class TKavoArchiveReader;

struct TKavoFileLocation {
  // Empty when nothing was found. On disk: the path relative to the data
  // folder (or the absolute path asked for); in an archive: the path below
  // the archive. Uses "\" separators.
  std::string ResolvedPath;
  // Empty for disk files; else the archive's file name, e.g. "rooms.kvo".
  std::string ArchiveName;
  // Empty or a folder ending in "\": where the archive lies below the data folder.
  std::string ArchiveFolder;
};

// Resolves `name`. `dataFolder` is an absolute path ending in "/"; it is made
// the file layer's current directory first, and when that fails the location
// is left untouched. Tries, in order: the exact name; lower-case base and
// extension; the base as given with a lower-case and with an upper-case
// extension; every path component matched without regard to case; then an
// archive named after each leading folder of the path, outermost first.
void ResolveFileName(std::string_view name, std::string_view dataFolder, TKavoFileLocation& location);

// Reads the bytes a location stands for: the archive entry (opening the
// archive through the reader, which makes it current) or the disk file
// (relative to the file layer's current directory, which resolution left at
// the data folder). Returns false for an empty location, a missing file or a
// missing entry; raises EKavoError for a bad archive or a corrupt entry.
bool ReadFileLocation(const TKavoFileLocation& location, TKavoArchiveReader& reader, std::string& out);

// Lets the scene layer's loaders read through the archive reader: the
// current archive's entries first, else the disk, both without regard to
// letter case (scene::SetFileAccess).
void InstallSceneFileAccess(TKavoArchiveReader& reader);

}  // namespace kavo
