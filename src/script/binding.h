// Methods bound directly from their C++ signature. A class table entry
//
//   b.Bind<&TGameClass::SetFogRGB>("SetFogRGB");
//
// publishes `void SetFogRGB(double r, double g, double b)` to scripts: each
// parameter's type says what the argument must be, the checks run in
// argument order and raise the engine's argument error ("Function
// (SetFogRGB) requires number in second argument.") before the method runs,
// and a return value becomes the call's result.
//
// Parameter types and the kind word of their check:
//   int32_t, int64_t            "integer"  (ordinal: 3 and 3.0 pass, 3.5 fails)
//   TVirtualKey, TOrdinal       "virtual key code", "ordinal" (ordinal)
//   double                      "number"   (numeric)
//   float                       "float"    (numeric)
//   std::string                 "string"
//   std::optional<P>            P's check, made only when the call has that argument
//
// When every parameter is numeric the method also gets a call from plain
// numbers, which the method closure uses for calls whose arguments are all
// Lua numbers: no argument record, no variants.
#pragma once

#include <cmath>
#include <functional>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "script/scriptclass.h"

namespace kavo {

struct TVirtualKey {
  int64_t value = 0;
};
struct TOrdinal {
  int64_t value = 0;
};

namespace binding {

// How a Lua number reaches a method: whole numbers within 32 bits are
// integers (ordinal), every other number is a double.
inline bool NumberIsOrdinal(double v) { return v >= -2147483647.0 && v <= 2147483647.0 && v == std::floor(v); }

template <class P>
struct TParam;

template <class I, const char* Kind>
struct TIntegerParam {
  static constexpr bool kNumeric = true;
  static constexpr bool kOptional = false;
  static const char* KindWord() { return Kind; }
  static bool Accepts(const TVariant& v) { return v.IsOrdinal(); }
  static I From(const TVariant& v) { return static_cast<I>(v.AsInt()); }
  static bool FromNumber(double v, I& out) {
    if (!NumberIsOrdinal(v)) return false;
    out = static_cast<I>(static_cast<int64_t>(v));
    return true;
  }
};

inline constexpr char kInteger[] = "integer";
inline constexpr char kVirtualKeyCode[] = "virtual key code";
inline constexpr char kOrdinalWord[] = "ordinal";

template <>
struct TParam<int32_t> : TIntegerParam<int32_t, kInteger> {};
template <>
struct TParam<int64_t> : TIntegerParam<int64_t, kInteger> {};

template <>
struct TParam<TVirtualKey> {
  static constexpr bool kNumeric = true;
  static constexpr bool kOptional = false;
  static const char* KindWord() { return kVirtualKeyCode; }
  static bool Accepts(const TVariant& v) { return v.IsOrdinal(); }
  static TVirtualKey From(const TVariant& v) { return {v.AsInt()}; }
  static bool FromNumber(double v, TVirtualKey& out) {
    if (!NumberIsOrdinal(v)) return false;
    out.value = static_cast<int64_t>(v);
    return true;
  }
};

template <>
struct TParam<TOrdinal> {
  static constexpr bool kNumeric = true;
  static constexpr bool kOptional = false;
  static const char* KindWord() { return kOrdinalWord; }
  static bool Accepts(const TVariant& v) { return v.IsOrdinal(); }
  static TOrdinal From(const TVariant& v) { return {v.AsInt()}; }
  static bool FromNumber(double v, TOrdinal& out) {
    if (!NumberIsOrdinal(v)) return false;
    out.value = static_cast<int64_t>(v);
    return true;
  }
};

template <>
struct TParam<double> {
  static constexpr bool kNumeric = true;
  static constexpr bool kOptional = false;
  static const char* KindWord() { return "number"; }
  static bool Accepts(const TVariant& v) { return v.IsNumeric(); }
  static double From(const TVariant& v) { return v.ToDouble(); }
  static bool FromNumber(double v, double& out) {
    out = v;
    return true;
  }
};

template <>
struct TParam<float> {
  static constexpr bool kNumeric = true;
  static constexpr bool kOptional = false;
  static const char* KindWord() { return "float"; }
  static bool Accepts(const TVariant& v) { return v.IsNumeric(); }
  static float From(const TVariant& v) { return static_cast<float>(v.ToDouble()); }
  static bool FromNumber(double v, float& out) {
    out = static_cast<float>(v);
    return true;
  }
};

template <>
struct TParam<std::string> {
  static constexpr bool kNumeric = false;
  static constexpr bool kOptional = false;
  static const char* KindWord() { return "string"; }
  static bool Accepts(const TVariant& v) { return v.IsString(); }
  static std::string From(const TVariant& v) { return v.AsString(); }
  static bool FromNumber(double, std::string&) { return false; }
};

template <class P>
struct TParam<std::optional<P>> {
  static constexpr bool kNumeric = TParam<P>::kNumeric;
  static constexpr bool kOptional = true;
  static const char* KindWord() { return TParam<P>::KindWord(); }
  static bool Accepts(const TVariant& v) { return TParam<P>::Accepts(v); }
  static std::optional<P> From(const TVariant& v) { return TParam<P>::From(v); }
  static bool FromNumber(double v, std::optional<P>& out) {
    P p{};
    if (!TParam<P>::FromNumber(v, p)) return false;
    out = p;
    return true;
  }
};

template <class P>
using TParamOf = TParam<std::remove_cv_t<std::remove_reference_t<P>>>;
// What the call keeps of an argument: its value, but a reference to the
// record's own text for a `const std::string&` parameter (scripts may pass
// texts of any length: no copy).
template <class P>
using TValueOf = std::conditional_t<std::is_same_v<P, const std::string&>, std::reference_wrapper<const std::string>,
                                    std::remove_cv_t<std::remove_reference_t<P>>>;

// Reads argument i of a record for a parameter, checking it.
template <class P>
TValueOf<P> ReadArg(const TKavo_ScriptFunctionData& d, size_t i) {
  using Param = TParamOf<P>;
  if constexpr (Param::kOptional) {
    if (!HasArg(d, i)) return std::nullopt;
  }
  if (!HasArg(d, i) || !Param::Accepts(d.Args[i])) ArgError(d, Param::KindWord(), i);
  if constexpr (std::is_same_v<P, const std::string&>)
    return std::cref(d.Args[i].AsString());
  else
    return Param::From(d.Args[i]);
}

template <class R>
TVariant ResultOf(R&& r) {
  return TVariant(std::forward<R>(r));
}

template <class T>
struct TMethodTraits;
template <class T, class R, class... Ps>
struct TMethodTraits<R (T::*)(Ps...)> {
  using Class = T;
  using Result = R;
  static constexpr size_t kCount = sizeof...(Ps);
  static constexpr bool kAllNumeric = (TParamOf<Ps>::kNumeric && ...);
  static std::vector<std::string> Kinds() {
    return {(std::string(TParamOf<Ps>::kOptional ? "[" : "") + TParamOf<Ps>::KindWord() +
             (TParamOf<Ps>::kOptional ? "]" : ""))...};
  }
  static constexpr size_t Required() { return (size_t{0} + ... + (TParamOf<Ps>::kOptional ? 0u : 1u)); }

