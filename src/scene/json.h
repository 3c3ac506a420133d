// A small JSON reader for model files. It parses without recursion, refuses
// nesting deeper than a fixed depth and more than a fixed number of values,
// and keeps the whole tree in two flat arrays. Strings without escapes point
// into the parsed text, so the text must outlive the document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavo::scene::json {

enum class Type : uint8_t { Null, False, True, Number, String, Array, Object };

struct Limits {
  size_t maxDepth = 64;           // arrays and objects inside each other
  size_t maxValues = size_t(1) << 20;  // every value, members and elements included
};

class Document;
struct Parser;

// A read-only view of one value. A default or missing value is null; every
// accessor is safe on it, so lookups chain without checks in between.
class Value {
 public:
  Value() = default;

  Type GetType() const;
  bool IsNull() const { return GetType() == Type::Null; }
  bool IsNumber() const { return GetType() == Type::Number; }
  bool IsString() const { return GetType() == Type::String; }
  bool IsArray() const { return GetType() == Type::Array; }
  bool IsObject() const { return GetType() == Type::Object; }
  bool IsBool() const { return GetType() == Type::True || GetType() == Type::False; }
  bool Present() const { return doc_ != nullptr; }

  double Number() const;            // 0 unless a number; may be infinite
  bool Bool() const;                // true only for `true`
  std::string_view String() const;  // empty unless a string
  size_t Size() const;              // elements or members; 0 for scalars
  Value operator[](size_t i) const;           // element (or member value) i, or null
  Value Get(std::string_view key) const;      // first member with this key, or null
  std::string_view KeyAt(size_t i) const;     // name of member i of an object

 private:
  friend class Document;
struct Parser;
  Value(const Document* doc, uint32_t index) : doc_(doc), index_(index) {}
  const Document* doc_ = nullptr;
  uint32_t index_ = 0;
};

class Document {
 public:
  // Parses `text` (which must outlive the document). On failure returns false
  // with `error` naming the reason and the line and column.
  bool Parse(std::string_view text, std::string& error, const Limits& limits = {});
  Value Root() const;

 private:
  friend class Value;
  friend struct Parser;
  struct Node {
    Type type = Type::Null;
    bool keyInPool = false;
    bool strInPool = false;
    uint32_t keyOff = 0, keyLen = 0;
    uint32_t strOff = 0, strLen = 0;  // strings
    uint32_t first = 0, count = 0;    // arrays and objects: children in nodes_
    double number = 0.0;
  };
  std::string_view Key(const Node& n) const;
  std::string_view Str(const Node& n) const;

  std::string_view text_;
  std::string pool_;  // strings that held escapes, decoded
  std::vector<Node> nodes_;
};

}  // namespace kavo::scene::json
