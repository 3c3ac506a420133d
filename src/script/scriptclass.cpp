#include "script/scriptclass.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <limits>

#include "core/log.h"
#include "core/strings.h"
#include "script/context.h"

namespace kavo {

size_t TCaseInsensitiveHash::operator()(std::string_view s) const noexcept {
  uint64_t h = 1469598103934665603ull;
  for (char c : s) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') u = static_cast<unsigned char>(u - 'A' + 'a');
    h = (h ^ u) * 1099511628211ull;
  }
  return static_cast<size_t>(h);
}

bool TCaseInsensitiveEqual::operator()(std::string_view a, std::string_view b) const noexcept {
  return SameTextIgnoringCase(a, b);
}

TScriptClassInfo::TScriptClassInfo(std::string className, const TScriptClassInfo* parent, Factory factory)
    : className_(std::move(className)), parent_(parent), factory_(std::move(factory)) {
  displayName_ = className_;
  if (displayName_.size() > 5 && displayName_.compare(displayName_.size() - 5, 5, "Class") == 0)
    displayName_.resize(displayName_.size() - 5);
}

TRegistryBase* TScriptClassInfo::RegistryFor(TKavoContext& ctx) const {
  for (const TScriptClassInfo* c = this; c; c = c->parent_)
    if (c->registry_) return &c->registry_(ctx);
  return nullptr;
}

bool TScriptClassInfo::InheritsFrom(const TScriptClassInfo& other) const {
  for (const TScriptClassInfo* c = this; c; c = c->parent_)
    if (c == &other) return true;
  return false;
}

void TScriptClassInfo::BuildLookups() const {
  if (built_) return;
  for (const TScriptClassInfo* c = this; c; c = c->parent_) {
    for (const TScriptProperty& p : c->ownProperties_) lookup_.emplace(std::string_view(p.name), &p);
    for (const TScriptMethod& m : c->ownMethods_) {
      bool taken = std::any_of(objectMethods_.begin(), objectMethods_.end(),
                               [&](const TScriptMethod* x) { return SameTextIgnoringCase(x->name, m.name); });
      if (!taken) objectMethods_.push_back(&m);
    }
  }
  built_ = true;
}

const TScriptProperty* TScriptClassInfo::FindProperty(std::string_view name) const {
  BuildLookups();
  auto it = lookup_.find(name);
  return it == lookup_.end() ? nullptr : it->second;
}

const std::vector<const TScriptProperty*>& TScriptClassInfo::AllProperties() const {
  BuildLookups();
  // Sorted once per class: saves walk it for every object.
  if (!sortedProperties_.empty() || lookup_.empty()) return sortedProperties_;
  std::vector<const TScriptProperty*>& all = sortedProperties_;
  for (auto& [k, p] : lookup_) all.push_back(p);
  std::sort(all.begin(), all.end(), [](const TScriptProperty* a, const TScriptProperty* b) {
    return LowerAscii(a->name) < LowerAscii(b->name);
  });
  return all;
}

const std::vector<const TScriptMethod*>& TScriptClassInfo::ObjectMethods() const {
  BuildLookups();
  return objectMethods_;
}

TVariant ConvertForProperty(const TVariant& v, TPropType type) {
  auto invalid = [] { return EKavoError("Invalid property value"); };
  switch (type) {
    case TPropType::Integer:
    case TPropType::Byte: {
      int64_t n;
      if (v.IsOrdinal()) {
        n = v.AsInt();
      } else if (v.kind() == TVariant::Kind::Double || v.IsString()) {
        double d = v.ToDouble();
        if (!std::isfinite(d) || std::fabs(d) > 4.0e18) throw invalid();
        n = static_cast<int64_t>(std::trunc(d));
      } else {
        throw invalid();
      }
      if (type == TPropType::Byte ? (n < 0 || n > 255)
                                  : (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max()))
        throw invalid();
      return TVariant(n);
    }
    case TPropType::Boolean: {
      if (v.IsBoolean()) return v;
      if (v.IsString()) {
        if (SameTextIgnoringCase(v.AsString(), "True")) return TVariant(true);
        if (SameTextIgnoringCase(v.AsString(), "False")) return TVariant(false);
        throw invalid();
      }
      if (v.IsNumeric()) {
        double d = v.ToDouble();
        if (!std::isfinite(d)) throw invalid();
        double t = std::trunc(d);
        if (t == 0) return TVariant(false);
        if (t == 1) return TVariant(true);
      }
      throw invalid();
    }
    case TPropType::Single:
    case TPropType::Double:
      if (v.IsNumeric() || v.IsString()) return TVariant(v.ToDouble());
      throw invalid();
    case TPropType::LongString:
    case TPropType::UTF8String:
      return TVariant(v.ToText());
    case TPropType::ShortString: {
      std::string s = v.ToText();
      if (s.size() > 255) s.resize(255);
      return TVariant(std::move(s));
    }
  }
  throw invalid();
}

TVariant ReadPropertyForScript(TKavo_ScriptClass& obj, const TScriptProperty& p) {
  TVariant v = p.get(obj);
  if (p.type == TPropType::Boolean) return TVariant(v.ToBool() ? "True" : "False");
  return v;
}

TObjectHandle TObjectHandles::Register(TKavo_ScriptClass* obj) {
  uint32_t slot;
  if (!free_.empty()) {
    slot = free_.back();
    free_.pop_back();
  } else {
    slot = static_cast<uint32_t>(slots_.size());
    slots_.emplace_back();
  }
  slots_[slot].object = obj;
  slots_[slot].info = &obj->Info();
  return (static_cast<uint64_t>(slots_[slot].generation) << 32) | slot;
}

