#include "hud/kavoconversation.h"

#include <algorithm>

#include "core/errors.h"
#include "core/strings.h"
#include "hud/kavohudsprite.h"
#include "hud/kavohudtext.h"
#include "script/context.h"
#include "script/environment.h"

namespace kavo {

namespace {
using T = TConversationClass;

// Option texts and handler names are short strings.
constexpr size_t kShortStringBytes = 255;
std::string Short(const std::string& s) { return s.size() > kShortStringBytes ? s.substr(0, kShortStringBytes) : s; }

// Shows or hides a HUD element as its Visible property does.
void SetVisible(TKavoMovableClass& m, bool visible) {
  m.visibleFlag = visible;
  m.ApplyVisibility();
}
}  // namespace

const TScriptClassInfo& TConversationClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TConversationClass", &TKavo_ScriptClass::StaticInfo(), MakeScriptObject<T>);
    TClassBuilder<T>(i)
        .Field("UpSprite", TPropType::Integer, &T::UpSprite)
        .Field("DownSprite", TPropType::Integer, &T::DownSprite)
        .Method("BindHudtext", &T::Script_BindHudtext, "HUD text ID (integer)")
        .Method("UnBindHudtext", &T::Script_UnBindHudtext, "HUD text ID (integer)")
        .Method("ClearHudtextBinds", &T::Script_ClearHudtextBinds, "")
        .Method("AddNode", &T::Script_AddNode, "")
        .Method("ClearNodes", &T::Script_ClearNodes, "")
        .Method("AddOption", &T::Script_AddOption, "node index (integer), text [, handler name]")
        .Method("RemoveOption", &T::Script_RemoveOption, "node index (integer), text")
        .Method("SetAsked", &T::Script_SetAsked, "node index (integer), option index (integer) or text")
        .Method("ShowNode", &T::Script_ShowNode, "node index (integer)")
        .Method("HideNodes", &T::Script_HideNodes, "")
        .Method("MoveUp", &T::Script_MoveUp, "")
        .Method("MoveDown", &T::Script_MoveDown, "")
        .Method("Destroy", &T::Script_Destroy, "");
    return i;
  }();
  return info;
}

void TConversationClass::DestroyObject() {
  if (!Alive()) return;
  nodes_.clear();
  bound_.clear();
  currentNode_ = -1;
  ++layoutSerial_;
  TKavo_ScriptClass::DestroyObject();
}

TConversationNode& TConversationClass::NodeAt(int64_t index) {
  if (index < 0 || index >= static_cast<int64_t>(nodes_.size())) throw ListIndexError(index);
  return nodes_[static_cast<size_t>(index)];
}

void TConversationClass::PruneBound() {
  std::erase_if(bound_, [this](TObjectHandle h) { return ResolveAs<THudtextClass>(Ctx.handles, h) == nullptr; });
}

std::vector<THudtextClass*> TConversationClass::BoundTexts() {
  PruneBound();
  std::vector<THudtextClass*> texts;
  for (TObjectHandle h : bound_) texts.push_back(ResolveAs<THudtextClass>(Ctx.handles, h));
  return texts;
}

THudspriteClass* TConversationClass::Arrow(int32_t id) const { return Ctx.hudSprites.Find(id); }

