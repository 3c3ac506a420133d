#include "scene/json.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace kavo::scene::json {

// The parser keeps two stacks instead of recursing: the open arrays and
// objects, and the finished values waiting for their container to close.
// When a container closes, its children move to the document's node array
// as one contiguous run, so a container only records where its run starts.
struct Parser {
  using Node = Document::Node;

  struct Frame {
    bool object;
    size_t pendingStart;
    Node self;  // the container's own key, if it is an object member
  };

  std::string_view text;
  const Limits& limits;
  std::string& pool;
  std::vector<Node>& nodes;
  std::string& error;
  size_t pos = 0;
  size_t values = 0;
  std::vector<Node> pending;
  std::vector<Frame> frames;

  Parser(std::string_view t, const Limits& l, std::string& p, std::vector<Node>& n, std::string& e)
      : text(t), limits(l), pool(p), nodes(n), error(e) {}

  bool Fail(const std::string& why) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < pos && i < text.size(); ++i) {
      if (text[i] == '\n') ++line, column = 1;
      else ++column;
    }
    error = "JSON: " + why + " at line " + std::to_string(line) + ", column " + std::to_string(column);
    return false;
  }

  void SkipSpace() {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r'))
      ++pos;
  }

  bool CountValue() {
    if (++values > limits.maxValues) return Fail("more than " + std::to_string(limits.maxValues) + " values");
    return true;
  }

  static int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  bool Hex4(uint32_t& out) {
    if (text.size() - pos < 4) return Fail("the text ends inside a \\u escape");
    out = 0;
    for (int i = 0; i < 4; ++i) {
      int h = Hex(text[pos + i]);
      if (h < 0) return Fail("bad \\u escape");
      out = (out << 4) | uint32_t(h);
    }
    pos += 4;
    return true;
  }

  void PutUtf8(uint32_t cp) {
    if (cp < 0x80) {
      pool.push_back(char(cp));
    } else if (cp < 0x800) {
      pool.push_back(char(0xC0 | (cp >> 6)));
      pool.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      pool.push_back(char(0xE0 | (cp >> 12)));
      pool.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      pool.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      pool.push_back(char(0xF0 | (cp >> 18)));
      pool.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
      pool.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      pool.push_back(char(0x80 | (cp & 0x3F)));
    }
  }

  // At an opening quote. A string without escapes stays a view of the text;
  // one with escapes is decoded into the pool (never longer than the text).
  bool String(uint32_t& off, uint32_t& len, bool& inPool) {
    ++pos;
    const size_t start = pos;
    while (pos < text.size() && text[pos] != '"' && text[pos] != '\\') {
      if (static_cast<unsigned char>(text[pos]) < 0x20) return Fail("control character in a string");
      ++pos;
    }
    if (pos >= text.size()) return Fail("the text ends inside a string");
    if (text[pos] == '"') {
      off = uint32_t(start);
      len = uint32_t(pos - start);
      inPool = false;
      ++pos;
      return true;
    }
    const size_t poolStart = pool.size();
    pool.append(text.substr(start, pos - start));
    while (true) {
      if (pos >= text.size()) return Fail("the text ends inside a string");
      char c = text[pos];
      if (c == '"') break;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in a string");
      if (c != '\\') {
        pool.push_back(c);
        ++pos;
        continue;
      }
      if (++pos >= text.size()) return Fail("the text ends inside a string");
      c = text[pos++];
      switch (c) {
        case '"': pool.push_back('"'); break;
        case '\\': pool.push_back('\\'); break;
        case '/': pool.push_back('/'); break;
        case 'b': pool.push_back('\b'); break;
        case 'f': pool.push_back('\f'); break;
        case 'n': pool.push_back('\n'); break;
        case 'r': pool.push_back('\r'); break;
        case 't': pool.push_back('\t'); break;
        case 'u': {
          uint32_t cp;
          if (!Hex4(cp)) return false;
          if (cp >= 0xD800 && cp < 0xDC00 && text.size() - pos >= 6 && text[pos] == '\\' && text[pos + 1] == 'u') {
            const size_t back = pos;
            pos += 2;
            uint32_t low;
            if (!Hex4(low)) return false;
            if (low >= 0xDC00 && low < 0xE000) cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            else pos = back;  // not a pair: the high half alone
          }
          if (cp >= 0xD800 && cp < 0xE000) cp = 0xFFFD;  // an unpaired half
          PutUtf8(cp);
          break;
        }
        default:
          --pos;
          return Fail("bad escape in a string");
      }
    }
    ++pos;
    off = uint32_t(poolStart);
    len = uint32_t(pool.size() - poolStart);
    inPool = true;
    return true;
  }

  // Strict JSON number grammar. Numbers too large for a double become
  // infinite, too small ones zero; the tree keeps them as they are and the
  // reader decides what it accepts.
  bool Number(double& out) {
    constexpr size_t kMaxNumberLength = 256;
    const size_t start = pos;
    if (pos < text.size() && text[pos] == '-') ++pos;
    auto digits = [&] {
      size_t n = 0;
      while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos, ++n;
      return n;
    };
    const size_t intStart = pos;
    const size_t intDigits = digits();
    if (intDigits == 0) return Fail("bad number");
    if (intDigits > 1 && text[intStart] == '0') return Fail("number with a leading zero");
    size_t fracStart = pos, fracDigits = 0;
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      fracStart = pos;
      fracDigits = digits();
      if (fracDigits == 0) return Fail("bad number");
    }
    bool expNegative = false;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
      ++pos;
      if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) expNegative = text[pos++] == '-';
      if (digits() == 0) return Fail("bad number");
    }
    if (pos - start > kMaxNumberLength) return Fail("number longer than " + std::to_string(kMaxNumberLength));
    const char* first = text.data() + start;
    const char* last = text.data() + pos;
    auto [end, ec] = std::from_chars(first, last, out);
    if (ec == std::errc() && end == last) return true;
    if (ec != std::errc::result_out_of_range) return Fail("bad number");
    // Out of range: infinite if the magnitude is large, else zero. The
    // magnitude is the exponent plus the place of the first non-zero digit.
    long long place = 0;
    bool found = false;
    for (size_t i = 0; i < intDigits && !found; ++i)
      if (text[intStart + i] != '0') place = static_cast<long long>(intDigits - i), found = true;
    for (size_t i = 0; i < fracDigits && !found; ++i)
      if (text[fracStart + i] != '0') place = -static_cast<long long>(i), found = true;
    long long exponent = 0;
    for (const char* p = first; p < last; ++p)
      if (*p == 'e' || *p == 'E') {
        for (const char* q = p + 1; q < last; ++q)
          if (*q >= '0' && *q <= '9') exponent = std::min<long long>(exponent * 10 + (*q - '0'), 1000000);
        break;
      }
    if (expNegative) exponent = -exponent;
    const bool huge = found && place + exponent > 0;
    out = huge ? std::numeric_limits<double>::infinity() : 0.0;
    if (text[start] == '-') out = -out;
    return true;
  }

  bool Literal(std::string_view word) {
    if (text.substr(pos, word.size()) != word) return Fail("unexpected character");
    pos += word.size();
    return true;
  }

  // At a member's opening quote: reads the key and the colon after it.
  bool Key(Node& holder) {
    SkipSpace();
    if (pos >= text.size()) return Fail("the text ends early");
    if (text[pos] != '"') return Fail("expected a member name");
    if (!String(holder.keyOff, holder.keyLen, holder.keyInPool)) return false;
    SkipSpace();
    if (pos >= text.size()) return Fail("the text ends early");
    if (text[pos] != ':') return Fail("expected ':'");
    ++pos;
    return true;
  }

  void Close() {
    Frame f = std::move(frames.back());
    frames.pop_back();
    Node n = f.self;
    n.type = f.object ? Type::Object : Type::Array;
    n.first = uint32_t(nodes.size());
    n.count = uint32_t(pending.size() - f.pendingStart);
    nodes.insert(nodes.end(), pending.begin() + std::ptrdiff_t(f.pendingStart), pending.end());
    pending.resize(f.pendingStart);
    pending.push_back(n);
  }

  bool Run() {
    if (text.size() >= std::numeric_limits<uint32_t>::max())
      return Fail("text of " + std::to_string(text.size()) + " bytes is too long");
    if (text.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
    Node key;  // the key for the next value when inside an object
    while (true) {
      // A value.
      SkipSpace();
      if (pos >= text.size()) return Fail("the text ends early");
      if (!CountValue()) return false;
      Node n;
      n.keyOff = key.keyOff, n.keyLen = key.keyLen, n.keyInPool = key.keyInPool;
      key = Node();
      const char c = text[pos];
      bool opened = false;
      if (c == '{' || c == '[') {
        if (frames.size() >= limits.maxDepth)
          return Fail("nested deeper than " + std::to_string(limits.maxDepth) + " levels");
        frames.push_back({c == '{', pending.size(), n});
        ++pos;
        SkipSpace();
        if (pos < text.size() && text[pos] == (c == '{' ? '}' : ']')) {
          ++pos;
          Close();
        } else if (c == '{') {
          if (!Key(key)) return false;
          opened = true;
        } else {
          opened = true;
        }
      } else if (c == '"') {
        n.type = Type::String;
        if (!String(n.strOff, n.strLen, n.strInPool)) return false;
        pending.push_back(n);
      } else if (c == '-' || (c >= '0' && c <= '9')) {
        n.type = Type::Number;
        if (!Number(n.number)) return false;
        pending.push_back(n);
      } else if (c == 't') {
        if (!Literal("true")) return false;
        n.type = Type::True;
        pending.push_back(n);
      } else if (c == 'f') {
        if (!Literal("false")) return false;
        n.type = Type::False;
        pending.push_back(n);
      } else if (c == 'n') {
        if (!Literal("null")) return false;
        pending.push_back(n);
      } else {
        return Fail("unexpected character");
      }
      if (opened) continue;
      // After a value: a separator, a closing bracket or the end.
      bool next = false;
      while (!next) {
        SkipSpace();
        if (frames.empty()) {
          if (pos != text.size()) return Fail("text after the end of the value");
          nodes.push_back(pending.back());
          return true;
        }
        if (pos >= text.size()) return Fail("the text ends early");
        const Frame& f = frames.back();
        const char d = text[pos];
        if (d == ',') {
          ++pos;
          if (f.object && !Key(key)) return false;
          next = true;
        } else if (d == (f.object ? '}' : ']')) {
          ++pos;
          Close();
        } else {
          return Fail(f.object ? "expected ',' or '}'" : "expected ',' or ']'");
        }
      }
    }
  }
};

