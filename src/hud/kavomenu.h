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

  // Members (movable objects) keep this list up to date themselves.
  std::vector<TKavoMovableClass*> members;

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
};

}  // namespace kavo
