#include "shell/input.h"

#include <algorithm>

#include "game/kavogame.h"
#include "scene/staticmesh.h"
#include "script/environment.h"
#include "shell/kavoform.h"
#include "shell/scenetree.h"
#include "visual/kavomesh.h"
#include "world/kavodummy.h"
#include "world/kavoroom.h"

namespace kavo {

namespace {

using Event = TKavoInput::Event;
constexpr int kVkEscape = 0x1B, kVkF5 = 0x74, kVkF6 = 0x75, kVkF7 = 0x76, kVkF8 = 0x77, kVkF10 = 0x79;

const std::string& HandlerFor(const TKavoMouseEvents& o, Event e) {
  switch (e) {
    case Event::Down: return o.OnMouseDown;
    case Event::Up: return o.OnMouseUp;
    case Event::Move: return o.OnMouseMove;
    default: return o.OnMouseWheel;
  }
}

// A snapshot of a registry as handles, newest first: the candidate order
// of HUD texts, HUD sprites, actors and meshes. Handlers may create or
// destroy objects while the dispatch walks it.
std::vector<TObjectHandle> NewestFirst(const std::vector<TKavo_ScriptClass*>& list) {
  std::vector<TObjectHandle> out;
  out.reserve(list.size());
  for (auto it = list.rbegin(); it != list.rend(); ++it) out.push_back((*it)->Handle());
  return out;
}

TKavoMouseEvents* AsMouseEvents(TKavoForm& form, TObjectHandle h) {
  TKavo_ScriptClass* o = form.handles.Resolve(h);
  if (!o || !o->Info().InheritsFrom(TKavoMouseEvents::StaticInfo())) return nullptr;
  return static_cast<TKavoMouseEvents*>(o);
}

// Shown (Visible exactly true) and with a handler for the event.
bool IsCandidate(const TKavoMouseEvents& o, Event e) {
  return o.Node() != nullptr && o.visibleFlag && o.Node()->Visible() && !HandlerFor(o, e).empty();
}

void Deliver(TKavoMouseEvents& o, Event e, TMouseButton b, TShiftState s, int x, int y, int delta) {
  switch (e) {
    case Event::Down: o.MouseDown(b, s, x, y); break;
    case Event::Up: o.MouseUp(b, s, x, y); break;
    case Event::Move: o.MouseMove(s, x, y); break;
    case Event::Wheel: o.MouseWheel(s, delta, x, y); break;
  }
}

int CodeOf(TMouseButton b) { return ButtonCode(b); }

}  // namespace

// ---------------------------------------------------------------- helpers

bool TKavoInput::Halted() const { return form_.halted; }

void TKavoInput::UpdatePointer(int x, int y) {
  TGameClass* g = form_.Game();
  if (!g) return;
  if (form_.scene && form_.scene->fullscreenActive) {
    form_.platform.GetCursorPos(x, y);
  }
  g->MouseX = x;
  g->MouseY = y;
}

scene::Ray TKavoInput::PointerRay() const {
  TGameClass* g = form_.Game();
  scene::View& view = form_.scene->ActiveView();
  scene::Ray ray = view.ScreenToRay(static_cast<float>(g->MouseX), static_cast<float>(view.Height() - g->MouseY));
  ray.origin = form_.scene->mainCamera->AbsolutePosition();
  return ray;
}

void TKavoInput::CallBindings(int code, bool release, bool anyRelease, const TKavo_ScriptFunctionData& args) {
  TGameClass* g = form_.Game();
  if (!g) return;
  // Bindings may be added or removed by the functions they call.
  std::vector<TBinding> snapshot = g->bindings;
  for (const TBinding& b : snapshot) {
    if (b.key != code || (!anyRelease && b.onRelease != release)) continue;
    form_.LoadGuiScript();
    form_.Script().CallWithData(b.function, args);
    if (form_.halted || form_.quitRequest || form_.Game() == nullptr) return;
  }
}

// Actors and meshes: the first candidate, newest first, whose model the
// pointer ray meets (whatever its distance).
TKavoMouseEvents* TKavoInput::FirstHit(const std::vector<TKavo_ScriptClass*>& list, Event e, const scene::Ray& ray) {
  for (TObjectHandle h : NewestFirst(list)) {
    TKavoMouseEvents* o = AsMouseEvents(form_, h);
    if (!o || !IsCandidate(*o, e)) continue;
    auto* mesh = dynamic_cast<scene::StaticMeshNode*>(o->Node());
    if (mesh && mesh->RayIntersect(ray)) return o;
  }
  return nullptr;
}

// HUD texts and sprites hit at a pixel: THudClass objects with a mouse
// rectangle (their own hit test).
std::vector<TObjectHandle> TKavoInput::HudHits(const std::vector<TKavo_ScriptClass*>& list, Event e, int x, int y) {
  std::vector<TObjectHandle> hits;
  for (TObjectHandle h : NewestFirst(list)) {
    TKavoMouseEvents* o = AsMouseEvents(form_, h);
    if (!o || !IsCandidate(*o, e) || !hudHitTest || !hudHitTest(*o, x, y)) continue;
    hits.push_back(h);
  }
  return hits;
}

bool TKavoInput::DeliverHud(const std::vector<TKavo_ScriptClass*>& list, Event e, int x, int y, bool all,
                            TMouseButton b, TShiftState s, int delta) {
  bool any = false;
  for (TObjectHandle h : HudHits(list, e, x, y)) {
    TKavoMouseEvents* o = AsMouseEvents(form_, h);
    if (!o) continue;
    form_.LoadGuiScript();
    if ((o = AsMouseEvents(form_, h)) == nullptr) continue;
    Deliver(*o, e, b, s, x, y, delta);
    any = true;
    if (!all || form_.halted) break;
  }
  return any;
}

TDummyClass* TKavoInput::MouseTarget() {
  // Every shown box under mousetargets that holds Mousedummy's position;
  // the last such box wins. Boxes are paired with their dummies by owner.
  scene::GroupNode& targets = *form_.scene->mousetargets;
  glm::vec3 p = form_.scene->mousedummy->AbsolutePosition();
  for (size_t i = targets.ChildCount(); i-- > 0;) {
    auto* box = dynamic_cast<scene::GroupNode*>(targets.Child(i));
    if (!box || !box->Visible() || !box->PointInside(p)) continue;
    auto it = form_.nodeOwners.find(box);
    if (it == form_.nodeOwners.end()) continue;
    TKavo_ScriptClass* o = form_.handles.Resolve(it->second);
    if (o && o->Info().InheritsFrom(TDummyClass::StaticInfo())) return static_cast<TDummyClass*>(o);
  }
  return nullptr;
}

void TKavoInput::WalkClick(const glm::vec3& point, const glm::vec3& normal) {
  scene::StaticMeshNode& pawns = *form_.scene->walkpawns;
  pawns.Show();
  if (walkClick) walkClick(point);  // the actors' walk points
  pawns.SetPosition(point);
  if (glm::length(normal) > 0) pawns.SetDirection(glm::normalize(normal));
}

bool TKavoInput::RoomPress(const scene::Ray& ray, TShiftState shift, const std::function<void(TDummyClass&)>& deliver) {
  // Only a plain left press walks or reaches a dummy's box.
  if (shift != kShiftLeft) return false;
  auto hit = form_.roomHolder->Model().RayIntersect(ray);
  if (!hit) {
    form_.scene->walkpawns->Hide();
    return false;
  }
  if (TDummyClass* d = MouseTarget()) {
    deliver(*d);
    return true;
  }
  WalkClick(hit->point, hit->normal);
  return false;
}

bool TKavoInput::MoveOverHud(const std::vector<TKavo_ScriptClass*>& list, TShiftState shift, int x, int y) {
  for (TObjectHandle h : HudHits(list, Event::Move, x, y)) {
    if (AsMouseEvents(form_, h) == nullptr) continue;
    form_.LoadGuiScript();
    if (TKavoMouseEvents* o = AsMouseEvents(form_, h)) o->MouseMove(shift, x, y);
    form_.hover2D = true;
    return true;
  }
  return false;
}

bool TKavoInput::RoomReady() const {
  return form_.roomHolder && form_.roomHolder->HasModel();
}

void TKavoInput::CallRoom(const std::string& event, const TKavo_ScriptFunctionData& args) {
  if (!form_.roomHolder) return;
  CallEvent(form_, "scripts\\" + form_.roomScriptFile, "on" + form_.roomName + event, args);
}

// ---------------------------------------------------------------- handlers

void TKavoInput::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (Halted() || form_.Game() == nullptr) return;
  if (capturedDown) capturedDown(button, shift, x, y);
  TKavo_ScriptFunctionData none;
  CallBindings(CodeOf(button), false, false, none);
  TGameClass* g = form_.Game();
  if (Halted() || !g || !g->MouseEnabled) return;
  UpdatePointer(x, y);
  if (inventoryDown && inventoryDown(button, g->MouseX, g->MouseY)) return;
  if (DeliverHud(form_.hudTexts, Event::Down, g->MouseX, g->MouseY, true, button, shift, 0)) return;
  if (DeliverHud(form_.hudSprites, Event::Down, x, y, true, button, shift, 0)) return;
  if ((g = form_.Game()) == nullptr || g->DisableScene || Halted()) return;
  scene::Ray ray = PointerRay();
  if (TKavoMouseEvents* a = FirstHit(form_.actors, Event::Down, ray)) {
    a->MouseDown(button, shift, x, y);
    return;
  }
  if (TKavoMouseEvents* m = FirstHit(form_.meshes, Event::Down, ray)) {
    m->MouseDown(button, shift, x, y);
    return;
  }
  if (!RoomReady()) return;
  const bool handled = RoomPress(ray, shift, [&](TDummyClass& d) { d.MouseDown(button, shift, x, y); });
  if (!handled && !Halted() && form_.scene->roomModel->Visible()) {
    TKavo_ScriptFunctionData d;
    d.Args.emplace_back(CodeOf(button));
    CallRoom("MouseDown", d);
  }
}

