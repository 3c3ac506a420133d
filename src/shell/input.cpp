#include "shell/input.h"

#include "game/kavogame.h"
#include "shell/kavoform.h"

namespace kavo {

void TKavoInput::MouseDown(TMouseButton, TShiftState, int, int) {}
void TKavoInput::MouseUp(TMouseButton, TShiftState, int, int) {}
void TKavoInput::MouseMove(TShiftState shift, int, int) { lastShift = shift; }
void TKavoInput::MouseWheel(TShiftState, int, int, int) {}
void TKavoInput::HoverPicking() {}

void TKavoInput::KeyUp(int key, TShiftState) {
  if (form_.halted || form_.Game() == nullptr) return;
  if (form_.Game()->Debug && key == 0x1B) {
    form_.cadencer->SetEnabled(false);
    form_.CloseMainWindow();
  }
}

void TKavoInput::Dispatch(const TInputEvent& e) {
  switch (e.kind) {
    case TInputEvent::Kind::MouseDown: MouseDown(e.button, e.shift, e.x, e.y); break;
    case TInputEvent::Kind::MouseUp: MouseUp(e.button, e.shift, e.x, e.y); break;
    case TInputEvent::Kind::MouseMove: MouseMove(e.shift, e.x, e.y); break;
    case TInputEvent::Kind::MouseWheel: MouseWheel(e.shift, e.wheelDelta, e.x, e.y); break;
    case TInputEvent::Kind::KeyUp: KeyUp(e.key, e.shift); break;
    default: break;
  }
}

}  // namespace kavo
