// TVariant: the engine's dynamic value wherever script values cross into
// engine code (method arguments, results, property writes, global values).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavo {

class TVariant {
 public:
  enum class Kind : uint8_t { Empty, Null, Boolean, Int8, Int32, Int64, Double, String, DateTime, Array };

  TVariant() = default;
  static TVariant Null() { TVariant v; v.kind_ = Kind::Null; return v; }
  TVariant(bool b) : kind_(Kind::Boolean) { u_.b = b; }
  TVariant(int v) : kind_(Kind::Int32) { u_.i = v; }
  TVariant(int64_t v) : kind_(Kind::Int64) { u_.i = v; }
  TVariant(double v) : kind_(Kind::Double) { u_.d = v; }
  TVariant(float v) : kind_(Kind::Double) { u_.d = v; }
  TVariant(const char* s) : kind_(Kind::String), s_(s) {}
  TVariant(std::string s) : kind_(Kind::String), s_(std::move(s)) {}
  TVariant(std::string_view s) : kind_(Kind::String), s_(s) {}
  static TVariant Int8(int8_t v) { TVariant r; r.kind_ = Kind::Int8; r.u_.i = v; return r; }
  static TVariant DateTime(double days) { TVariant r; r.kind_ = Kind::DateTime; r.u_.d = days; return r; }
  static TVariant Array(std::vector<TVariant> items) {
    TVariant r;
    r.kind_ = Kind::Array;
    r.a_ = std::move(items);
    return r;
  }

  Kind kind() const { return kind_; }
  bool IsEmpty() const { return kind_ == Kind::Empty; }
  bool IsEmptyOrNull() const { return kind_ == Kind::Empty || kind_ == Kind::Null; }
  // Ordinal: a boolean or any integer kind.
  bool IsOrdinal() const {
    return kind_ == Kind::Boolean || kind_ == Kind::Int8 || kind_ == Kind::Int32 || kind_ == Kind::Int64;
  }
  bool IsInteger() const { return kind_ == Kind::Int8 || kind_ == Kind::Int32 || kind_ == Kind::Int64; }
  // Numeric: ordinal or floating point.
  bool IsNumeric() const { return IsOrdinal() || kind_ == Kind::Double; }
  bool IsString() const { return kind_ == Kind::String; }
  bool IsBoolean() const { return kind_ == Kind::Boolean; }
  bool IsArray() const { return kind_ == Kind::Array; }

  bool AsBool() const { return u_.b; }
  int64_t AsInt() const { return kind_ == Kind::Boolean ? (u_.b ? -1 : 0) : u_.i; }
  double AsDouble() const { return u_.d; }
  const std::string& AsString() const { return s_; }
  const std::vector<TVariant>& AsArray() const { return a_; }

  // Numeric value as a double (booleans count -1 and 0). Throws a conversion
  // error for values that are not numeric (strings are parsed).
  double ToDouble() const;
  // Rounds a numeric value to the nearest integer, ties to even (how engine
  // methods take integers). Throws for non-numeric or non-finite values.
  int64_t ToRoundedInt() const;
  // Truncates toward zero (how integer properties take values).
  int64_t ToTruncatedInt() const;
  // The value as text: integers in decimal, floating values in general
  // format with up to 15 significant digits, booleans "True"/"False".
  std::string ToText() const;
  bool ToBool() const;

 private:
  Kind kind_ = Kind::Empty;
  union {
    bool b;
    int64_t i;
    double d;
  } u_{};
  std::string s_;
  std::vector<TVariant> a_;
};

// Formats a number in general format with up to 15 significant digits
// ("1.5", "42", "1E20", "1E-5").
std::string FormatGeneral(double v);
// Numbers in saved games, as Lua reads them back exactly: NaN as "0/0",
// infinities as "math.huge" and "-math.huge"; whole numbers up to 2^53 in
// plain decimal; others in the shortest text that reads back as the same
// value. FormatSaveNumber keeps single precision (engine singles),
// SaveNumberText the double (Lua numbers, engine doubles).
std::string FormatSaveNumber(double v);
std::string SaveNumberText(double v);
// Rounds a number to the nearest integer, ties to even, as engine methods
// take integers; raises "Invalid floating point operation" for NaN,
// infinities and numbers beyond 64 bits.
[[noreturn]] void ThrowInvalidFloatingPoint();
inline int64_t RoundToInteger(double v) {
  const double a = v < 0 ? -v : v;
  if (!(a <= 9.2e18)) ThrowInvalidFloatingPoint();  // NaN fails the test too
  // Below 2^52, adding and taking away 2^52 (on the side of v's sign)
  // rounds to a whole number in the default rounding mode: ties to even.
  // From 2^52 on every double is whole.
  constexpr double k2p52 = 4503599627370496.0;
  if (a < k2p52) v = v >= 0 ? (v + k2p52) - k2p52 : (v - k2p52) + k2p52;
  return static_cast<int64_t>(v);
}
// Parses a whole string as a number (leading and trailing blanks allowed).
bool ParseNumber(std::string_view s, double& out);

}  // namespace kavo