void TKavoInput::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (Halted() || form_.Game() == nullptr) return;
  if (capturedUp) capturedUp(button, shift, x, y);
  TKavo_ScriptFunctionData none;
  CallBindings(CodeOf(button), true, false, none);
  TGameClass* g = form_.Game();
  if (Halted() || !g || !g->MouseEnabled) return;
  UpdatePointer(x, y);
  if (inventoryUp && inventoryUp(button, g->MouseX, g->MouseY)) return;
  if (DeliverHud(form_.hudTexts, Event::Up, g->MouseX, g->MouseY, false, button, shift, 0)) return;
  if (DeliverHud(form_.hudSprites, Event::Up, x, y, false, button, shift, 0)) return;
  if ((g = form_.Game()) == nullptr || g->DisableScene || Halted()) return;
  scene::Ray ray = PointerRay();
  // Every hit actor receives the release, and the dispatch goes on.
  for (TObjectHandle h : NewestFirst(form_.actors)) {
    TKavoMouseEvents* a = AsMouseEvents(form_, h);
    if (!a || !IsCandidate(*a, Event::Up)) continue;
    auto* mesh = dynamic_cast<scene::StaticMeshNode*>(a->Node());
    if (mesh && mesh->RayIntersect(ray)) a->MouseUp(button, shift, x, y);
    if (Halted()) return;
  }
  if (TKavoMouseEvents* m = FirstHit(form_.meshes, Event::Up, ray)) {
    m->MouseUp(button, shift, x, y);
    return;
  }
  if (!RoomReady()) return;
  bool handled = false;
  if (shift == kShiftLeft && form_.roomHolder->Model().RayIntersect(ray)) {
    if (TDummyClass* d = MouseTarget()) {
      d->MouseUp(button, shift, x, y);
      handled = true;
    }
  }
  if (!handled && !Halted() && form_.scene->roomModel->Visible()) {
    TKavo_ScriptFunctionData d;
    d.Args.emplace_back(CodeOf(button));
    CallRoom("MouseUp", d);
  }
}

