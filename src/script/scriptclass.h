// The script object model: the root of every script-visible engine class,
// the reflection data each class declares once (its published properties and
// methods), the argument record of script methods, the argument checks, and
// the checked handles through which Lua reaches engine objects.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "core/errors.h"
#include "script/handles.h"
#include "script/variant.h"

namespace kavo {

struct TKavoContext;
class TKavo_ScriptClass;
class TRegistryBase;

struct TKavo_ScriptFunctionData {
  std::vector<TVariant> Args;  // index 0 = first Lua argument
  TVariant Result;             // empty on entry; returned to Lua
  // The published name of the method called: the argument checks name it
  // in their messages, so no method writes its own name.
  const char* Method = "";
};

enum class TPropType : uint8_t { Integer, Byte, Single, Double, Boolean, LongString, UTF8String, ShortString };

struct TScriptProperty {
  std::string name;  // as published, without the "Script_" prefix
  TPropType type;
  // Reads the value (booleans as TVariant(bool)); may throw.
  std::function<TVariant(TKavo_ScriptClass&)> get;
  // Takes a value already converted to the property's type by the write
  // rules (Int64 for integers and bytes, Double, Boolean, String); may throw.
  // Empty for a read-only property: writes are converted and then ignored.
  std::function<void(TKavo_ScriptClass&, const TVariant&)> set;
  bool ReadOnly() const { return !set; }
  // Numeric properties (integer, byte, single, double) also read and write
  // plain numbers, the bridge's way around variants. The number written has
  // already passed the write rules (truncated and in range for integers).
  std::function<double(TKavo_ScriptClass&)> getNumber;
  std::function<void(TKavo_ScriptClass&, double)> setNumber;
};

struct TScriptMethod {
  std::string name;  // as published, without the "Script_" prefix, case kept
  std::function<void(TKavo_ScriptClass&, TKavo_ScriptFunctionData&)> call;
  // What the method takes, for the API reference: the argument kinds of a
  // method bound from its signature (TClassBuilder::Bind), in order,
  // optional ones in brackets; else the text its class table gives.
  bool bound = false;
  std::vector<std::string> params;
  std::string argsText;
  // A bound method whose parameters are all numeric also takes a call from
  // plain numbers (as the method closure reads them from Lua). It returns
  // false, having done nothing, when the numbers do not pass the checks or
  // are too few; the record path then runs and reports why.
  bool (*callNumbers)(TKavo_ScriptClass&, const double* args, int count, TVariant& result) = nullptr;
};

// Case-insensitive hashing for property lookups without building strings.
struct TCaseInsensitiveHash {
  size_t operator()(std::string_view s) const noexcept;
};
struct TCaseInsensitiveEqual {
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// The reflection data of one script class. Each class declares its own
// properties and methods once, next to the class; lookups search the class
// and then its ancestors.
class TScriptClassInfo {
 public:
  using Factory = std::function<TKavo_ScriptClass*(TKavoContext&)>;
  // The registry objects of a class join on creation and leave on destruction.
  using RegistryOf = TRegistryBase& (*)(TKavoContext&);

  TScriptClassInfo(std::string className, const TScriptClassInfo* parent, Factory factory = nullptr);

  const std::string& ClassName() const { return className_; }      // "TActorClass"
  const std::string& DisplayName() const { return displayName_; }  // "TActor"
  const TScriptClassInfo* Parent() const { return parent_; }
  // The name the class is registered under in Lua ("THudtrackbar").
  const std::string& ScriptClassName() const { return registeredName_.empty() ? displayName_ : registeredName_; }
  void SetScriptClassName(const std::string& n) const { registeredName_ = n; }
  bool InheritsFrom(const TScriptClassInfo& other) const;
  bool CanCreate() const { return static_cast<bool>(factory_); }
  TKavo_ScriptClass* Construct(TKavoContext& ctx) const { return factory_(ctx); }
  // The registry of this class or its nearest ancestor that declares one.
  TRegistryBase* RegistryFor(TKavoContext& ctx) const;
  void SetRegistry(RegistryOf registry) { registry_ = registry; }

