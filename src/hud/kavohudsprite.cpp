#include "hud/kavohudsprite.h"

#include <cmath>

#include "core/errors.h"
#include "core/log.h"
#include "core/strings.h"
#include "platform/files.h"
#include "scene/nodes.h"
#include "scene/scenetree.h"
#include "script/binding.h"
#include "script/context.h"

namespace kavo {

namespace {
using P = TPropType;
using T = THudspriteClass;

constexpr size_t kShortString = 255;

// Whatever happens, the data folder is current again afterwards.
struct BackToDataFolder {
  const TKavoContext& ctx;
  ~BackToDataFolder() { ctx.files.EnterDataFolder(); }
};

int32_t Truncated(float v) { return std::isfinite(v) ? static_cast<int32_t>(std::trunc(v)) : 0; }
}  // namespace

const TScriptClassInfo& THudspriteClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("THudspriteClass", &THudClass::StaticInfo(), MakeScriptObject<T>);
    TClassBuilder<T>(i)
        .Registry([](TKavoContext& c) -> TRegistryBase& { return c.hudSprites; }, true)
        .Prop("Texture", P::ShortString, [](T& s) { return s.Texture; },
              [](T& s, const std::string& v) { s.LoadTexture(v); })
        .Prop("ScaleX", P::Single, [](T& s) { return s.Sprite() ? static_cast<double>(s.Sprite()->width) : -1.0; },
              [](T& s, double v) {
                if (!s.Sprite()) return;
                s.SetSize(static_cast<float>(v), s.Sprite()->height);
              })
        .Prop("ScaleY", P::Single, [](T& s) { return s.Sprite() ? static_cast<double>(s.Sprite()->height) : -1.0; },
              [](T& s, double v) {
                if (!s.Sprite()) return;
                s.SetSize(s.Sprite()->width, static_cast<float>(v));
              })
        .Prop("TextureRepeatX", P::Integer,
              [](T& s) { return s.Sprite() ? static_cast<int64_t>(s.Sprite()->material.texture.repeatX) : int64_t(1); },
              [](T& s, int64_t v) {
                if (s.Sprite()) s.Sprite()->material.texture.repeatX = static_cast<float>(v);
              })
        .Prop("TextureRepeatY", P::Integer,
              [](T& s) { return s.Sprite() ? static_cast<int64_t>(s.Sprite()->material.texture.repeatY) : int64_t(1); },
              [](T& s, int64_t v) {
                if (s.Sprite()) s.Sprite()->material.texture.repeatY = static_cast<float>(v);
              })
        .Prop("TransparencyMode", P::Integer, [](T& s) { return static_cast<int64_t>(s.TransparencyMode); },
              [](T& s, int64_t v) { s.ApplyTransparency(static_cast<int32_t>(v)); })
        .Prop("Rotation", P::Single, [](T& s) { return s.Sprite() ? static_cast<double>(s.Sprite()->rotation) : 0.0; },
              [](T& s, double v) {
                if (s.Sprite()) s.Sprite()->rotation = static_cast<float>(v);
              })
        .Method("Load", &T::Script_Load, "file name")
        .Method("SetSize", &T::Script_SetSize, "width, height (integers)")
        .Method("SetScale", &T::Script_SetSize, "width, height (integers): as SetSize")
        .Method("SetTransparency", &T::Script_SetTransparency, "mode (integer)")
        .Method("MoveBackground", &T::Script_MoveBackground, "")
        .Method("MoveFront", &T::Script_MoveFront, "")
        .Method("Destroy", &T::Script_Destroy, "");
    return i;
  }();
  return info;
}

void THudspriteClass::Create() {
  THudClass::Create();
  auto* node = Ctx.scene->userhud->CreateChild<scene::HudSpriteNode>("hudsprite");
  SetNode(node);
  SetUpHudMaterial();
  ApplyTransparency(4);
  node->material.texture.repeatX = node->material.texture.repeatY = 1.0f;
  node->SetXY(128, 128);
  SetSize(256, 256);
  Script_SetMouseRect(0, 0, 256, 256);
  Ctx.nodeOwners[node] = Handle();
  ApplyVisibility();
}

scene::HudSpriteNode* THudspriteClass::Sprite() const { return static_cast<scene::HudSpriteNode*>(node_); }