void TKavoInput::MouseMove(TShiftState shift, int x, int y) {
  TGameClass* g = form_.Game();
  if (Halted() || g == nullptr) return;
  lastShift = shift;
  scene::CameraNode& cam = *form_.scene->mainCamera;
  // Camera orbit.
  if (g->MouseMoveAroundTarget) {
    if (cam.Target()) cam.MoveAroundTarget(*cam.Target(), static_cast<float>(g->MouseY - y), static_cast<float>(g->MouseX - x));
    form_.freeCamera = true;
  } else {
    form_.freeCamera = false;
  }
  if (g->Debug && shift != 0) {
    if ((shift & kShiftCtrl) && (shift & kShiftLeft)) {
      if (cam.Target()) cam.MoveAroundTarget(*cam.Target(), static_cast<float>(g->MouseY - y), static_cast<float>(g->MouseX - x));
      form_.freeCamera = true;
    } else {
      form_.freeCamera = false;
    }
  }
  // Mouse look: the delta applied is that of the previous event.
  if (g->MouseLook) {
    int dx = form_.lastCursorX - form_.screenCentreX;
    int dy = -(form_.lastCursorY - form_.screenCentreY);
    if (g->MouseLookInvert) dy = -dy;
    if (dx != 0 && cam.Parent()) cam.Parent()->Turn(static_cast<float>(dx));
    if (dy != 0 && cam.Target()) cam.MoveAroundTarget(*cam.Target(), static_cast<float>(dy), 0.0f);
    form_.scene->cameraposition->SetPosition(cam.Position());
    if (form_.lastCursorX != form_.screenCentreX || form_.lastCursorY != form_.screenCentreY)
      form_.platform.SetCursorPos(form_.screenCentreX, form_.screenCentreY);
    form_.platform.GetCursorPos(form_.lastCursorX, form_.lastCursorY);
  }
  UpdatePointer(x, y);
  form_.RunOneFrame();
  if (Halted()) return;
  if (capturedMove) capturedMove(shift, x, y);
  if (MoveOverHud(form_.hudTexts, shift, x, y) || MoveOverHud(form_.hudSprites, shift, x, y)) return;
  form_.hover2D = false;
}

