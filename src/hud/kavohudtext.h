// THudtextClass (script class THudtext): one or more lines of text in the
// speech font, placed in window pixels over the 3D scene (under `userhud`).
// Scripts write UTF-8; the node holds the text in the game's 8-bit code
// page, and `Text` reads that back. The mouse rectangle is the text's width
// about its x (by `HAlign`) and the font's line height centred on its y,
// whatever `VAlign` says.
#pragma once

#include <string>

#include "world/kavodummy.h"

namespace kavo {

namespace scene {
class HudTextNode;
}

class THudtextClass : public THudClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit THudtextClass(TKavoContext& ctx) : THudClass(ctx) {}
  void Create() override;
  bool HitTest(int x, int y) const override;

  uint8_t Enabled = 1;
  float textWidth = 0.0f, textHeight = 0.0f;

  scene::HudTextNode* TextNode() const;
  // Converts the UTF-8 text to the code page, shows it and measures it.
  void SetText(const std::string& utf8);
  std::string HAlignName() const;
  std::string VAlignName() const;
  void SetHAlign(const std::string& name);
  void SetVAlign(const std::string& name);
  void SetAlpha(float alpha);

  void Script_SetColorRGB(TKavo_ScriptFunctionData& d);
  void Script_LoadFont(TKavo_ScriptFunctionData& d);
};

}  // namespace kavo