  // Property by name, ignoring case, searching this class then its ancestors.
  const TScriptProperty* FindProperty(std::string_view name) const;
  // The same for a key whose bytes stay put while it is used (a Lua string:
  // Lua interns them). A small cache keyed by the address answers repeated
  // lookups without hashing; a hit is confirmed by comparing the bytes.
  const TScriptProperty* FindPropertyInterned(const char* key, size_t len) const {
    CacheEntry& e = cache_[(reinterpret_cast<uintptr_t>(key) >> 4) & (kCacheSize - 1)];
    if (e.key == key && e.len == len && SameBytes(e.bytes, key, len)) return e.prop;
    const TScriptProperty* p = FindProperty(std::string_view(key, len));
    if (len < sizeof(e.bytes)) {
      e.key = key;
      e.len = len;
      std::memcpy(e.bytes, key, len);
      e.prop = p;
    }
    return p;
  }
  // All properties of the class and its ancestors, sorted by name.
  const std::vector<const TScriptProperty*>& AllProperties() const;
  // The methods an object table holds: class by class from this class up to
  // the root, each in declaration order; a name already taken (ignoring case)
  // by a derived class hides the inherited one.
  const std::vector<const TScriptMethod*>& ObjectMethods() const;

  void AddProperty(TScriptProperty p) { ownProperties_.push_back(std::move(p)); }
  void AddMethod(TScriptMethod m) { ownMethods_.push_back(std::move(m)); }

 private:
  void BuildLookups() const;
  // Property names are short: eight bytes at a time beats a library call.
  static bool SameBytes(const char* a, const char* b, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      uint64_t x, y;
      std::memcpy(&x, a + i, 8);
      std::memcpy(&y, b + i, 8);
      if (x != y) return false;
    }
    for (; i < n; ++i)
      if (a[i] != b[i]) return false;
    return true;
  }

  std::string className_, displayName_;
  mutable std::string registeredName_;
  const TScriptClassInfo* parent_;
  Factory factory_;
  RegistryOf registry_ = nullptr;
  std::vector<TScriptProperty> ownProperties_;
  std::vector<TScriptMethod> ownMethods_;
  mutable bool built_ = false;
  mutable std::unordered_map<std::string_view, const TScriptProperty*, TCaseInsensitiveHash, TCaseInsensitiveEqual>
      lookup_;
  mutable std::vector<const TScriptMethod*> objectMethods_;
  mutable std::vector<const TScriptProperty*> sortedProperties_;
  struct CacheEntry {
    const char* key = nullptr;
    size_t len = 0;
    char bytes[40];
    const TScriptProperty* prop = nullptr;
  };
  static constexpr size_t kCacheSize = 64;
  mutable CacheEntry cache_[kCacheSize];
};

// Declares the members of a class T in one table, next to the class:
//   TClassBuilder<TMeshClass>(info)
//       .Registry([](TKavoContext& c) -> TRegistryBase& { return c.meshes; }, true)
//       .Field("UseBump", TPropType::Boolean, &TMeshClass::UseBump)
//       .Prop("Collisions", TPropType::Boolean, getter, setter)
//       .Bind<&TMeshClass::Script_ApplyShader>("ApplyShader")
//       .Method("Load", &TMeshClass::Script_Load, "file name");
template <class T>
class TClassBuilder {
 public:
  explicit TClassBuilder(TScriptClassInfo& info) : info_(info) {}

  template <class V>
  TClassBuilder& Field(const char* name, TPropType type, V T::*field) {
    TScriptProperty p = Make(name, type, [field](TKavo_ScriptClass& o) { return TVariant(static_cast<T&>(o).*field); });
    p.set = [field, type](TKavo_ScriptClass& o, const TVariant& v) { Assign(static_cast<T&>(o).*field, v, type); };
    if constexpr (std::is_arithmetic_v<V> && !std::is_same_v<V, bool>) {
      p.getNumber = [field](TKavo_ScriptClass& o) { return static_cast<double>(static_cast<T&>(o).*field); };
      p.setNumber = [field](TKavo_ScriptClass& o, double v) { static_cast<T&>(o).*field = static_cast<V>(v); };
    }
    info_.AddProperty(std::move(p));
    return *this;
  }