  template <auto M, size_t... I>
  static void CallRecord(TKavo_ScriptClass& o, TKavo_ScriptFunctionData& d, std::index_sequence<I...>) {
    // Braced initialisation reads (and checks) the arguments left to right.
    std::tuple<TValueOf<Ps>...> args{ReadArg<Ps>(d, I)...};
    T& self = static_cast<T&>(o);
    if constexpr (std::is_void_v<R>) {
      (self.*M)(std::get<I>(std::move(args))...);
    } else {
      d.Result = ResultOf((self.*M)(std::get<I>(std::move(args))...));
    }
  }

  template <auto M, size_t... I>
  static bool CallNumbers(TKavo_ScriptClass& o, const double* a, int n, TVariant& result, std::index_sequence<I...>) {
    if (n < static_cast<int>(Required())) return false;
    std::tuple<TValueOf<Ps>...> args{};
    const bool ok = ((static_cast<int>(I) >= n ? TParamOf<Ps>::kOptional : TParamOf<Ps>::FromNumber(a[I], std::get<I>(args))) &&
                     ...);
    if (!ok) return false;
    T& self = static_cast<T&>(o);
    if constexpr (std::is_void_v<R>) {
      (self.*M)(std::get<I>(std::move(args))...);
    } else {
      result = ResultOf((self.*M)(std::get<I>(std::move(args))...));
    }
    return true;
  }
};
template <class T, class R, class... Ps>
struct TMethodTraits<R (T::*)(Ps...) const> : TMethodTraits<R (T::*)(Ps...)> {};

}  // namespace binding

template <class T>
template <auto M>
TClassBuilder<T>& TClassBuilder<T>::Bind(const char* name) {
  using Traits = binding::TMethodTraits<decltype(M)>;
  constexpr auto seq = std::make_index_sequence<Traits::kCount>{};
  TScriptMethod m;
  m.name = name;
  m.call = [](TKavo_ScriptClass& o, TKavo_ScriptFunctionData& d) { Traits::template CallRecord<M>(o, d, seq); };
  m.bound = true;
  m.params = Traits::Kinds();
  if constexpr (Traits::kAllNumeric) {
    m.callNumbers = [](TKavo_ScriptClass& o, const double* a, int n, TVariant& r) {
      return Traits::template CallNumbers<M>(o, a, n, r, seq);
    };
  }
  info_.AddMethod(std::move(m));
  return *this;
}

}  // namespace kavo
