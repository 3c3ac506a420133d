#include "hud/kavoinventory.h"

#include <algorithm>

#include "game/kavogame.h"
#include "scene/nodes.h"
#include "scene/scenetree.h"
#include "script/binding.h"
#include "script/context.h"
#include "visual/kavomesh.h"

namespace kavo {

namespace {
using P = TPropType;
using T = TInventoryClass;

// Sizes of the grid node: a cube of 1.5 never drawn, a tenth of the scale.
constexpr float kGridCubeSize = 1.5f;
constexpr float kGridScale = 0.1f;
// Depth of the grid in the `inventories` node.
constexpr float kGridDepth = 2.0f;
}  // namespace

const TScriptClassInfo& TInventoryClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TInventoryClass", &TKavoMovableClass::StaticInfo(), MakeScriptObject<T>);
    // Each layout property stores its value and lays the grid out again.
    auto layoutInt = [](int32_t T::*field) {
      return [field](T& inv, const TVariant& v) {
        inv.*field = static_cast<int32_t>(v.AsInt());
        inv.LayOut();
      };
    };
    auto layoutFloat = [](float T::*field) {
      return [field](T& inv, const TVariant& v) {
        inv.*field = static_cast<float>(v.AsDouble());
        inv.LayOut();
      };
    };
    TClassBuilder<T>(i)
        .Registry([](TKavoContext& c) -> TRegistryBase& { return c.inventories; }, true)
        .Prop("XCount", P::Integer, [](T& inv) { return inv.XCount; }, layoutInt(&T::XCount))
        .Prop("YCount", P::Integer, [](T& inv) { return inv.YCount; }, layoutInt(&T::YCount))
        .Prop("XOffset", P::Single, [](T& inv) { return static_cast<double>(inv.XOffset); },
              layoutFloat(&T::XOffset))
        .Prop("YOffset", P::Single, [](T& inv) { return static_cast<double>(inv.YOffset); },
              layoutFloat(&T::YOffset))
        .Prop("Start", P::Integer, [](T& inv) { return inv.Start; }, layoutInt(&T::Start))
        .ReadOnly("Count", P::Integer, [](T& inv) { return TVariant(static_cast<int64_t>(inv.items.size())); })
        .Prop("Visible", P::Boolean, [](T& inv) { return inv.Node() ? inv.Node()->Visible() : false; },
              [](T& inv, const TVariant& v) { inv.SetVisible(v.AsBool()); })
        .Method("SetPosition", &T::Script_SetPosition, "x, y (numbers)")
        .Method("Has", &T::Script_Has, "mesh ID (integer)")
        .Method("GetMeshID", &T::Script_GetMeshID, "position (integer)")
        .Method("Empty", &T::Script_Empty, "")
        .Method("Destroy", &T::Script_Destroy, "");
    return i;
  }();
  return info;
}

// ---------------------------------------------------------------- life

void TInventoryClass::Create() {
  TKavoMovableClass::Create();  // joins the inventory list
  creationIndex = ID();
  auto* grid = Ctx.scene->inventories->CreateChild<scene::GroupNode>("inventory");
  grid->SetCubeSize(kGridCubeSize);
  grid->SetVisibleAtRunTime(false);
  grid->SetScale(grid->Scale() * kGridScale);
  grid->Show();
  grid->SetHint("TInventory");
  SetNode(grid);
  LayOut();
}

void TInventoryClass::DestroyObject() {
  if (!Alive()) return;
  const int id = ID();
  // The items go back to the room the way `InInventory = -1` sends them,
  // before their nodes would go down with the grid; meshes that name a
  // later inventory follow its ID down by one. Nothing here calls Lua.
  for (TMeshClass* mesh : Ctx.meshes)
    if (mesh->InInventory == id) mesh->SetInInventory(-1);
  items.clear();
  for (TMeshClass* mesh : Ctx.meshes)
    if (id >= 0 && mesh->InInventory > id) --mesh->InInventory;
  if (node_) {
    // Whatever else a script hung under the grid (a listed mesh that rode
    // off and came back) returns to the room as well.
    std::vector<TMeshClass*> strays;
    for (const auto& child : node_->Children()) {
      auto it = Ctx.nodeOwners.find(child.get());
      if (it == Ctx.nodeOwners.end()) continue;
      if (auto* mesh = ResolveAs<TMeshClass>(Ctx.handles, it->second)) strays.push_back(mesh);
    }
    for (TMeshClass* mesh : strays) mesh->ReturnToRoom();
    node_->Destroy();
    node_ = nullptr;
  }
  TKavoMovableClass::DestroyObject();
}