// The render of the current node. Slot k (the k-th bound text) shows option
// s + k, where s is the scroll offset. Every bound slot is visited: one past
// the node's options is hidden and emptied, so a removed option or the lines
// of a longer node shown before never stay on screen to be clicked.
//
// Before an option's text is written the text's OnMouseMove function runs
// (the scripts restyle the line there, by the Enabled just set). That call
// may destroy the conversation, its texts or sprites, change the nodes or
// lay the conversation out anew; the render works from a copy of what it
// shows, re-resolves every text after the call, and stops when the
// conversation is gone or a newer layout has taken over.
void TConversationClass::Render() {
  const uint64_t serial = ++layoutSerial_;
  const TObjectHandle self = Handle();
  PruneBound();
  const std::vector<TObjectHandle> slots = bound_;
  const std::vector<TConversationNodeOption>& options = nodes_[static_cast<size_t>(currentNode_)].options;
  const int64_t O = static_cast<int64_t>(options.size());
  const int64_t B = static_cast<int64_t>(slots.size());
  const int64_t s = scrollOffset_;
  std::vector<TConversationNodeOption> shown;
  for (int64_t k = 0; k < B && s + k < O; ++k) shown.push_back(options[static_cast<size_t>(s + k)]);

  // The arrows: only a pair is managed here, the down arrow hidden for now
  // and the up arrow shown when there is something above.
  THudspriteClass* up = Arrow(UpSprite);
  THudspriteClass* down = Arrow(DownSprite);
  if (up && down) {
    SetVisible(*down, false);
    SetVisible(*up, s > 0);
  }

  auto stillOurs = [&] { return Ctx.handles.Resolve(self) == this && layoutSerial_ == serial; };
  const int64_t steps = std::max(O, B);
  for (int64_t k = 0; k < steps; ++k) {
    if (k >= B) {
      // More options than slots: the down arrow (even a lone one) shows
      // while options lie below the last slot. Every later step would do
      // the same, so one does it for all.
      if (O - B > s)
        if (THudspriteClass* arrow = Arrow(DownSprite)) SetVisible(*arrow, true);
      break;
    }
    THudtextClass* text = ResolveAs<THudtextClass>(Ctx.handles, slots[static_cast<size_t>(k)]);
    if (!text) continue;
    if (k < static_cast<int64_t>(shown.size())) {
      const TConversationNodeOption& option = shown[static_cast<size_t>(k)];
      text->Enabled = option.asked ? 0 : 1;
      const std::string restyle = text->OnMouseMove;
      Ctx.LoadRoomScript();
      if (stillOurs() && !restyle.empty() && Ctx.script) Ctx.script->CallNoArgs(restyle);
      if (!stillOurs()) return;
      text = ResolveAs<THudtextClass>(Ctx.handles, slots[static_cast<size_t>(k)]);
      if (!text) continue;
      SetVisible(*text, true);
      text->SetText(option.text);
      text->OnMouseUp = option.handler;
    } else {
      SetVisible(*text, false);
      text->SetText("");
    }
  }
}

void TConversationClass::Script_BindHudtext(TKavo_ScriptFunctionData& d) {
  const int64_t id = IntegerArg(d, 0);
  bound_.push_back(Ctx.hudTexts.At(id)->Handle());
}

void TConversationClass::Script_UnBindHudtext(TKavo_ScriptFunctionData& d) {
  const int64_t id = IntegerArg(d, 0);
  const TObjectHandle h = Ctx.hudTexts.At(id)->Handle();
  PruneBound();
  auto it = std::find(bound_.begin(), bound_.end(), h);
  if (it != bound_.end()) bound_.erase(it);
}

void TConversationClass::Script_AddNode(TKavo_ScriptFunctionData& d) {
  nodes_.emplace_back();
  d.Result = static_cast<int64_t>(nodes_.size() - 1);
}

// Nothing is hidden and the scroll offset stays: the next ShowNode lays out
// the slots again.
void TConversationClass::Script_ClearNodes(TKavo_ScriptFunctionData&) {
  nodes_.clear();
  currentNode_ = -1;
  ++layoutSerial_;
}

void TConversationClass::Script_AddOption(TKavo_ScriptFunctionData& d) {
  const int64_t node = IntegerArg(d, 0);
  const std::string& text = StringArg(d, 1);
  if (HasArg(d, 2) && !d.Args[2].IsString()) ArgError(d, "string", 2, true);
  TConversationNode& n = NodeAt(node);
  TConversationNodeOption option;
  option.text = Short(text);
  if (HasArg(d, 2)) option.handler = Short(d.Args[2].AsString());
  // Shown at the next render only.
  n.options.push_back(std::move(option));
}

void TConversationClass::Script_RemoveOption(TKavo_ScriptFunctionData& d) {
  const int64_t node = IntegerArg(d, 0);
  // Stored texts are cut to a short string; so is the text looked for.
  const std::string text = Short(StringArg(d, 1));
  auto& options = NodeAt(node).options;
  auto it = std::find_if(options.begin(), options.end(), [&](const auto& o) { return o.text == text; });
  if (it == options.end()) return;
  options.erase(it);
  if (node == currentNode_) Render();
}

