// Scripted input: a text file of timed events replayed on the frame clock,
// and the recorder that writes the same format from a live run. One event a
// line, "TIME EVENT ARGS", TIME in milliseconds of Game.CurrentTime:
//   250 move X Y
//   300 down BUTTON X Y [shift] [ctrl] [alt]     BUTTON: left, right, middle, other
//   320 up BUTTON X Y [shift] [ctrl] [alt]
//   400 wheel DELTA [X Y]                         DELTA: 120 per notch
//   500 keydown KEY        KEY: a VK_ name, a letter or digit, or a number
//   600 keyup KEY
// Blank lines and lines starting with "#" are ignored.
#pragma once

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kavo {

struct TTimedEvent {
  double timeMs = 0;
  TInputEvent event;
};

class TScriptedInput {
 public:
  // Parses a file's text; false with a message naming the line on error.
  bool Parse(const std::string& text, std::string& error);
  // Events due at this clock time (ms), in file order, with the shift state
  // of the buttons and keys the script holds.
  std::vector<TInputEvent> Due(double nowMs);
  bool Finished() const { return pending_.empty(); }
  // Keys and mouse buttons (VK_LBUTTON 1, VK_RBUTTON 2, VK_MBUTTON 4) the
  // script holds down at this moment.
  bool KeyHeld(int vk) const;
  size_t Count() const { return pending_.size(); }

 private:
  std::deque<TTimedEvent> pending_;
  std::set<int> held_;
};

// Writes events in the same format.
class TInputRecorder {
 public:
  // Starts the recording file; false (with the reason) when it cannot be written.
  bool Open(const std::string& path, std::string* error = nullptr);
  void Record(double timeMs, const TInputEvent& e);
  bool IsOpen() const { return !path_.empty(); }

 private:
  std::string path_;
};

std::string KeyName(int vk);
int KeyFromName(const std::string& name);  // 0 when unknown

}  // namespace kavo