  // get: value(T&), a number, boolean, string or variant. set: void(T&, V)
  // with the value converted by the write rules, where V is the variant
  // itself (Int64 for integers and bytes, Double, Boolean, String) or the
  // plain value: an integer, a floating-point number, bool or a string.
  template <class Get, class Set>
  TClassBuilder& Prop(const char* name, TPropType type, Get get, Set set) {
    using V = SetterValue<Set>;
    TScriptProperty p = Make(name, type, [get](TKavo_ScriptClass& o) { return TVariant(get(static_cast<T&>(o))); });
    p.set = [set](TKavo_ScriptClass& o, const TVariant& v) { set(static_cast<T&>(o), FromVariant<V>(v)); };
    AddNumberGetter(p, get);
    const bool numeric = type == TPropType::Integer || type == TPropType::Byte || type == TPropType::Single ||
                         type == TPropType::Double;
    if (numeric) {
      if constexpr (std::is_arithmetic_v<V> && !std::is_same_v<V, bool>) {
        p.setNumber = [set](TKavo_ScriptClass& o, double v) { set(static_cast<T&>(o), static_cast<V>(v)); };
      } else if constexpr (std::is_same_v<V, TVariant>) {
        if (type == TPropType::Integer || type == TPropType::Byte)
          p.setNumber = [set](TKavo_ScriptClass& o, double v) { set(static_cast<T&>(o), TVariant(static_cast<int64_t>(v))); };
        else
          p.setNumber = [set](TKavo_ScriptClass& o, double v) { set(static_cast<T&>(o), TVariant(v)); };
      }
    }
    info_.AddProperty(std::move(p));
    return *this;
  }

  // A read-only property: writes are converted by the write rules and then
  // ignored. get: value(T&) as for Prop.
  template <class Get>
  TClassBuilder& ReadOnly(const char* name, TPropType type, Get get) {
    TScriptProperty p = Make(name, type, [get](TKavo_ScriptClass& o) { return TVariant(get(static_cast<T&>(o))); });
    AddNumberGetter(p, get);
    info_.AddProperty(std::move(p));
    return *this;
  }

  // A method bound from its signature; see script/binding.h.
  template <auto M>
  TClassBuilder& Bind(const char* name);

  // The registry objects of the class join and leave. With `positionId` the
  // class publishes `ID`: the object's current position in it (read-only).
  TClassBuilder& Registry(TScriptClassInfo::RegistryOf registry, bool positionId) {
    info_.SetRegistry(registry);
    if (positionId)
      ReadOnly("ID", TPropType::Integer, [registry](T& o) { return TVariant(registry(o.Ctx).IndexOf(&o)); });
    return *this;
  }

  // A method that reads its own argument record; `args` says what it takes
  // ("float [, float [, float]]", "" for nothing).
  TClassBuilder& Method(const char* name, void (T::*m)(TKavo_ScriptFunctionData&), const char* args) {
    TScriptMethod method;
    method.name = name;
    method.argsText = args;
    method.call = [m](TKavo_ScriptClass& o, TKavo_ScriptFunctionData& d) { (static_cast<T&>(o).*m)(d); };
    info_.AddMethod(std::move(method));
    return *this;
  }

 private:
  template <class Get>
  static TScriptProperty Make(const char* name, TPropType type, Get get) {
    TScriptProperty p;
    p.name = name;
    p.type = type;
    p.get = std::move(get);
    return p;
  }

  // The value type a setter takes (its second parameter, decayed).
  template <class F>
  struct SetterTraits : SetterTraits<decltype(&F::operator())> {};
  template <class C, class R, class A, class B>
  struct SetterTraits<R (C::*)(A, B) const> {
    using Value = std::decay_t<B>;
  };
  template <class R, class A, class B>
  struct SetterTraits<R (*)(A, B)> {
    using Value = std::decay_t<B>;
  };
  template <class Set>
  using SetterValue = typename SetterTraits<std::decay_t<Set>>::Value;

  template <class V>
  static V FromVariant(const TVariant& v) {
    if constexpr (std::is_same_v<V, TVariant>) return v;
    else if constexpr (std::is_same_v<V, bool>) return v.AsBool();
    else if constexpr (std::is_integral_v<V>) return static_cast<V>(v.AsInt());
    else if constexpr (std::is_floating_point_v<V>) return static_cast<V>(v.ToDouble());
    else return v.AsString();
  }

  template <class Get>
  static void AddNumberGetter(TScriptProperty& p, Get get) {
    using R = std::decay_t<decltype(get(std::declval<T&>()))>;
    if constexpr (std::is_arithmetic_v<R> && !std::is_same_v<R, bool>)
      p.getNumber = [get](TKavo_ScriptClass& o) { return static_cast<double>(get(static_cast<T&>(o))); };
  }

