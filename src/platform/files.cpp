#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>
#include <limits.h>

namespace kavo {

std::string ExecutableDirectory() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return "./";
  buf[n] = 0;
  std::string p(buf);
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? std::string("./") : p.substr(0, slash + 1);
}

namespace {

std::string InitialDir() {
  char buf[PATH_MAX];
  if (getcwd(buf, sizeof(buf)) == nullptr) return "/";
  std::string s(buf);
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

bool StatKind(const std::string& path, bool wantDir, long long* size = nullptr) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  if (wantDir) return S_ISDIR(st.st_mode);
  if (!S_ISREG(st.st_mode)) return false;
  if (size) *size = static_cast<long long>(st.st_size);
  return true;
}

bool WildcardMatch(std::string_view pat, std::string_view s) {
  size_t p = 0, i = 0, star = std::string_view::npos, mark = 0;
  auto eq = [](char a, char b) {
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    return a == b;
  };
  while (i < s.size()) {
    if (p < pat.size() && (pat[p] == '?' || eq(pat[p], s[i]))) {
      ++p;
      ++i;
    } else if (p < pat.size() && pat[p] == '*') {
      star = p++;
      mark = i;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      i = ++mark;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  return p == pat.size();
}

// Opens a regular file and nothing else: a FIFO, device or socket is refused
// at once instead of waiting for a writer or reader (O_NONBLOCK keeps open()
// itself from waiting; the descriptor is made blocking again for the I/O).
int OpenRegular(const std::string& abs, int flags, std::string& why) {
  struct stat st;
  if (stat(abs.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    why = "Not a file";
    return -1;
  }
  int fd = open(abs.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) {
    why = std::strerror(errno);
    return -1;
  }
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    why = "Not a file";
    return -1;
  }
  const int fl = fcntl(fd, F_GETFL);
  if (fl != -1) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return fd;
}

bool WriteAll(int fd, std::string_view data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t w = write(fd, data.data() + done, data.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += static_cast<size_t>(w);
  }
  return true;
}

bool WriteWith(const std::string& abs, int flags, std::string_view data, std::string* error) {
  std::string why;
  const int fd = OpenRegular(abs, O_WRONLY | O_CREAT | flags, why);
  if (fd < 0) {
    if (error) *error = "Cannot write file \"" + abs + "\". " + why;
    return false;
  }
  const bool ok = WriteAll(fd, data);
  const int saved = errno;
  const bool closed = close(fd) == 0;
  if ((!ok || !closed) && error) *error = "Cannot write file \"" + abs + "\". " + std::strerror(ok ? errno : saved);
  return ok && closed;
}

}  // namespace

TFileLayer::TFileLayer() : current_(InitialDir()) {}

std::string TFileLayer::Absolute(std::string_view name) const {
  std::string n = ToSlashes(name);
  if (!n.empty() && n[0] == '/') return n;
  return current_ + n;
}

bool TFileLayer::SetCurrentDir(std::string_view dir) {
  std::string abs = Absolute(dir);
  if (abs.empty()) return false;
  if (!StatKind(abs, true)) return false;
  if (abs.back() != '/') abs += '/';
  char buf[PATH_MAX];
  // Keep the directory in a canonical form so "..\game" does not pile up.
  if (realpath(abs.c_str(), buf) != nullptr) {
    abs = buf;
    if (abs.back() != '/') abs += '/';
  }
  current_ = abs;
  return true;
}

bool TFileLayer::FileExists(std::string_view name) const {
  if (name.empty()) return false;
  return StatKind(Absolute(name), false);
}

bool TFileLayer::DirExists(std::string_view name) const { return StatKind(Absolute(name), true); }

long long TFileLayer::FileSize(std::string_view name) const {
  long long size = -1;
  if (name.empty() || !StatKind(Absolute(name), false, &size)) return -1;
  return size;
}

std::optional<std::string> MatchComponents(std::string_view name, const std::string& currentDir,
                                           const TComponentMatch& match) {
  std::string n = ToSlashes(name);
  if (n.empty()) return std::nullopt;
  const bool absolute = n[0] == '/';
  std::string base = absolute ? std::string("/") : currentDir;
  std::string found = absolute ? std::string("/") : std::string();
  size_t pos = absolute ? 1 : 0;
  for (;;) {
    const size_t next = n.find('/', pos);
    const bool last = next == std::string::npos;
    const std::string comp = n.substr(pos, last ? std::string::npos : next - pos);
    pos = last ? n.size() : next + 1;
    if (comp.empty() || comp == "." || comp == "..") {
      if (last) return std::nullopt;
      if (!comp.empty()) {
        base += comp + "/";
        found += comp + "/";
      }
      continue;
    }
    std::optional<std::string> spelled = match(base, comp, last);
    if (!spelled) return std::nullopt;
    if (last) return found + *spelled;
    base += *spelled + "/";
    found += *spelled + "/";
  }
}

std::optional<std::string> TFileLayer::FindIgnoringCase(std::string_view name) const {
  return MatchComponents(name, current_, [](const std::string& dir, const std::string& comp,
                                            bool last) -> std::optional<std::string> {
    std::string spelled;
    struct stat st;
    if (stat((dir + comp).c_str(), &st) == 0) {
      spelled = comp;
    } else {
      DIR* d = opendir(dir.c_str());
      if (d == nullptr) return std::nullopt;
      while (dirent* e = readdir(d)) {
        if (SameTextIgnoringCase(e->d_name, comp)) {
          spelled = e->d_name;
          break;
        }
      }
      closedir(d);
      if (spelled.empty()) return std::nullopt;
    }
    if (last && !StatKind(dir + spelled, false)) return std::nullopt;
    return spelled;
  });
}

bool TFileLayer::ReadFile(std::string_view name, std::string& out, std::string* error,
                          size_t limit) const {
  std::string abs = Absolute(name);
  std::string why;
  int fd = OpenRegular(abs, O_RDONLY, why);
  if (fd < 0) {
    if (error) *error = "Cannot open file \"" + ToBackslashes(name) + "\". " + why;
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    close(fd);
    if (error) *error = "Cannot open file \"" + ToBackslashes(name) + "\". " + std::strerror(errno);
    return false;
  }
  if (static_cast<unsigned long long>(st.st_size) > limit) {
    close(fd);
    if (error) *error = "File \"" + ToBackslashes(name) + "\" is too large";
    return false;
  }
  out.assign(static_cast<size_t>(st.st_size), '\0');
  size_t got = 0;
  while (got < out.size()) {
    ssize_t r = read(fd, out.data() + got, out.size() - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  close(fd);
  out.resize(got);
  return true;
}

bool TFileLayer::WriteFile(std::string_view name, std::string_view data, std::string* error) const {
  return WriteWith(Absolute(name), O_TRUNC, data, error);
}

bool TFileLayer::WriteFileAtomic(std::string_view name, std::string_view data, std::string* error) const {
  const std::string abs = Absolute(name);
  const size_t slash = abs.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : abs.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? abs : abs.substr(slash + 1);
  const auto fail = [&](const std::string& why) {
    if (error) *error = "Cannot write file \"" + abs + "\". " + why;
    return false;
  };
  struct stat st {};
  if (lstat(abs.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return fail("It is not a regular file.");
  std::string tmpl = dir + "." + base + ".XXXXXX";
  if (tmpl.size() >= PATH_MAX) return fail("The name is too long.");
  std::vector<char> path(tmpl.begin(), tmpl.end());
  path.push_back('\0');
  const int fd = mkstemp(path.data());
  if (fd < 0) return fail(std::strerror(errno));
  const std::string tmp(path.data());
  std::string_view part = data;
  bool faulted = false;
  if (atomicWriteFaultAfter >= 0 && static_cast<size_t>(atomicWriteFaultAfter) < data.size()) {
    part = data.substr(0, static_cast<size_t>(atomicWriteFaultAfter));
    faulted = true;
  }
  bool ok = WriteAll(fd, part) && !faulted;
  int saved = faulted ? EIO : errno;
  if (ok && fsync(fd) != 0) ok = false, saved = errno;
  if (close(fd) != 0 && ok) ok = false, saved = errno;
  // A new file gets the usual permissions (mkstemp makes it private).
  if (ok) fchmodat(AT_FDCWD, tmp.c_str(), 0644, 0);
  if (ok && rename(tmp.c_str(), abs.c_str()) != 0) ok = false, saved = errno;
  if (!ok) {
    unlink(tmp.c_str());
    return fail(std::strerror(saved));
  }
  return true;
}

bool TFileLayer::AppendFile(std::string_view name, std::string_view data, std::string* error) const {
  return WriteWith(Absolute(name), O_APPEND, data, error);
}

std::vector<std::string> TFileLayer::List(std::string_view dir, std::string_view wildcard) const {
  std::vector<std::string> names;
  std::string abs = Absolute(dir);
  if (!abs.empty() && abs.back() != '/') abs += '/';
  DIR* d = opendir(abs.c_str());
  if (!d) return names;
  while (dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    if (WildcardMatch(wildcard, e->d_name) && StatKind(abs + e->d_name, false)) names.emplace_back(e->d_name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

TFileLayer& Files() {
  static TFileLayer layer;
  return layer;
}

}  // namespace kavo
