#include "shell/log.h"

#include <cstdio>

#include "platform/files.h"

namespace kavo {

void TKavoLog::Start(const std::string& path) {
  path_ = path;
  Files().WriteFile(path_, "");
}

void TKavoLog::Line(std::string_view message) {
  std::string line(level_ * 2, ' ');
  line.append(message);
  line += "\r\n";
  if (!path_.empty()) Files().AppendFile(path_, line);
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
