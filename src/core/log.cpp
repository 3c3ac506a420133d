#include "core/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>


namespace kavo {

bool TKavoLog::Write(std::string_view data, bool append) const {
  if (writer_) return writer_(path_, data, append);
  // Until the engine hands its file layer down: a regular file only, never
  // waiting on a FIFO.
  struct stat st;
  if (stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
  const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0644);
  if (fd < 0) return false;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  for (size_t done = 0; ok && done < data.size();) {
    const ssize_t w = write(fd, data.data() + done, data.size() - done);
    ok = w > 0;
    if (ok) done += static_cast<size_t>(w);
  }
  return close(fd) == 0 && ok;
}

void TKavoLog::Start(const std::string& path) {
  path_ = path;
  Write("", false);
}

void TKavoLog::Line(std::string_view message) {
  std::string line(level_ * 2, ' ');
  if (message.size() > kMaxLine) {
    line.append(message.substr(0, kMaxLine));
    line += " [... " + std::to_string(message.size() - kMaxLine) + " more bytes cut]";
  } else {
    line.append(message);
  }
  line += "\r\n";
  if (!path_.empty()) Write(line, true);
  if (console_) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
  }
}

TKavoLog& Log() {
  static TKavoLog log;
  return log;
}

}  // namespace kavo
