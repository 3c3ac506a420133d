#include "shell/input.h"

#include <algorithm>

#include "game/kavogame.h"
#include "hud/kavoinventory.h"
#include "hud/kavohudtext.h"
#include "scene/scenetree.h"
#include "scene/staticmesh.h"
#include "script/context.h"
#include "script/environment.h"
#include "shell/kavoform.h"
#include "visual/kavomesh.h"
#include "world/kavodummy.h"
#include "world/kavoroom.h"
#include "world/kavoactor.h"
#include "world/world_classes.h"

namespace kavo {

namespace {

using Kind = TPointerEvent::Kind;
constexpr int kVkEscape = 0x1B, kVkF5 = 0x74, kVkF6 = 0x75, kVkF7 = 0x76, kVkF8 = 0x77, kVkF10 = 0x79;
constexpr int kWheelBindingCode = 128;

// Which of the four handler names an event asks for.
enum THandler { kDownHandler, kUpHandler, kMoveHandler, kWheelHandler };

THandler HandlerOf(Kind k) {
  switch (k) {
    case Kind::Down: return kDownHandler;
    case Kind::Up: return kUpHandler;
    default: return kWheelHandler;
  }
}

const std::string& HandlerName(const TKavoMouseEvents& o, int h) {
  switch (h) {
    case kDownHandler: return o.OnMouseDown;
    case kUpHandler: return o.OnMouseUp;
    case kMoveHandler: return o.OnMouseMove;
    default: return o.OnMouseWheel;
  }
}

TKavoMouseEvents* AsMouseEvents(TKavoContext& ctx, TObjectHandle h) {
  return ResolveAs<TKavoMouseEvents>(ctx.handles, h);
}

// Shown (Visible exactly true) and with a handler for the event.
bool IsCandidate(const TKavoMouseEvents& o, int handler) {
  return o.Node() != nullptr && o.visibleFlag && o.Node()->Visible() && !HandlerName(o, handler).empty();
}

void Deliver(TKavoMouseEvents& o, const TPointerEvent& e) {
  switch (e.kind) {
    case Kind::Down: o.MouseDown(e.button, e.shift, e.x, e.y); break;
    case Kind::Up: o.MouseUp(e.button, e.shift, e.x, e.y); break;
    case Kind::Wheel: o.MouseWheel(e.shift, e.delta, e.x, e.y); break;
  }
}

bool RayHits(const TKavoMouseEvents& o, const scene::Ray& ray) {
  if (auto* actor = dynamic_cast<const TActorClass*>(&o)) return ActorRayHits(*actor, ray);
  auto* mesh = dynamic_cast<scene::StaticMeshNode*>(o.Node());
  return mesh && mesh->RayIntersect(ray);
}

}  // namespace

TKavoInput::TKavoInput(TKavoForm& form) : form_(form), ctx_(form.Context()) {}

// ---------------------------------------------------------------- the layers

const std::vector<TKavoInput::TLayer>& TKavoInput::Layers() {
  static const std::vector<TLayer> layers = {
      {"captured track bar", &TKavoInput::CapturedBarLayer},
      {"bindings", &TKavoInput::BindingsLayer},
      {"Game.MouseEnabled", &TKavoInput::MouseEnabledGate},
      {"inventories", &TKavoInput::InventoriesLayer},
      {"HUD texts", &TKavoInput::HudTextsLayer},
      {"HUD sprites", &TKavoInput::HudSpritesLayer},
      {"Game.DisableScene", &TKavoInput::SceneGate},
      {"actors", &TKavoInput::ActorsLayer},
      {"meshes", &TKavoInput::MeshesLayer},
      {"dummies", &TKavoInput::DummiesLayer},
      {"room", &TKavoInput::RoomLayer},
  };
  return layers;
}

void TKavoInput::Walk(TPointerEvent e) {
  if (Halted() || ctx_.game == nullptr) return;
  for (const TLayer& layer : Layers()) {
    if ((this->*layer.offer)(e)) return;
    if (Halted()) return;
  }
}

bool TKavoInput::CapturedBarLayer(TPointerEvent& e) {
  // A captured track bar gets every event first; the event travels on.
  if (TKavoMouseEvents* bar = AsMouseEvents(ctx_, ctx_.pointer.capturedBar)) Deliver(*bar, e);
  return false;
}

bool TKavoInput::BindingsLayer(TPointerEvent& e) {
  TKavo_ScriptFunctionData args;
  switch (e.kind) {
    case Kind::Down: CallBindings(ButtonCode(e.button), false, false, args); break;
    case Kind::Up: CallBindings(ButtonCode(e.button), true, false, args); break;
    case Kind::Wheel:
      // Wheel bindings fire whatever their release flag, with the delta.
      args.Args.emplace_back(e.delta);
      CallBindings(kWheelBindingCode, false, true, args);
      break;
  }
  return false;
}

bool TKavoInput::MouseEnabledGate(TPointerEvent& e) {
  TGameClass* g = ctx_.game;
  if (g == nullptr || !g->MouseEnabled) return true;
  if (e.kind != Kind::Wheel) UpdatePointer(e.x, e.y);  // the wheel leaves Game.MouseX/Y alone
  return false;
}

bool TKavoInput::InventoriesLayer(TPointerEvent& e) {
  // First to last; the first inventory whose item takes the event ends it.
  bool taken = false;
  const int mx = ctx_.game->MouseX, my = ctx_.game->MouseY;
  ctx_.inventories.ForEachLive([&](TInventoryClass& inv) {
    switch (e.kind) {
      case Kind::Down: taken = inv.MouseDown(e.button, mx, my); break;
      case Kind::Up: taken = inv.MouseUp(e.button, mx, my); break;
      case Kind::Wheel: taken = inv.MouseWheel(mx, my, e.delta); break;
    }
    return !taken && !Halted();
  });
  return taken;
}

bool TKavoInput::HudTextsLayer(TPointerEvent& e) {
  // At the Game's pointer position; a release reaches only the first hit.
  return DeliverHud(ctx_.hudTexts, e, ctx_.game->MouseX, ctx_.game->MouseY, e.kind != Kind::Up);
}

bool TKavoInput::HudSpritesLayer(TPointerEvent& e) {
  // At the event's own position; a release reaches only the first hit.
  return DeliverHud(ctx_.hudSprites, e, e.x, e.y, e.kind != Kind::Up);
}

bool TKavoInput::SceneGate(TPointerEvent& e) {
  if (ctx_.game == nullptr || ctx_.game->DisableScene) return true;
  e.ray = PointerRay();
  return false;
}

bool TKavoInput::ActorsLayer(TPointerEvent& e) {
  if (e.kind != Kind::Up) {
    TKavoMouseEvents* a = FirstHit(ctx_.actors, e.kind, e.ray);
    if (a) Deliver(*a, e);
    return a != nullptr;
  }
  // Every hit actor receives the release, and the dispatch goes on.
  for (TObjectHandle h : ctx_.actors.NewestFirst()) {
    TKavoMouseEvents* a = AsMouseEvents(ctx_, h);
    if (!a || !IsCandidate(*a, kUpHandler)) continue;
    if (RayHits(*a, e.ray)) Deliver(*a, e);
    if (Halted()) return true;
  }
  return false;
}

bool TKavoInput::MeshesLayer(TPointerEvent& e) {
  TKavoMouseEvents* m = FirstHit(ctx_.meshes, e.kind, e.ray);
  if (m) Deliver(*m, e);
  return m != nullptr;
}

bool TKavoInput::DummiesLayer(TPointerEvent& e) {
  if (!RoomReady()) return true;
  // Only a plain left press (or release, or wheel turn with the left button
  // held) reaches a dummy's box or walks.
  if (e.shift != kShiftLeft) return false;
  auto hit = ctx_.room->Model().RayIntersect(e.ray);
  if (e.kind == Kind::Up) {
    if (!hit) return false;
    if (TDummyClass* d = MouseTarget()) {
      Deliver(*d, e);
      e.handled = true;
    }
    return false;
  }
  if (!hit) {
    ctx_.scene->walkpawns->Hide();
    return false;
  }
  if (TDummyClass* d = MouseTarget()) {
    Deliver(*d, e);
    e.handled = true;
    return false;
  }
  WalkClick(hit->point, hit->normal);
  return false;
}

bool TKavoInput::RoomLayer(TPointerEvent& e) {
  if (e.handled) return true;
  TKavo_ScriptFunctionData d;
  switch (e.kind) {
    case Kind::Down:
    case Kind::Up:
      if (!ctx_.scene->roomModel->Visible()) return true;
      d.Args.emplace_back(ButtonCode(e.button));
      CallRoom(e.kind == Kind::Down ? "MouseDown" : "MouseUp", d);
      break;
    case Kind::Wheel:
      // Whether or not the room model is shown.
      d.Args.emplace_back(e.delta);
      CallRoom("MouseWheel", d);
      break;
  }
  return true;
}

// ---------------------------------------------------------------- helpers

bool TKavoInput::Halted() const { return ctx_.halted; }

void TKavoInput::UpdatePointer(int x, int y) {
  TGameClass* g = ctx_.game;
  if (!g) return;
  if (ctx_.scene && ctx_.scene->fullscreenActive) ctx_.platform.GetCursorPos(x, y);
  g->MouseX = x;
  g->MouseY = y;
}

scene::Ray TKavoInput::PointerRay() const {
  TGameClass* g = ctx_.game;
  scene::View& view = ctx_.scene->ActiveView();
  scene::Ray ray = view.ScreenToRay(static_cast<float>(g->MouseX), static_cast<float>(view.Height() - g->MouseY));
  ray.origin = ctx_.scene->mainCamera->AbsolutePosition();
  return ray;
}

void TKavoInput::CallBindings(int code, bool release, bool anyRelease, const TKavo_ScriptFunctionData& args) {
  TGameClass* g = ctx_.game;
  if (!g) return;
  // Bindings may be added or removed by the functions they call.
  std::vector<TBinding> snapshot = g->bindings;
  for (const TBinding& b : snapshot) {
    if (b.key != code || (!anyRelease && b.onRelease != release)) continue;
    LoadGuiScript(ctx_);
    ctx_.script->CallWithData(b.function, args);
    if (ctx_.halted || ctx_.quitRequest || ctx_.game == nullptr) return;
  }
}

// Actors and meshes: the first candidate, newest first, whose model the
// pointer ray meets (whatever its distance).
TKavoMouseEvents* TKavoInput::FirstHit(const TRegistryBase& list, Kind e, const scene::Ray& ray) {
  const int handler = HandlerOf(e);
  for (TObjectHandle h : list.NewestFirst()) {
    TKavoMouseEvents* o = AsMouseEvents(ctx_, h);
    if (o && IsCandidate(*o, handler) && RayHits(*o, ray)) return o;
  }
  return nullptr;
}

// HUD texts and sprites hit at a pixel, newest first: each HUD element has
// its own rectangle (THudClass::HitTest).
std::vector<TObjectHandle> TKavoInput::HudHits(const TRegistryBase& list, int handler, int x, int y) {
  std::vector<TObjectHandle> hits;
  for (TObjectHandle h : list.NewestFirst()) {
    THudClass* hud = ResolveAs<THudClass>(ctx_.handles, h);
    if (hud && IsCandidate(*hud, handler) && hud->HitTest(x, y)) hits.push_back(h);
  }
  return hits;
}

bool TKavoInput::DeliverHud(const TRegistryBase& list, const TPointerEvent& e, int x, int y, bool all) {
  bool any = false;
  for (TObjectHandle h : HudHits(list, HandlerOf(e.kind), x, y)) {
    if (AsMouseEvents(ctx_, h) == nullptr) continue;
    // The GUI script is loaded before a HUD element's handler runs; loading
    // it may destroy the element.
    LoadGuiScript(ctx_);
    TKavoMouseEvents* o = AsMouseEvents(ctx_, h);
    if (o == nullptr) continue;
    Deliver(*o, e);
    any = true;
    if (!all || Halted()) break;
  }
  return any;
}

TDummyClass* TKavoInput::MouseTarget() {
  // Every shown box under mousetargets that holds Mousedummy's position;
  // the last such box wins. Boxes are paired with their dummies by owner.
  scene::GroupNode& targets = *ctx_.scene->mousetargets;
  glm::vec3 p = ctx_.scene->mousedummy->AbsolutePosition();
  for (size_t i = targets.ChildCount(); i-- > 0;) {
    auto* box = dynamic_cast<scene::GroupNode*>(targets.Child(i));
    if (!box || !box->Visible() || !box->PointInside(p)) continue;
    auto it = ctx_.nodeOwners.find(box);
    if (it == ctx_.nodeOwners.end()) continue;
    if (TDummyClass* d = ResolveAs<TDummyClass>(ctx_.handles, it->second)) return d;
  }
  return nullptr;
}

void TKavoInput::WalkClick(const glm::vec3& point, const glm::vec3& normal) {
  scene::StaticMeshNode& pawns = *ctx_.scene->walkpawns;
  WalkMouseControlActors(ctx_, point);
  pawns.Show();
  pawns.SetPosition(point);
  if (glm::length(normal) > 0) pawns.SetDirection(glm::normalize(normal));
}

bool TKavoInput::MoveOverHud(const TRegistryBase& list, TShiftState shift, int x, int y) {
  for (TObjectHandle h : HudHits(list, kMoveHandler, x, y)) {
    if (AsMouseEvents(ctx_, h) == nullptr) continue;
    LoadGuiScript(ctx_);
    if (TKavoMouseEvents* o = AsMouseEvents(ctx_, h)) o->MouseMove(shift, x, y);
    ctx_.pointer.hover2D = true;
    return true;
  }
  return false;
}

bool TKavoInput::RoomReady() const { return ctx_.room && ctx_.room->HasModel(); }

void TKavoInput::CallRoom(const std::string& event, const TKavo_ScriptFunctionData& args) {
  if (!ctx_.room) return;
  CallEvent(ctx_, "scripts\\" + ctx_.roomScriptFile, "on" + ctx_.roomName + event, args);
}

// ---------------------------------------------------------------- handlers

namespace {
TPointerEvent PointerEvent(TPointerEvent::Kind kind, TMouseButton button, TShiftState shift, int x, int y,
                           int delta = 0) {
  TPointerEvent e;
  e.kind = kind;
  e.button = button;
  e.shift = shift;
  e.x = x;
  e.y = y;
  e.delta = delta;
  return e;
}
}  // namespace

void TKavoInput::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TPointerEvent e = PointerEvent(Kind::Down, button, shift, x, y);
  Walk(e);
}