  static void Assign(int32_t& f, const TVariant& v, TPropType) { f = static_cast<int32_t>(v.AsInt()); }
  static void Assign(uint8_t& f, const TVariant& v, TPropType) { f = static_cast<uint8_t>(v.AsInt()); }
  static void Assign(float& f, const TVariant& v, TPropType) { f = static_cast<float>(v.AsDouble()); }
  static void Assign(double& f, const TVariant& v, TPropType) { f = v.AsDouble(); }
  static void Assign(bool& f, const TVariant& v, TPropType) { f = v.AsBool(); }
  static void Assign(std::string& f, const TVariant& v, TPropType) { f = v.AsString(); }
  TScriptClassInfo& info_;
};

// Converts a variant by the property write rules into the property's type.
// Throws when the value cannot be taken (not convertible or out of range).
TVariant ConvertForProperty(const TVariant& v, TPropType type);
// Reads a property as a script sees it: booleans as "True"/"False".
TVariant ReadPropertyForScript(TKavo_ScriptClass& obj, const TScriptProperty& p);

// The root of every script-visible engine class.
class TKavo_ScriptClass {
 public:
  explicit TKavo_ScriptClass(TKavoContext& ctx);
  virtual ~TKavo_ScriptClass();
  TKavo_ScriptClass(const TKavo_ScriptClass&) = delete;
  TKavo_ScriptClass& operator=(const TKavo_ScriptClass&) = delete;

  static const TScriptClassInfo& StaticInfo();
  virtual const TScriptClassInfo& Info() const = 0;

  // Runs after construction: logs the creation line and joins the object
  // list and the class's registry. Overrides run the base first, then build
  // their own parts.
  virtual void Create();
  // Releases the object: overrides release their own parts and then run the
  // base, which logs, leaves the registry and the object list and hands the
  // object to the engine to be freed once no native call is using it any more.
  virtual void DestroyObject();
  // Appends the object's save lines under a variable name.
  virtual void WriteSave(const std::string& variableName, std::vector<std::string>& lines);

  void Script_Save(TKavo_ScriptFunctionData& data);

  TObjectHandle Handle() const { return handle_; }
  bool Alive() const { return alive_; }
  const std::string& DisplayName() const { return Info().DisplayName(); }

  std::string ScriptName;
  TKavoContext& Ctx;

 private:
  TObjectHandle handle_ = 0;
  bool alive_ = true;
};

// The argument reader of script methods. Each check raises error 12 with
// the text "Function (" + the method's published name (from the record) +
// ") requires " + kind + " in " + position + " argument." A missing required
// argument fails its check (the array is never read past its end); an
// optional argument is checked only when the call has it.
const char* ArgPosition(size_t index);  // "first" .. "tenth", then "next"
[[noreturn]] void ArgError(const TKavo_ScriptFunctionData& d, const char* kind, size_t index, bool optional = false);
void CheckOrdinal(const TKavo_ScriptFunctionData& d, size_t i, const char* kind = "integer");
void CheckNumeric(const TKavo_ScriptFunctionData& d, size_t i, const char* kind = "number");
void CheckString(const TKavo_ScriptFunctionData& d, size_t i);
bool HasArg(const TKavo_ScriptFunctionData& d, size_t i);

// The same checks as reads: each returns the argument's value once it passed.
int64_t IntegerArg(const TKavo_ScriptFunctionData& d, size_t i, const char* kind = "integer");
double NumberArg(const TKavo_ScriptFunctionData& d, size_t i, const char* kind = "number");
float FloatArg(const TKavo_ScriptFunctionData& d, size_t i);  // kind "float"
const std::string& StringArg(const TKavo_ScriptFunctionData& d, size_t i);

// The live object a handle stands for, when it is of class T (or derived
// from it); else null.
template <class T>
T* ResolveAs(const TObjectHandles& handles, TObjectHandle h) {
  TKavo_ScriptClass* o = handles.Resolve(h);
  return o != nullptr && o->Info().InheritsFrom(T::StaticInfo()) ? static_cast<T*>(o) : nullptr;
}

// A factory for the class tables: constructs, then runs the virtual Create.
template <class T>
TKavo_ScriptClass* MakeScriptObject(TKavoContext& ctx) {
  T* obj = new T(ctx);
  obj->Create();
  return obj;
}

// Declares the usual static/virtual info pair of a script class.
#define KAVO_SCRIPT_CLASS()                      \
 public:                                         \
  static const TScriptClassInfo& StaticInfo();   \
  const TScriptClassInfo& Info() const override { return StaticInfo(); }

}  // namespace kavo
