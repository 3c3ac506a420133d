#include "hud/kavomenu.h"

#include "script/environment.h"
#include "script/registered.h"
#include "shell/kavoform.h"

namespace kavo {

void (*TMenuClass::applyMemberVisibility)(TKavo_ScriptClass& member) = nullptr;

const TScriptClassInfo& TMenuClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TMenuClass", &TKavo_ScriptClass::StaticInfo(), MakeScriptObject<TMenuClass>);
    using T = TMenuClass;
    TClassBuilder<T>(i)
        .Field("Name", TPropType::ShortString, &T::Name)
        .Prop("ID", TPropType::Integer, [](T& m) { return TVariant(m.ID()); },
              [](T& m, const TVariant& v) { m.idStore = static_cast<int32_t>(v.AsInt()); })
        .Field("ScriptFile", TPropType::ShortString, &T::ScriptFile)
        .Method("Show", &T::Script_Show)
        .Method("Hide", &T::Script_Hide)
        .Method("ShowExclusive", &T::Script_ShowExclusive)
        .Method("Destroy", &T::Script_Destroy);
    return i;
  }();
  return info;
}

void TMenuClass::Create() {
  TKavo_ScriptClass::Create();
  Form.menus.push_back(this);
}

void TMenuClass::DestroyObject() {
  LeaveRegistry(Form.menus, this);  // the first occurrence only
  members.clear();
  TKavo_ScriptClass::DestroyObject();
}

int TMenuClass::ID() const { return IndexInRegistry(Form.menus, this); }

void TMenuClass::RaiseShowEvent() {
  if (ScriptFile.empty()) return;
  CallEvent(Form, "scripts\\" + ScriptFile, "on" + Name + "Show");
}

void TMenuClass::SetShown(bool shown) {
  shown_ = shown;
  if (applyMemberVisibility) {
    std::vector<TObjectHandle> snapshot;
    for (TKavo_ScriptClass* m : members) snapshot.push_back(m->Handle());
    for (TObjectHandle h : snapshot)
      if (TKavo_ScriptClass* m = Form.handles.Resolve(h)) applyMemberVisibility(*m);
  }
  // Showing and hiding both call "on" + Name + "Show": there is no hide function.
  RaiseShowEvent();
}

void TMenuClass::Script_ShowExclusive(TKavo_ScriptFunctionData&) {
  const TObjectHandle self = Handle();
  std::vector<TObjectHandle> all;
  for (TKavo_ScriptClass* m : Form.menus) all.push_back(m->Handle());
  for (TObjectHandle h : all)
    if (auto* m = Form.handles.Resolve(h)) static_cast<TMenuClass*>(m)->Hide();
  if (Form.handles.Resolve(self)) Show();
}

}  // namespace kavo