void TInventoryClass::Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }

void TInventoryClass::WriteSave(const std::string& n, std::vector<std::string>& lines) {
  // The items come back through the meshes' own InInventory lines, which
  // are written in item order (see TMeshClass::WriteSave).
  TKavoMovableClass::WriteSave(n, lines);
  lines.push_back(n + ".Empty();");
}

int TInventoryClass::ID() const { return Ctx.inventories.IndexOf(this); }

scene::GroupNode* TInventoryClass::Grid() const { return static_cast<scene::GroupNode*>(node_); }

// ---------------------------------------------------------------- layout

void TInventoryClass::LayOut() {
  if (!node_ || !node_->Visible()) return;
  if (Ctx.game && (Ctx.game->saveInProgress || Ctx.game->GameLoading)) return;
  // Page bounds in 64 bits: the counts come from scripts as they are.
  const int64_t first = Start;
  const int64_t last = first + int64_t(XCount) * int64_t(YCount) - 1;
  int64_t col = 0, row = 0;
  for (size_t p = 0; p < items.size(); ++p) {
    scene::Node* n = items[p]->Node();
    if (n == nullptr) continue;
    // The hidden marker: 1 (hidden by the script) hides the node, and any
    // marker but 0 keeps the item out of the cells. It still uses up its
    // list position on the page.
    if (n->Tag() == 1) n->Hide();
    if (n->Tag() != 0) continue;
    const auto pos = static_cast<int64_t>(p);
    const bool onPage = pos >= first && pos <= last;
    n->SetVisible(onPage);
    n->SetPosition(XOffset * static_cast<float>(col), YOffset * static_cast<float>(row), 0.0f);
    if (onPage) ++col;
    if (col > int64_t(XCount) - 1) {
      col = 0;
      ++row;
    }
  }
}

void TInventoryClass::SetVisible(bool on) {
  if (node_) node_->SetVisible(on);
  visibleFlag = on;
  LayOut();
}

// ---------------------------------------------------------------- screen

void TInventoryClass::RefreshScreenRects() {
  const bool fullscreen = Ctx.game && Ctx.game->Fullscreen;
  const TScreenProjection active(fullscreen ? Ctx.scene->fullscreenView : Ctx.scene->windowView);
  // The grid's matrix once, for the items under it. The bounds of the grid's children add up to the
  // grid's, so they are gathered on the way for the grid's rectangle when
  // the active view is the window view.
  const glm::mat4 grid = node_ ? active.DrawnMatrix(*node_) : glm::mat4(1.0f);
  glm::vec3 gridLo(0.0f), gridHi(0.0f);
  bool gridAny = false;
  size_t gridChildren = 0;
  for (TMeshClass* mesh : items) {
    scene::Node* n = mesh->Node();
    if (n == nullptr) continue;
    const bool underGrid = node_ && n->Parent() == node_;
    glm::vec3 lo, hi;
    const glm::mat4 parent = underGrid ? grid : n->Parent() ? active.DrawnMatrix(*n->Parent()) : glm::mat4(1.0f);
    mesh->UpdateScreenRect(active, parent, lo, hi);
    if (!underGrid) continue;
    ++gridChildren;
    gridLo = gridAny ? glm::min(gridLo, lo) : lo;
    gridHi = gridAny ? glm::max(gridHi, hi) : hi;
    gridAny = true;
  }
  if (!node_) return;
  if (!fullscreen && gridChildren == node_->Children().size()) {
    if (!gridAny) gridLo = gridHi = glm::vec3(grid[3]);
    ProjectBoundsToView(gridLo, gridHi, active, screenRect);
  } else {
    ProjectNodeToScreen(*node_, Ctx.scene->windowView, screenRect);
  }
}

// ---------------------------------------------------------------- mouse