bool THudspriteClass::HitTest(int x, int y) const {
  const scene::HudSpriteNode* s = Sprite();
  if (!s) return false;
  const float cornerX = s->X() - s->width / 2, cornerY = s->Y() - s->height / 2;
  const int32_t left = Truncated(cornerX + mouseLeft), top = Truncated(cornerY + mouseTop);
  const int32_t right = Truncated(cornerX + mouseRight), bottom = Truncated(cornerY + mouseBottom);
  return left <= x && x < right && top <= y && y < bottom;
}

void THudspriteClass::SetSize(float width, float height) {
  scene::HudSpriteNode* s = Sprite();
  if (!s) return;
  s->width = width;
  s->height = height;
  s->SetScale(width, height, s->Scale().z);
}

void THudspriteClass::ApplyTransparency(int32_t mode) {
  TransparencyMode = mode;
  scene::HudSpriteNode* s = Sprite();
  if (!s) return;
  scene::Material& m = s->material;
  m.blending = scene::BlendingMode::Transparency;
  m.texture.mode = scene::TextureMode::Modulate;
  // The loaded picture's alpha is derived again at once, so a saved game
  // (which writes Texture first) looks as it was saved.
  switch (mode) {
    case 0:
      m.blending = scene::BlendingMode::Opaque;
      m.texture.mode = scene::TextureMode::Replace;
      m.SetAlphaMode(scene::TextureAlphaMode::Opaque);
      break;
    case 1: m.SetAlphaMode(scene::TextureAlphaMode::AverageFloor); break;
    case 2: m.SetAlphaMode(scene::TextureAlphaMode::SqrtAverage); break;
    case 3:
      m.SetAlphaMode(scene::TextureAlphaMode::Default);
      m.texture.image.SetFormat(scene::TextureFormat::RGBA);
      break;
    case 4:
      m.SetAlphaMode(scene::TextureAlphaMode::BlackTransparent);
      m.texture.image.SetFormat(scene::TextureFormat::RGBA);
      break;
    default: break;
  }
}

void THudspriteClass::LoadTexture(const std::string& name) {
  Texture = name.substr(0, kShortString);
  scene::HudSpriteNode* s = Sprite();
  if (!s) return;
  // No name, no picture (a saved sprite that never had one writes "").
  if (Texture.empty()) {
    s->material.texture.enabled = false;
    return;
  }
  BackToDataFolder back{Ctx};
  scene::Texture& image = s->material.texture.image;
  const TKavoFileLocation loc = Ctx.files.Resolve(ToBackslashes(Texture));
  if (!loc.ArchiveName.empty()) {
    std::string bytes, error;
    if (!Ctx.files.Read(loc, bytes, &error)) throw EKavoError(error, kErrTexture);
    if (!image.LoadFromBytes(bytes, ToSlashes(loc.ResolvedPath), error)) throw EKavoError(error, kErrTexture);
  } else {
    const std::string bare = loc.ResolvedPath.empty() ? std::string() : Ctx.files.EnterFolderOf(loc);
    if (bare.empty() || !Files().FileExists(bare)) {
      const std::string line = "Couldn't find texture for hudsprite (" + Texture + ").";
      KavoLog(line);
      if (Ctx.DebugMode()) {
        Ctx.ShowFatalError(line, kErrTexture);
        return;
      }
    }
    image.LoadFromFile(bare.empty() ? Texture : bare);
  }
  s->material.texture.enabled = true;
}

void THudspriteClass::Script_Load(TKavo_ScriptFunctionData& d) { LoadTexture(StringArg(d, 0)); }

void THudspriteClass::Script_SetSize(TKavo_ScriptFunctionData& d) {
  if (!node_) return;
  // SetScale reports its arguments under the name SetSize.
  d.Method = "SetSize";
  const int64_t w = IntegerArg(d, 0), h = IntegerArg(d, 1);
  SetSize(static_cast<float>(w), static_cast<float>(h));
  Script_SetMouseRect(0, 0, w, h);
}

void THudspriteClass::Script_SetTransparency(TKavo_ScriptFunctionData& d) {
  ApplyTransparency(static_cast<int32_t>(IntegerArg(d, 0)));
}

void THudspriteClass::Script_MoveBackground(TKavo_ScriptFunctionData&) {
  if (node_) node_->MoveTo(*Ctx.scene->background);
}

void THudspriteClass::Script_MoveFront(TKavo_ScriptFunctionData&) {
  if (node_) node_->MoveTo(*Ctx.scene->userhud);
}

}  // namespace kavo
