#include "hud/kavomenu.h"

#include "script/context.h"
#include "script/environment.h"
#include "world/kavodummy.h"

namespace kavo {

const TScriptClassInfo& TMenuClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TMenuClass", &TKavo_ScriptClass::StaticInfo(), MakeScriptObject<TMenuClass>);
    using T = TMenuClass;
    TClassBuilder<T>(i)
        .Registry([](TKavoContext& c) -> TRegistryBase& { return c.menus; }, false)
        .Field("Name", TPropType::ShortString, &T::Name)
        .Prop("ID", TPropType::Integer, [](T& m) { return m.ID(); },
              [](T& m, const TVariant& v) { m.idStore = static_cast<int32_t>(v.AsInt()); })
        .Field("ScriptFile", TPropType::ShortString, &T::ScriptFile)
        .Method("Show", &T::Script_Show, "")
        .Method("Hide", &T::Script_Hide, "")
        .Method("ShowExclusive", &T::Script_ShowExclusive, "")
        .Method("Destroy", &T::Script_Destroy, "");
    return i;
  }();
  return info;
}

void TMenuClass::AddMember(TKavoMovableClass& m) {
  if (m.menu_ == this) return;
  if (m.menu_) m.menu_->RemoveMember(m);
  m.menu_ = this;
  m.menuSlot_ = members_.size();
  members_.push_back(&m);
}

void TMenuClass::RemoveMember(TKavoMovableClass& m) {
  if (m.menu_ != this || m.menuSlot_ >= members_.size() || members_[m.menuSlot_] != &m) return;
  // The last member takes the leaver's slot.
  TKavoMovableClass* last = members_.back();
  members_[m.menuSlot_] = last;
  last->menuSlot_ = m.menuSlot_;
  members_.pop_back();
  m.menu_ = nullptr;
}

void TMenuClass::DestroyObject() {
  for (TKavoMovableClass* m : members_) m->menu_ = nullptr;
  members_.clear();
  TKavo_ScriptClass::DestroyObject();  // leaves the menu list: the first occurrence only
}

int TMenuClass::ID() const { return Ctx.menus.IndexOf(this); }

void TMenuClass::RaiseShowEvent() {
  if (ScriptFile.empty()) return;
  CallEvent(Ctx, "scripts\\" + ScriptFile, "on" + Name + "Show");
}

void TMenuClass::SetShown(bool shown) {
  shown_ = shown;
  std::vector<TObjectHandle> snapshot;
  for (TKavoMovableClass* m : members_) snapshot.push_back(m->Handle());
  for (TObjectHandle h : snapshot)
    if (TKavoMovableClass* m = ResolveAs<TKavoMovableClass>(Ctx.handles, h)) m->ApplyVisibility();
  // Showing and hiding both call "on" + Name + "Show": there is no hide function.
  RaiseShowEvent();
}

void TMenuClass::Script_ShowExclusive(TKavo_ScriptFunctionData&) {
  const TObjectHandle self = Handle();
  Ctx.menus.ForEachLive([](TMenuClass& m) { m.Hide(); });
  if (Ctx.handles.Resolve(self)) Show();
}

}  // namespace kavo
