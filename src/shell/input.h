// Input dispatch: which engine object or script function receives each
// mouse and key event, in which order the candidates are tried, what counts
// as a hit and when an event stops travelling. Also the hover picking run
// by the hover timer.
#pragma once

#include "platform/platform.h"

namespace kavo {

class TKavoForm;

class TKavoInput {
 public:
  explicit TKavoInput(TKavoForm& form) : form_(form) {}

  // The handlers. `sender` is the Game object for simulated clicks.
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  void MouseMove(TShiftState shift, int x, int y);
  void MouseWheel(TShiftState shift, int delta, int x, int y);
  void KeyUp(int key, TShiftState shift);
  void HoverPicking();
  // Routes a platform event to its handler.
  void Dispatch(const TInputEvent& e);

  TShiftState lastShift = 0;

 private:
  TKavoForm& form_;
};

}  // namespace kavo