bool TInventoryClass::TakeEvent(TEvent event, TMouseButton button, int x, int y, int delta) {
  if (!node_ || !node_->Visible()) return false;
  for (size_t i = items.size(); i-- > 0;) {
    TMeshClass& mesh = *items[i];
    if (!mesh.Node() || !mesh.Node()->Visible()) continue;
    const std::string& handler = event == TEvent::Move   ? mesh.OnMouseMove
                                 : event == TEvent::Down ? mesh.OnMouseDown
                                 : event == TEvent::Up   ? mesh.OnMouseUp
                                                         : mesh.OnMouseWheel;
    if (handler.empty()) continue;
    const scene::ScreenRect& r = mesh.screenRect;
    if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) continue;
    // The room script's first load runs Lua, which may destroy the mesh:
    // it is found again through its handle afterwards. The handler call
    // ends the test; nothing of this inventory is touched after it.
    const TObjectHandle h = mesh.Handle();
    Ctx.LoadRoomScript();
    TMeshClass* item = ResolveAs<TMeshClass>(Ctx.handles, h);
    if (item == nullptr || Ctx.halted) return true;
    switch (event) {
      case TEvent::Move: item->MouseMove(0, x, y); break;
      case TEvent::Down: item->MouseDown(button, 0, x, y); break;
      case TEvent::Up: item->MouseUp(button, 0, x, y); break;
      case TEvent::Wheel: item->MouseWheel(0, delta, x, y); break;
    }
    return true;
  }
  return false;
}

bool TInventoryClass::MouseMove(int x, int y) { return TakeEvent(TEvent::Move, TMouseButton::Left, x, y, 0); }
bool TInventoryClass::MouseDown(TMouseButton b, int x, int y) { return TakeEvent(TEvent::Down, b, x, y, 0); }
bool TInventoryClass::MouseUp(TMouseButton b, int x, int y) { return TakeEvent(TEvent::Up, b, x, y, 0); }
bool TInventoryClass::MouseWheel(int x, int y, int delta) {
  return TakeEvent(TEvent::Wheel, TMouseButton::Left, x, y, delta);
}

// ---------------------------------------------------------------- script methods

void TInventoryClass::Script_SetPosition(TKavo_ScriptFunctionData& d) {
  const float x = static_cast<float>(NumberArg(d, 0));
  const float y = static_cast<float>(NumberArg(d, 1));
  if (node_) node_->SetPosition(x, y, kGridDepth);
}

void TInventoryClass::Script_Has(TKavo_ScriptFunctionData& d) {
  if (!HasArg(d, 0) || !d.Args[0].IsInteger()) ArgError(d, "Mesh.ID", 0);
  const int64_t id = d.Args[0].AsInt();
  int result = -1;
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i]->ID() == id) {
      result = static_cast<int>(i);
      break;
    }
  d.Result = TVariant(result);
}

void TInventoryClass::Script_GetMeshID(TKavo_ScriptFunctionData& d) {
  if (!HasArg(d, 0) || !d.Args[0].IsInteger()) ArgError(d, "integer", 0);
  const int64_t p = d.Args[0].AsInt();
  const bool inside = p >= 0 && p < static_cast<int64_t>(items.size());
  d.Result = TVariant(inside ? items[static_cast<size_t>(p)]->ID() : -1);
}

void TInventoryClass::Script_Empty(TKavo_ScriptFunctionData&) {
  // Only meshes are ever items, and a mesh leaves an inventory through its
  // own moves alone: there is nothing to empty. Saved games call it.
}

// ---------------------------------------------------------------- the pass

void PrepareInventoryPass(TKavoContext& ctx, scene::LayerLight& light) {
  for (TInventoryClass* inv : ctx.inventories) inv->RefreshScreenRects();
  const scene::Material& colours = ctx.scene->invlightcolors->material;
  light.position = glm::vec4(ctx.scene->invlight->Position(), 1.0f);
  light.ambient = colours.ambient;
  light.diffuse = colours.diffuse;
  light.specular = colours.specular;
  light.constantAttenuation = 1.0f;
  light.linearAttenuation = 0.0f;
  light.quadraticAttenuation = 0.0f;
}

void InventoriesPointerTest(TKavoContext& ctx) {
  TGameClass* game = ctx.game;
  if (game == nullptr || !game->MouseEnabled) return;
  const int x = game->MouseX, y = game->MouseY;
  bool over = false;
  ctx.inventories.ForEachLive([&](TInventoryClass& inv) {
    if (inv.MouseMove(x, y)) over = true;
    return !ctx.halted;
  });
  if (over) ctx.pointer.hover2D = true;
}

}  // namespace kavo
