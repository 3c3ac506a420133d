// The log line writer. Every subsystem logs through it. Each line is
// appended to the log file at once (the file is opened and closed for every
// line, so the log is complete after a crash), indented by two blanks per
// level of nested script loading, and ended with CR LF. Write errors are
// swallowed: the line is lost and the caller goes on.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kavo {

class TKavoLog {
 public:
  // A longer line is cut, with a mark saying how much was left out.
  static constexpr size_t kMaxLine = size_t(64) << 10;
  // How lines reach the disk: (path, bytes, append). The engine hands its
  // file layer down at start-up; until then plain stdio writes.
  using TWriter = std::function<bool(const std::string& path, std::string_view data, bool append)>;
  void SetWriter(TWriter writer) { writer_ = std::move(writer); }

  // Creates or empties the log file; later lines are appended to it.
  void Start(const std::string& path);
  void Line(std::string_view message);
  void SetConsole(bool on) { console_ = on; }
  void Indent() { if (level_ < 255) ++level_; }
  void Outdent() { if (level_ > 0) --level_; }
  void SetLevel(unsigned level) { level_ = level; }
  unsigned Level() const { return level_; }
  const std::string& Path() const { return path_; }

 private:
  bool Write(std::string_view data, bool append) const;

  TWriter writer_;
  std::string path_;
  unsigned level_ = 0;
  bool console_ = false;
};

// The process's log.
TKavoLog& Log();
inline void KavoLog(std::string_view message) { Log().Line(message); }

}  // namespace kavo
