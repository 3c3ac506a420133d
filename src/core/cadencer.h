// The frame clock and the periodic timers. Both run on one time source: the
// platform's high-resolution counter, or, in fixed-step runs and tests, a
// virtual counter advanced by exact steps.
#pragma once

#include <functional>
#include <string>

namespace kavo {

class TTimeSource {
 public:
  virtual ~TTimeSource() = default;
  virtual double Now() = 0;  // seconds
};

// Current time = the sum of the frame deltas so far, each already scaled by
// the time multiplier, so changing the multiplier or setting the current
// time never makes the clock run backwards or stall.
class TCadencer {
 public:
  static constexpr double kMinDelta = 0.0001;
  static constexpr double kMaxDelta = 0.1;

  explicit TCadencer(TTimeSource& source) : source_(source) {}

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  double TimeMultiplier() const { return multiplier_; }
  void SetTimeMultiplier(double m) { multiplier_ = m; }
  double CurrentTime() const { return current_; }
  void SetCurrentTime(double t) { current_ = t; }

  // One progress: computes the delta since the last step (cut to 0.1 s, so
  // a long pause gives one 0.1 s step and the lost time is not replayed);
  // below 0.0001 s nothing happens. Returns whether a step was made, with
  // the scaled delta.
  bool Progress(double& delta);

 private:
  TTimeSource& source_;
  bool enabled_ = false;
  bool started_ = false;
  double multiplier_ = 1.0;
  double current_ = 0.0;
  double last_ = 0.0;  // source time of the last step
};

// A periodic timer run by the main loop on the same time source. When the
// loop falls behind, a due timer fires once and is rescheduled from now, so
// timers never fire in bursts.
class TKavoTimer {
 public:
  TKavoTimer(std::string name, double interval) : name_(std::move(name)), interval_(interval) {}
  void SetEnabled(bool on, double now);
  bool Enabled() const { return enabled_; }
  double Interval() const { return interval_; }
  bool Due(double now) const { return enabled_ && now >= next_; }
  void Fired(double now) { next_ = now + interval_; }
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
  double interval_;
  bool enabled_ = false;
  double next_ = 0.0;
};

}  // namespace kavo
