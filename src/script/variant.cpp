#include "script/variant.h"

#include <charconv>
#include <cmath>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "core/errors.h"

namespace kavo {

namespace {
EKavoError ConversionError(const TVariant& v, const char* to) {
  const char* from = "Unknown";
  switch (v.kind()) {
    case TVariant::Kind::Empty: from = "Empty"; break;
    case TVariant::Kind::Null: from = "Null"; break;
    case TVariant::Kind::Boolean: from = "Boolean"; break;
    case TVariant::Kind::Int8: from = "ShortInt"; break;
    case TVariant::Kind::Int32: from = "Integer"; break;
    case TVariant::Kind::Int64: from = "Int64"; break;
    case TVariant::Kind::Double: from = "Double"; break;
    case TVariant::Kind::String: from = "String"; break;
    case TVariant::Kind::DateTime: from = "Date"; break;
    case TVariant::Kind::Array: from = "Array"; break;
  }
  return EKavoError(std::string("Could not convert variant of type (") + from + ") into type (" + to + ")");
}
}  // namespace

std::string FormatGeneral(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
  if (v == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%.15G", v);
  std::string s(buf);
  size_t e = s.find('E');
  if (e == std::string::npos) return s;
  std::string mant = s.substr(0, e);
  std::string ex = s.substr(e + 1);
  bool neg = !ex.empty() && ex[0] == '-';
  size_t start = (!ex.empty() && (ex[0] == '+' || ex[0] == '-')) ? 1 : 0;
  while (start + 1 < ex.size() && ex[start] == '0') ++start;
  return mant + "E" + (neg ? "-" : "") + ex.substr(start);
}

namespace {
// NaN, infinities and whole numbers; false for the rest.
bool SpecialSaveNumber(double v, std::string& out) {
  if (std::isnan(v)) {
    out = "0/0";
    return true;
  }
  if (std::isinf(v)) {
    out = v > 0 ? "math.huge" : "-math.huge";
    return true;
  }
  if (v == std::floor(v) && std::fabs(v) <= 9007199254740992.0) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof(buf), static_cast<int64_t>(v));
    out.assign(buf, r.ptr);
    return true;
  }
  return false;
}
}  // namespace

std::string FormatSaveNumber(double v) {
  const float f = static_cast<float>(v);
  std::string out;
  if (SpecialSaveNumber(static_cast<double>(f), out)) return out;
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof(buf), f);
  return std::string(buf, r.ptr);
}

std::string SaveNumberText(double v) {
  std::string out;
  if (SpecialSaveNumber(v, out)) return out;
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof(buf), v);
  return std::string(buf, r.ptr);
}

bool ParseNumber(std::string_view s, double& out) {
  std::string t(s);
  size_t a = t.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return false;
  size_t b = t.find_last_not_of(" \t\r\n");
  t = t.substr(a, b - a + 1);
  // Reject the C library's extras (hex floats, "inf", "nan") that scripts never mean.
  for (char c : t) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
  }
  char* end = nullptr;
  out = std::strtod(t.c_str(), &end);
  return end != nullptr && *end == '\0' && end != t.c_str();
}

double TVariant::ToDouble() const {
  switch (kind_) {
    case Kind::Boolean: return u_.b ? -1.0 : 0.0;
    case Kind::Int8:
    case Kind::Int32:
    case Kind::Int64: return static_cast<double>(u_.i);
    case Kind::Double:
    case Kind::DateTime: return u_.d;
    case Kind::String: {
      double d;
      if (ParseNumber(s_, d)) return d;
      throw ConversionError(*this, "Double");
    }
    default: throw ConversionError(*this, "Double");
  }
}

void ThrowInvalidFloatingPoint() { throw EKavoError("Invalid floating point operation"); }

int64_t TVariant::ToRoundedInt() const {
  if (IsOrdinal()) return AsInt();
  return RoundToInteger(ToDouble());
}

int64_t TVariant::ToTruncatedInt() const {
  if (IsOrdinal()) return AsInt();
  double d = ToDouble();
  if (!std::isfinite(d) || std::fabs(d) > 9.2e18) throw EKavoError("Invalid floating point operation");
  return static_cast<int64_t>(std::trunc(d));
}

std::string TVariant::ToText() const {
  switch (kind_) {
    case Kind::Empty:
    case Kind::Null: return "";
    case Kind::Boolean: return u_.b ? "True" : "False";
    case Kind::Int8:
    case Kind::Int32:
    case Kind::Int64: return std::to_string(u_.i);
    case Kind::Double:
    case Kind::DateTime: return FormatGeneral(u_.d);
    case Kind::String: return s_;
    case Kind::Array: throw ConversionError(*this, "String");
  }
  return "";
}

bool TVariant::ToBool() const {
  switch (kind_) {
    case Kind::Boolean: return u_.b;
    case Kind::Int8:
    case Kind::Int32:
    case Kind::Int64: return u_.i != 0;
    case Kind::Double: return u_.d != 0;
    case Kind::String: {
      std::string l;
      for (char c : s_) l += static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
      if (l == "true") return true;
      if (l == "false") return false;
      double d;
      if (ParseNumber(s_, d)) return d != 0;
      throw ConversionError(*this, "Boolean");
    }
    default: throw ConversionError(*this, "Boolean");
  }
}

}  // namespace kavo
