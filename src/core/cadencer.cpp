#include "core/cadencer.h"

namespace kavo {

void TCadencer::SetEnabled(bool on) {
  if (on && !enabled_) {
    // Restart the measurement so that time spent switched off is not replayed.
    last_ = source_.Now();
    started_ = true;
  }
  enabled_ = on;
}

bool TCadencer::Progress(double& delta) {
  if (!enabled_) return false;
  double now = source_.Now();
  if (!started_) {
    last_ = now;
    started_ = true;
  }
  double real = now - last_;
  if (real < kMinDelta) return false;
  last_ = now;  // a longer gap is cut below: the lost time is not replayed
  delta = real * multiplier_;
  if (!(delta > 0)) delta = 0;  // a zero or negative multiplier holds the clock
  if (delta > kMaxDelta) delta = kMaxDelta;
  current_ += delta;
  return true;
}

void TKavoTimer::SetEnabled(bool on, double now) {
  if (on && !enabled_) next_ = now + interval_;
  enabled_ = on;
}

}  // namespace kavo