void TConversationClass::Script_SetAsked(TKavo_ScriptFunctionData& d) {
  const int64_t node = IntegerArg(d, 0);
  if (!HasArg(d, 1) || !(d.Args[1].IsString() || d.Args[1].IsOrdinal())) ArgError(d, "integer or string", 1);
  auto& options = NodeAt(node).options;
  TConversationNodeOption* option = nullptr;
  if (d.Args[1].IsString()) {
    const std::string text = Short(d.Args[1].AsString());
    auto it = std::find_if(options.begin(), options.end(), [&](const auto& o) { return o.text == text; });
    if (it == options.end()) return;
    option = &*it;
  } else {
    const int64_t index = d.Args[1].AsInt();
    if (index < 0 || index >= static_cast<int64_t>(options.size())) throw ListIndexError(index);
    option = &options[static_cast<size_t>(index)];
  }
  option->asked = true;
  if (node == currentNode_) Render();
}

void TConversationClass::Script_ShowNode(TKavo_ScriptFunctionData& d) {
  const int64_t node = IntegerArg(d, 0);
  NodeAt(node);
  currentNode_ = static_cast<int32_t>(node);
  Render();
}

void TConversationClass::Script_HideNodes(TKavo_ScriptFunctionData&) {
  ++layoutSerial_;
  // The hide step runs once per node and is the same each time: no nodes,
  // nothing hidden.
  if (!nodes_.empty()) {
    THudspriteClass* up = Arrow(UpSprite);
    THudspriteClass* down = Arrow(DownSprite);
    if (up && down) {
      SetVisible(*up, false);
      SetVisible(*down, false);
    }
    for (THudtextClass* text : BoundTexts()) {
      SetVisible(*text, false);
      text->SetText("");
    }
  }
  currentNode_ = -1;
  scrollOffset_ = 0;
}

void TConversationClass::Script_MoveUp(TKavo_ScriptFunctionData&) {
  scrollOffset_ = std::max(scrollOffset_ - 1, 0);
  if (currentNode_ != -1) Render();
}

void TConversationClass::Script_MoveDown(TKavo_ScriptFunctionData&) {
  if (currentNode_ == -1) return;
  PruneBound();
  const int64_t most = static_cast<int64_t>(nodes_[static_cast<size_t>(currentNode_)].options.size()) -
                       static_cast<int64_t>(bound_.size());
  scrollOffset_ = static_cast<int32_t>(std::max<int64_t>(std::min<int64_t>(scrollOffset_ + int64_t{1}, most), 0));
  Render();
}

// After the creation line and the properties (the arrows among them): the
// bound texts by their current IDs, then the nodes with their options. An
// asked flag is restored by the option's index, so options that share a text
// keep their own flags. The current node and the scroll offset are not
// saved: a loaded conversation stays hidden until a script shows a node.
void TConversationClass::WriteSave(const std::string& n, std::vector<std::string>& lines) {
  TKavo_ScriptClass::WriteSave(n, lines);
  lines.push_back(n + ".ClearHudtextBinds();");
  for (THudtextClass* text : BoundTexts())
    lines.push_back(n + ".BindHudtext(" + std::to_string(Ctx.hudTexts.IndexOf(text)) + ");");
  lines.push_back(n + ".ClearNodes();");
  for (size_t i = 0; i < nodes_.size(); ++i) {
    const std::string node = std::to_string(i);
    lines.push_back(n + ".AddNode();");
    const auto& options = nodes_[i].options;
    for (size_t j = 0; j < options.size(); ++j) {
      const TConversationNodeOption& o = options[j];
      std::string line = n + ".AddOption(" + node + "," + LuaQuote(o.text);
      if (!o.handler.empty()) line += "," + LuaQuote(o.handler);
      lines.push_back(line + ");");
      if (o.asked) lines.push_back(n + ".SetAsked(" + node + "," + std::to_string(j) + ");");
    }
  }
}

}  // namespace kavo
