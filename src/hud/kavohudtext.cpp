#include "hud/kavohudtext.h"

#include <cmath>

#include "core/strings.h"
#include "platform/codepage.h"
#include "scene/bitmapfont.h"
#include "scene/nodes.h"
#include "scene/scenetree.h"
#include "script/binding.h"
#include "script/context.h"

namespace kavo {

namespace {
using P = TPropType;
using T = THudtextClass;
using HAlign = scene::HudTextNode::HAlign;
using VLayout = scene::HudTextNode::VLayout;

int32_t Truncated(float v) { return std::isfinite(v) ? static_cast<int32_t>(std::trunc(v)) : 0; }
}  // namespace

const TScriptClassInfo& THudtextClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("THudtextClass", &THudClass::StaticInfo(), MakeScriptObject<T>);
    TClassBuilder<T>(i)
        .Registry([](TKavoContext& c) -> TRegistryBase& { return c.hudTexts; }, true)
        .Prop("Alpha", P::Single, [](T& t) { return static_cast<double>(t.Alpha); },
              [](T& t, double v) { t.SetAlpha(static_cast<float>(v)); })
        .Prop("Text", P::UTF8String, [](T& t) { return t.TextNode() ? t.TextNode()->text : std::string(); },
              [](T& t, const std::string& v) { t.SetText(v); })
        .Prop("HAlign", P::ShortString, [](T& t) { return t.HAlignName(); },
              [](T& t, const std::string& v) { t.SetHAlign(v); })
        .Prop("VAlign", P::ShortString, [](T& t) { return t.VAlignName(); },
              [](T& t, const std::string& v) { t.SetVAlign(v); })
        .Field("Enabled", P::Byte, &T::Enabled)
        .Method("SetColorRGB", &T::Script_SetColorRGB, "red, green, blue (integers, 0 to 255)")
        .Method("LoadFont", &T::Script_LoadFont, "")
        .Method("Destroy", &T::Script_Destroy, "");
    return i;
  }();
  return info;
}

void THudtextClass::Create() {
  THudClass::Create();
  auto* node = Ctx.scene->userhud->CreateChild<scene::HudTextNode>("hudtext");
  node->font = Ctx.speechFont;
  node->hAlign = HAlign::Center;
  node->vLayout = VLayout::Center;
  node->colour = {1.0f, 1.0f, 1.0f, 1.0f};
  SetNode(node);
  Ctx.nodeOwners[node] = Handle();
  ApplyVisibility();
}

scene::HudTextNode* THudtextClass::TextNode() const { return static_cast<scene::HudTextNode*>(node_); }

void THudtextClass::SetText(const std::string& utf8) {
  scene::HudTextNode* n = TextNode();
  if (!n) return;
  n->text = Utf8ToCodePage(utf8, Ctx.codePage);
  if (const scene::BitmapFont* f = n->font) {
    textWidth = static_cast<float>(f->data.StringWidth(n->text));
    textHeight = static_cast<float>(f->data.charHeight);
  }
}

std::string THudtextClass::HAlignName() const {
  const scene::HudTextNode* n = TextNode();
  if (!n) return "center";
  return n->hAlign == HAlign::Left ? "left" : n->hAlign == HAlign::Right ? "right" : "center";
}

std::string THudtextClass::VAlignName() const {
  const scene::HudTextNode* n = TextNode();
  if (!n) return "center";
  return n->vLayout == VLayout::Top ? "top" : n->vLayout == VLayout::Bottom ? "bottom" : "center";
}

void THudtextClass::SetHAlign(const std::string& name) {
  scene::HudTextNode* n = TextNode();
  if (!n) return;
  const std::string v = LowerAscii(name);
  if (v == "left") n->hAlign = HAlign::Left;
  else if (v == "right") n->hAlign = HAlign::Right;
  else if (v == "center") n->hAlign = HAlign::Center;
}

void THudtextClass::SetVAlign(const std::string& name) {
  scene::HudTextNode* n = TextNode();
  if (!n) return;
  const std::string v = LowerAscii(name);
  if (v == "top") n->vLayout = VLayout::Top;
  else if (v == "bottom") n->vLayout = VLayout::Bottom;
  else if (v == "center") n->vLayout = VLayout::Center;
}

void THudtextClass::SetAlpha(float alpha) {
  Alpha = alpha;
  if (scene::HudTextNode* n = TextNode()) n->colour.a = alpha;
}

bool THudtextClass::HitTest(int x, int y) const {
  const scene::HudTextNode* n = TextNode();
  if (!n) return false;
  const float px = n->X(), py = n->Y(), w = textWidth, h = textHeight;
  float left = px - w, right = px;
  if (n->hAlign == HAlign::Center) {
    left = px - w / 2;
    right = px + w / 2;
  } else if (n->hAlign == HAlign::Left) {
    left = px;
    right = px + w;
  }
  const int32_t top = Truncated(py - h / 2), bottom = Truncated(py + h / 2);
  return Truncated(left) <= x && x < Truncated(right) && top <= y && y < bottom;
}

void THudtextClass::Script_SetColorRGB(TKavo_ScriptFunctionData& d) {
  const int64_t r = IntegerArg(d, 0), g = IntegerArg(d, 1), b = IntegerArg(d, 2);
  scene::HudTextNode* n = TextNode();
  if (!n) return;
  n->colour.r = static_cast<float>(r) / 255.0f;
  n->colour.g = static_cast<float>(g) / 255.0f;
  n->colour.b = static_cast<float>(b) / 255.0f;
}

void THudtextClass::Script_LoadFont(TKavo_ScriptFunctionData&) {
  if (scene::HudTextNode* n = TextNode()) {
    n->font = Ctx.speechFont;
    // The width belongs to the font the text is drawn in.
    if (n->font) {
      textWidth = static_cast<float>(n->font->data.StringWidth(n->text));
      textHeight = static_cast<float>(n->font->data.charHeight);
    }
  }
}

}  // namespace kavo