void TKavoInput::MouseWheel(TShiftState shift, int delta, int x, int y) {
  if (Halted() || form_.Game() == nullptr) return;
  if (capturedWheel) capturedWheel(shift, delta, x, y);
  TKavo_ScriptFunctionData args;
  args.Args.emplace_back(delta);
  CallBindings(128, false, true, args);
  TGameClass* g = form_.Game();
  if (Halted() || !g || !g->MouseEnabled) return;
  if (inventoryWheel && inventoryWheel(g->MouseX, g->MouseY, delta)) return;
  if (DeliverHud(form_.hudTexts, Event::Wheel, g->MouseX, g->MouseY, true, TMouseButton::Other, shift, delta)) return;
  if (DeliverHud(form_.hudSprites, Event::Wheel, x, y, true, TMouseButton::Other, shift, delta)) return;
  if ((g = form_.Game()) == nullptr || g->DisableScene || Halted()) return;
  scene::Ray ray = PointerRay();
  if (TKavoMouseEvents* a = FirstHit(form_.actors, Event::Wheel, ray)) {
    a->MouseWheel(shift, delta, x, y);
    return;
  }
  if (TKavoMouseEvents* m = FirstHit(form_.meshes, Event::Wheel, ray)) {
    m->MouseWheel(shift, delta, x, y);
    return;
  }
  if (!RoomReady()) return;
  const bool handled = RoomPress(ray, shift, [&](TDummyClass& d) { d.MouseWheel(shift, delta, x, y); });
  if (!handled && !Halted()) CallRoom("MouseWheel", args);
}

void TKavoInput::KeyUp(int key, TShiftState shift) {
  TGameClass* g = form_.Game();
  if (Halted() || g == nullptr) return;
  if (g->Debug) {
    TKavoScene& sc = *form_.scene;
    switch (key) {
      case kVkEscape:
        form_.cadencer->SetEnabled(false);
        form_.CloseMainWindow();
        return;
      case kVkF5: sc.sceneshadows->SetVisible(!sc.sceneshadows->Visible()); break;
      case kVkF6:
        if (shift & kShiftShift)
          sc.roomModel->SetVisible(!sc.roomModel->Visible());
        else if (shift & kShiftCtrl)
          sc.walkArea->SetVisible(!sc.walkArea->Visible());
        else if (toggleActorSpheres)
          toggleActorSpheres();
        break;
      case kVkF7: {
        form_.contextReset = true;
        scene::View& v = sc.ActiveView();
        v.antiAliasing = v.antiAliasing == 0 ? 2 : 0;
        break;
      }
      case kVkF8: SetMouseTargetMarkers(!form_.mouseTargetsVisible); break;
      case kVkF10: g->Fullscreen = !sc.fullscreenActive; break;
      default: break;
    }
  }
  TKavo_ScriptFunctionData none;
  CallBindings(key, true, false, none);
}

void TKavoInput::SetMouseTargetMarkers(bool on) {
  form_.mouseTargetsVisible = on;
  scene::GroupNode& targets = *form_.scene->mousetargets;
  for (size_t i = 0; i < targets.ChildCount(); ++i)
    if (auto* box = dynamic_cast<scene::GroupNode*>(targets.Child(i))) box->SetVisibleAtRunTime(on);
}

void TKavoInput::HoverPicking() {
  TGameClass* g = form_.Game();
  if (Halted() || form_.quitRequest || form_.hover2D || g == nullptr) return;
  if (g->DisableScene || !form_.roomHolder) return;
  scene::Ray ray = PointerRay();
  const int mx = g->MouseX, my = g->MouseY;
  if (TKavoMouseEvents* a = FirstHit(form_.actors, Event::Move, ray)) {
    a->MouseMove(lastShift, mx, my);
    return;
  }
  if (TKavoMouseEvents* m = FirstHit(form_.meshes, Event::Move, ray)) {
    m->MouseMove(lastShift, mx, my);
    return;
  }
  if (RoomReady()) {
    if (auto hit = form_.roomHolder->Model().RayIntersect(ray)) {
      scene::GroupNode& md = *form_.scene->mousedummy;
      md.SetPosition(hit->point);
      if (glm::length(hit->normal) > 0) md.SetDirection(glm::normalize(hit->normal));
      if (TDummyClass* d = MouseTarget()) {
        d->MouseMove(lastShift, mx, my);
        return;
      }
    }
  }
  if (!Halted() && form_.scene->roomModel->Visible()) CallRoom("MouseMove", {});
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
