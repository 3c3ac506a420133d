#include "archive/cipher.h"

#include "core/strings.h"

namespace kavo {

namespace {
inline uint16_t Step(uint16_t s, uint8_t plain, const TKavoCipherKey& key) {
  return static_cast<uint16_t>(((static_cast<uint32_t>((plain + s) & 0xFF)) * key.M + key.A) & 0xFFFF);
}
}  // namespace

std::string DecipherLine(std::string_view line, const TKavoCipherKey& key) {
  std::string out(line.size(), '\0');
  uint16_t s = key.S;
  for (size_t i = 0; i < line.size(); ++i) {
    uint8_t p = static_cast<uint8_t>(line[i]) ^ static_cast<uint8_t>(s >> 8);
    out[i] = static_cast<char>(p);
    s = Step(s, p, key);
  }
  return out;
}

std::string EncipherLine(std::string_view line, const TKavoCipherKey& key) {
  std::string out(line.size(), '\0');
  uint16_t s = key.S;
  for (size_t i = 0; i < line.size(); ++i) {
    uint8_t p = static_cast<uint8_t>(line[i]);
    out[i] = static_cast<char>(p ^ static_cast<uint8_t>(s >> 8));
    s = Step(s, p, key);
  }
  return out;
}

std::string DecipherScript(std::string_view text, const TKavoCipherKey& key) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::string_view line : SplitLines(text)) {
    out += DecipherLine(line, key);
    out += "\r\n";
  }
  return out;
}

}  // namespace kavo