void TObjectHandles::Unregister(TObjectHandle h) {
  uint32_t slot = static_cast<uint32_t>(h & 0xFFFFFFFFu);
  uint32_t gen = static_cast<uint32_t>(h >> 32);
  if (slot >= slots_.size() || slots_[slot].generation != gen) return;
  slots_[slot].object = nullptr;
  // A new generation: every handle made before no longer resolves. The class
  // is kept per handle generation only until the slot is reused.
  ++slots_[slot].generation;
  if (slots_[slot].generation == 0) slots_[slot].generation = 1;
  free_.push_back(slot);
}

TObjectHandle TObjectHandles::HandleOf(const TKavo_ScriptClass* obj) { return obj->Handle(); }

const TScriptClassInfo* TObjectHandles::ClassOf(TObjectHandle h) const {
  uint32_t slot = static_cast<uint32_t>(h & 0xFFFFFFFFu);
  return slot < slots_.size() ? slots_[slot].info : nullptr;
}

const TScriptClassInfo& TKavo_ScriptClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TKavo_ScriptClass", nullptr);
    TClassBuilder<TKavo_ScriptClass>(i)
        .Field("ScriptName", TPropType::LongString, &TKavo_ScriptClass::ScriptName)
        .Method("Save", &TKavo_ScriptClass::Script_Save, "[variable name]");
    return i;
  }();
  return info;
}

TKavo_ScriptClass::TKavo_ScriptClass(TKavoContext& ctx) : Ctx(ctx) {}
TKavo_ScriptClass::~TKavo_ScriptClass() = default;

void TKavo_ScriptClass::Create() {
  KavoLog("Object manager: Created new object " + DisplayName());
  handle_ = Ctx.handles.Register(this);
  Ctx.objects.Join(this);
  if (TRegistryBase* registry = Info().RegistryFor(Ctx)) registry->Join(this);
}

void TKavo_ScriptClass::DestroyObject() {
  if (!alive_) return;
  alive_ = false;
  if (!ScriptName.empty())
    KavoLog("Object manager: Destroyed object [" + ScriptName + "] - " + DisplayName());
  else
    KavoLog("Object manager: Destroyed object " + DisplayName());
  if (TRegistryBase* registry = Info().RegistryFor(Ctx)) registry->Leave(this);
  Ctx.objects.Leave(this);
  Ctx.handles.Unregister(handle_);
  Ctx.host.Bury(this);
}

void TKavo_ScriptClass::WriteSave(const std::string& n, std::vector<std::string>& lines) {
  lines.push_back("if (" + n + " == nil) then " + n + " = " + Info().ScriptClassName() + ".Create(); end");
  for (const TScriptProperty* p : Info().AllProperties()) {
    std::string value;
    try {
      TVariant v = p->get(*this);
      switch (p->type) {
        case TPropType::LongString:
        case TPropType::UTF8String:
        case TPropType::ShortString: value = LuaQuote(v.ToText()); break;
        case TPropType::Boolean: value = v.ToBool() ? "1" : "0"; break;
        case TPropType::Double: value = SaveNumberText(v.ToDouble()); break;
        case TPropType::Single: value = FormatSaveNumber(v.ToDouble()); break;
        default: value = SaveNumberText(v.ToDouble());  // integers and bytes, exact
      }
    } catch (const std::exception&) {
      continue;  // a property that cannot be read now is left out
    }
    lines.push_back(n + "." + p->name + " = " + value + ";");
  }
}

void TKavo_ScriptClass::Script_Save(TKavo_ScriptFunctionData& data) {
  std::string name = HasArg(data, 0) ? data.Args[0].ToText() : ScriptName;
  WriteSave(name, Ctx.host.SaveBuffer());
}

const char* ArgPosition(size_t index) {
  static const char* const names[] = {"first", "second", "third", "fourth", "fifth",
                                      "sixth", "seventh", "eighth", "ninth", "tenth"};
  return index < 10 ? names[index] : "next";
}

void ArgError(const TKavo_ScriptFunctionData& d, const char* kind, size_t index, bool optional) {
  throw EKavoError(std::string("Function (") + (d.Method ? d.Method : "") + ") requires " + kind + " in " +
                       ArgPosition(index) + (optional ? " argument, which is optional." : " argument."),
                   kErrScriptArgument);
}

bool HasArg(const TKavo_ScriptFunctionData& d, size_t i) { return i < d.Args.size(); }

void CheckOrdinal(const TKavo_ScriptFunctionData& d, size_t i, const char* kind) {
  if (!HasArg(d, i) || !d.Args[i].IsOrdinal()) ArgError(d, kind, i);
}

void CheckNumeric(const TKavo_ScriptFunctionData& d, size_t i, const char* kind) {
  if (!HasArg(d, i) || !d.Args[i].IsNumeric()) ArgError(d, kind, i);
}

void CheckString(const TKavo_ScriptFunctionData& d, size_t i) {
  if (!HasArg(d, i) || !d.Args[i].IsString()) ArgError(d, "string", i);
}

int64_t IntegerArg(const TKavo_ScriptFunctionData& d, size_t i, const char* kind) {
  CheckOrdinal(d, i, kind);
  return d.Args[i].AsInt();
}

double NumberArg(const TKavo_ScriptFunctionData& d, size_t i, const char* kind) {
  CheckNumeric(d, i, kind);
  return d.Args[i].ToDouble();
}

float FloatArg(const TKavo_ScriptFunctionData& d, size_t i) { return static_cast<float>(NumberArg(d, i, "float")); }

const std::string& StringArg(const TKavo_ScriptFunctionData& d, size_t i) {
  CheckString(d, i);
  return d.Args[i].AsString();
}

}  // namespace kavo
