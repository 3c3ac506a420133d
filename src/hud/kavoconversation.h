// TConversationClass (script class TConversation): the player's dialogue
// menu. A conversation holds nodes, each a list of options (a line to show,
// the Lua function that answers it, whether it was asked), and shows one node
// at a time on HUD texts the script binds to it, with two optional HUD
// sprites as scroll arrows. A shown option copies its handler into the
// text's OnMouseUp, so the player picks it by releasing the mouse on the
// text. Which node follows which answer is the scripts' business.
//
// The conversation has no scene node and joins no registry but the object
// list. It keeps its bound texts by checked handle: a destroyed text drops
// out of the bound list the next time the conversation looks at it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "script/scriptclass.h"

namespace kavo {

class THudspriteClass;
class THudtextClass;

struct TConversationNodeOption {
  std::string text;     // at most 255 bytes
  std::string handler;  // at most 255 bytes; empty for none
  bool asked = false;   // set by SetAsked, never cleared
};

struct TConversationNode {
  std::vector<TConversationNodeOption> options;
};

class TConversationClass : public TKavo_ScriptClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TConversationClass(TKavoContext& ctx) : TKavo_ScriptClass(ctx) {}
  void DestroyObject() override;
  void WriteSave(const std::string& variableName, std::vector<std::string>& lines) override;

  // HUD sprite IDs of the scroll arrows, -1 for none; read at each render.
  // An ID that names no HUD sprite counts as -1.
  int32_t UpSprite = -1;
  int32_t DownSprite = -1;

  const std::vector<TConversationNode>& Nodes() const { return nodes_; }
  int32_t CurrentNode() const { return currentNode_; }
  int32_t ScrollOffset() const { return scrollOffset_; }
  // The live bound texts in binding order (destroyed ones are dropped).
  std::vector<THudtextClass*> BoundTexts();

  void Script_BindHudtext(TKavo_ScriptFunctionData& d);
  void Script_UnBindHudtext(TKavo_ScriptFunctionData& d);
  void Script_ClearHudtextBinds(TKavo_ScriptFunctionData&) { bound_.clear(); }
  void Script_AddNode(TKavo_ScriptFunctionData& d);
  void Script_ClearNodes(TKavo_ScriptFunctionData& d);
  void Script_AddOption(TKavo_ScriptFunctionData& d);
  void Script_RemoveOption(TKavo_ScriptFunctionData& d);
  void Script_SetAsked(TKavo_ScriptFunctionData& d);
  void Script_ShowNode(TKavo_ScriptFunctionData& d);
  void Script_HideNodes(TKavo_ScriptFunctionData& d);
  void Script_MoveUp(TKavo_ScriptFunctionData& d);
  void Script_MoveDown(TKavo_ScriptFunctionData& d);
  void Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }

 private:
  // The node at a script-given index; raises the list error outside the list.
  TConversationNode& NodeAt(int64_t index);
  // Drops the handles of destroyed texts.
  void PruneBound();
  // The arrow sprite an ID names, or null (no sprite: the same as -1).
  THudspriteClass* Arrow(int32_t id) const;
  // Lays the current node out on the bound texts and the arrows.
  void Render();

  std::vector<TConversationNode> nodes_;
  std::vector<TObjectHandle> bound_;  // HUD texts, binding order; a text may be bound twice
  int32_t currentNode_ = -1;
  int32_t scrollOffset_ = 0;
  // Counts layouts (renders, hides, clears): a render that called into Lua
  // stops when a newer layout happened meanwhile, which then stands.
  uint64_t layoutSerial_ = 0;
};

}  // namespace kavo
