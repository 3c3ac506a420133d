// THudspriteClass (script class THudsprite): a textured rectangle drawn in
// window pixels over the 3D scene (under `userhud`) or behind it (under
// `background`). Its node's x and y scale always mirror the width and
// height; the mouse rectangle is given from the sprite's top-left corner
// and follows SetSize/SetScale only.
#pragma once

#include <string>

#include "world/kavodummy.h"

namespace kavo {

namespace scene {
class HudSpriteNode;
}

class THudspriteClass : public THudClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit THudspriteClass(TKavoContext& ctx) : THudClass(ctx) {}
  void Create() override;
  bool HitTest(int x, int y) const override;

  int32_t TransparencyMode = 4;
  std::string Texture;

  scene::HudSpriteNode* Sprite() const;
  // Loads the picture (disk or archive) as the sprite's texture.
  void LoadTexture(const std::string& name);
  // Blending, texture mode and the picture's alpha by transparency mode.
  void ApplyTransparency(int32_t mode);
  // Width and height of the quad (the node's scale follows).
  void SetSize(float width, float height);

  void Script_Load(TKavo_ScriptFunctionData& d);
  void Script_SetSize(TKavo_ScriptFunctionData& d);
  void Script_SetTransparency(TKavo_ScriptFunctionData& d);
  void Script_MoveBackground(TKavo_ScriptFunctionData& d);
  void Script_MoveFront(TKavo_ScriptFunctionData& d);
};

}  // namespace kavo