void TKavoInput::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TPointerEvent e = PointerEvent(Kind::Up, button, shift, x, y);
  Walk(e);
}

void TKavoInput::MouseWheel(TShiftState shift, int delta, int x, int y) {
  TPointerEvent e = PointerEvent(Kind::Wheel, TMouseButton::Other, shift, x, y, delta);
  Walk(e);
}

void TKavoInput::MouseMove(TShiftState shift, int x, int y) {
  TGameClass* g = ctx_.game;
  if (Halted() || g == nullptr) return;
  TPointerState& p = ctx_.pointer;
  p.lastShift = shift;
  scene::CameraNode& cam = *ctx_.scene->mainCamera;
  // Camera orbit.
  auto orbit = [&] {
    if (cam.Target())
      cam.MoveAroundTarget(*cam.Target(), static_cast<float>(g->MouseY - y), static_cast<float>(g->MouseX - x));
  };
  if (g->MouseMoveAroundTarget) {
    orbit();
    p.freeCamera = true;
  } else {
    p.freeCamera = false;
  }
  if (g->Debug && shift != 0) {
    if ((shift & kShiftCtrl) && (shift & kShiftLeft)) {
      orbit();
      p.freeCamera = true;
    } else {
      p.freeCamera = false;
    }
  }
  // Mouse look: the delta applied is that of the previous event.
  if (g->MouseLook) {
    int dx = p.lastCursorX - p.screenCentreX;
    int dy = -(p.lastCursorY - p.screenCentreY);
    if (g->MouseLookInvert) dy = -dy;
    if (dx != 0 && cam.Parent()) cam.Parent()->Turn(static_cast<float>(dx));
    if (dy != 0 && cam.Target()) cam.MoveAroundTarget(*cam.Target(), static_cast<float>(dy), 0.0f);
    ctx_.scene->cameraposition->SetPosition(cam.Position());
    if (p.lastCursorX != p.screenCentreX || p.lastCursorY != p.screenCentreY)
      ctx_.platform.SetCursorPos(p.screenCentreX, p.screenCentreY);
    ctx_.platform.GetCursorPos(p.lastCursorX, p.lastCursorY);
  }
  UpdatePointer(x, y);
  form_.RunOneFrame();
  if (Halted()) return;
  if (TKavoMouseEvents* bar = AsMouseEvents(ctx_, p.capturedBar)) bar->MouseMove(shift, x, y);
  if (Halted()) return;
  if (MoveOverHud(ctx_.hudTexts, shift, x, y) || MoveOverHud(ctx_.hudSprites, shift, x, y)) return;
  p.hover2D = false;
}

