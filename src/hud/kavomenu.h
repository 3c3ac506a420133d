// TMenuClass (script class TMenu): a named group of movable objects shown
// and hidden as a whole.
#pragma once

#include <string>
#include <vector>

#include "script/scriptclass.h"

namespace kavo {

class TKavoMovableClass;

class TMenuClass : public TKavo_ScriptClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TMenuClass(TKavoContext& ctx) : TKavo_ScriptClass(ctx) {}
  void DestroyObject() override;

  void Show() { SetShown(true); }
  void Hide() { SetShown(false); }
  bool Shown() const { return shown_; }
  int ID() const;

  // The members (movable objects), in no particular order: a member knows
  // its slot, so joining and leaving cost the same however many there are.
  const std::vector<TKavoMovableClass*>& Members() const { return members_; }
  void AddMember(TKavoMovableClass& member);
  void RemoveMember(TKavoMovableClass& member);

  std::string Name, ScriptFile;
  int32_t idStore = 0;

  void Script_Show(TKavo_ScriptFunctionData&) { Show(); }
  void Script_Hide(TKavo_ScriptFunctionData&) { Hide(); }
  void Script_ShowExclusive(TKavo_ScriptFunctionData&);
  void Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }

 private:
  void SetShown(bool shown);
  void RaiseShowEvent();
  bool shown_ = true;
  std::vector<TKavoMovableClass*> members_;
};

}  // namespace kavo