bool Document::Parse(std::string_view text, std::string& error, const Limits& limits) {
  text_ = text;
  pool_.clear();
  nodes_.clear();
  Parser p(text, limits, pool_, nodes_, error);
  if (p.Run()) return true;
  nodes_.clear();
  pool_.clear();
  return false;
}

Value Document::Root() const {
  if (nodes_.empty()) return {};
  return Value(this, uint32_t(nodes_.size() - 1));
}

std::string_view Document::Key(const Node& n) const {
  return n.keyInPool ? std::string_view(pool_).substr(n.keyOff, n.keyLen) : text_.substr(n.keyOff, n.keyLen);
}

std::string_view Document::Str(const Node& n) const {
  return n.strInPool ? std::string_view(pool_).substr(n.strOff, n.strLen) : text_.substr(n.strOff, n.strLen);
}

Type Value::GetType() const { return doc_ ? doc_->nodes_[index_].type : Type::Null; }

double Value::Number() const { return GetType() == Type::Number ? doc_->nodes_[index_].number : 0.0; }

bool Value::Bool() const { return GetType() == Type::True; }

std::string_view Value::String() const {
  return GetType() == Type::String ? doc_->Str(doc_->nodes_[index_]) : std::string_view();
}

size_t Value::Size() const {
  Type t = GetType();
  return t == Type::Array || t == Type::Object ? doc_->nodes_[index_].count : 0;
}

Value Value::operator[](size_t i) const {
  if (i >= Size()) return {};
  return Value(doc_, doc_->nodes_[index_].first + uint32_t(i));
}

Value Value::Get(std::string_view key) const {
  if (!IsObject()) return {};
  const auto& n = doc_->nodes_[index_];
  for (uint32_t i = 0; i < n.count; ++i) {
    const auto& member = doc_->nodes_[n.first + i];
    if (member.keyLen == key.size() && doc_->Key(member) == key) return Value(doc_, n.first + i);
  }
  return {};
}

std::string_view Value::KeyAt(size_t i) const {
  if (!IsObject() || i >= Size()) return {};
  return doc_->Key(doc_->nodes_[doc_->nodes_[index_].first + uint32_t(i)]);
}

}  // namespace kavo::scene::json
