// The engine's file layer. The engine never changes the process's working
// directory: it keeps its own notion of the current directory here, and every
// file access of the engine goes through this layer. Names may use "\" or "/"
// as separators; a name starting with "/" is absolute, anything else is
// relative to the current directory.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/strings.h"

namespace kavo {

class TFileLayer {
 public:
  TFileLayer();

  // Absolute path of the current directory, always ending in "/".
  const std::string& CurrentDir() const { return current_; }
  // Makes a directory current. Fails (and changes nothing) when it does not exist.
  bool SetCurrentDir(std::string_view dir);

  // The absolute path a name stands for (separators turned into "/").
  std::string Absolute(std::string_view name) const;

  bool FileExists(std::string_view name) const;  // a regular file
  bool DirExists(std::string_view name) const;
  // Size of a regular file, or -1.
  long long FileSize(std::string_view name) const;

  // Finds a file whose every path component matches the name without regard
  // to letter case. Returns the name with the spelling found on disk, in the
  // same relative or absolute form and with "/" separators.
  std::optional<std::string> FindIgnoringCase(std::string_view name) const;

  // The walk behind it, with the question "how is this component spelled in
  // this directory?" left to the caller (the file manager answers it from
  // cached listings): `match(directory, component, isLast)` gets an
  // absolute directory ending in "/" and returns the spelling on disk, or
  // nothing. The last component must name a file.
  using TComponentMatch =
      std::function<std::optional<std::string>(const std::string& dir, const std::string& comp, bool last)>;

  // Reads a whole file. Fails when the file is missing, unreadable, not a
  // regular file (a FIFO is refused at once, never waited on) or larger than
  // the limit; the error text then says why.
  bool ReadFile(std::string_view name, std::string& out, std::string* error = nullptr,
                size_t limit = kDefaultReadLimit) const;
  // Regular files only: a FIFO or device named here is refused, never waited for.
  bool WriteFile(std::string_view name, std::string_view data, std::string* error = nullptr) const;  // create or truncate
  bool AppendFile(std::string_view name, std::string_view data, std::string* error = nullptr) const;  // create if missing
  // Replaces the file whole or not at all: the data goes to a temporary file
  // beside it, is synced and renamed over it. On any failure the temporary
  // is removed, the old file is left as it was and the error says why.
  bool WriteFileAtomic(std::string_view name, std::string_view data, std::string* error = nullptr) const;
  // For tests: atomic writes fail after this many bytes (-1: never).
  long long atomicWriteFaultAfter = -1;

  // File names (not paths) in a directory matching a wildcard with "*" and "?",
  // compared without regard to case, sorted by name.
  std::vector<std::string> List(std::string_view dir, std::string_view wildcard) const;

  static constexpr size_t kDefaultReadLimit = size_t(512) << 20;

 private:
  std::string current_;
};

// The process's file layer.
TFileLayer& Files();

using TComponentMatch = TFileLayer::TComponentMatch;
std::optional<std::string> MatchComponents(std::string_view name, const std::string& currentDir,
                                           const TComponentMatch& match);

// Directory of the running executable, ending in "/".
std::string ExecutableDirectory();

}  // namespace kavo