void TKavoInput::KeyUp(int key, TShiftState shift) {
  TGameClass* g = ctx_.game;
  if (Halted() || g == nullptr) return;
  if (g->Debug) {
    TKavoScene& sc = *ctx_.scene;
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
        else
          ToggleActorCollisionSpheres(ctx_);
        break;
      case kVkF7: {
        scene::View& v = sc.ActiveView();
        v.antiAliasing = v.antiAliasing == 0 ? 2 : 0;
        break;
      }
      case kVkF8: SetMouseTargetMarkers(!ctx_.pointer.mouseTargetsVisible); break;
      case kVkF10: g->Fullscreen = !sc.fullscreenActive; break;
      default: break;
    }
  }
  TKavo_ScriptFunctionData none;
  CallBindings(key, true, false, none);
}

void TKavoInput::SetMouseTargetMarkers(bool on) {
  ctx_.pointer.mouseTargetsVisible = on;
  scene::GroupNode& targets = *ctx_.scene->mousetargets;
  for (size_t i = 0; i < targets.ChildCount(); ++i)
    if (auto* box = dynamic_cast<scene::GroupNode*>(targets.Child(i))) box->SetVisibleAtRunTime(on);
}

void TKavoInput::HoverPicking() {
  TGameClass* g = ctx_.game;
  if (Halted() || ctx_.quitRequest || ctx_.pointer.hover2D || g == nullptr) return;
  if (g->DisableScene || !ctx_.room) return;
  scene::Ray ray = PointerRay();
  const int mx = g->MouseX, my = g->MouseY;
  const TShiftState shift = ctx_.pointer.lastShift;
  for (const TRegistryBase* list : {static_cast<const TRegistryBase*>(&ctx_.actors),
                                    static_cast<const TRegistryBase*>(&ctx_.meshes)}) {
    for (TObjectHandle h : list->NewestFirst()) {
      TKavoMouseEvents* o = AsMouseEvents(ctx_, h);
      if (o && IsCandidate(*o, kMoveHandler) && RayHits(*o, ray)) {
        o->MouseMove(shift, mx, my);
        return;
      }
    }
  }
  if (RoomReady()) {
    if (auto hit = ctx_.room->Model().RayIntersect(ray)) {
      scene::GroupNode& md = *ctx_.scene->mousedummy;
      md.SetPosition(hit->point);
      if (glm::length(hit->normal) > 0) md.SetDirection(glm::normalize(hit->normal));
      if (TDummyClass* d = MouseTarget()) {
        d->MouseMove(shift, mx, my);
        return;
      }
    }
  }
  if (!Halted() && ctx_.scene->roomModel->Visible()) CallRoom("MouseMove", {});
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
