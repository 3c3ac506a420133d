#include "core/log.h"

#include <cstdio>


namespace kavo {

bool TKavoLog::Write(std::string_view data, bool append) const {
  if (writer_) return writer_(path_, data, append);
  std::FILE* f = std::fopen(path_.c_str(), append ? "ab" : "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

void TKavoLog::Start(const std::string& path) {
  path_ = path;
  Write("", false);
}

void TKavoLog::Line(std::string_view message) {
  std::string line(level_ * 2, ' ');
  line.append(message);
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
