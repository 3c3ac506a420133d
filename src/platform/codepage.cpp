#include "platform/codepage.h"

#include <iconv.h>

#include <cerrno>

namespace kavo {

namespace {

// An iconv conversion descriptor that closes itself.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts one whole piece; false when iconv refuses any of it.
  bool Convert(std::string_view in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // initial state
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    char buffer[64];
    while (left > 0) {
      char* dst = buffer;
      size_t room = sizeof buffer;
      const size_t rc = iconv(cd_, &src, &left, &dst, &room);
      out.append(buffer, static_cast<size_t>(dst - buffer));
      if (rc == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
  }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence starting at s[i] when it is well-formed, else 0.
size_t SequenceLength(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  size_t n;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) n = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF) n = 3, cp = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4) n = 4, cp = c & 0x07;
  else return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t n = SequenceLength(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string Utf8ToCodePage(std::string_view utf8, const std::string& codePage) {
  // Plain ASCII (most texts) is the same in every page iconv knows here.
  size_t firstWide = 0;
  while (firstWide < utf8.size() && static_cast<unsigned char>(utf8[firstWide]) < 0x80) ++firstWide;
  if (firstWide == utf8.size()) return std::string(utf8);
  if (!IsValidUtf8(utf8.substr(firstWide))) return std::string(utf8);
  std::string out(utf8.substr(0, firstWide));
  out.reserve(utf8.size());
  Converter conv(codePage, "UTF-8");
  for (size_t i = firstWide; i < utf8.size();) {
    const size_t n = SequenceLength(utf8, i);
    const std::string_view ch = utf8.substr(i, n);
    i += n;
    if (n == 1) {
      out += ch[0];
      continue;
    }
    std::string converted;
    if (conv.ok() && conv.Convert(ch, converted) && converted.size() == 1)
      out += converted;
    else
      out += '?';
  }
  return out;
}

std::string CodePageToUtf8(std::string_view bytes, const std::string& codePage) {
  std::string out;
  out.reserve(bytes.size() * 2);
  Converter conv("UTF-8", codePage);
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) < 0x80) {
      out += c;
      continue;
    }
    std::string converted;
    if (conv.ok() && conv.Convert(std::string_view(&c, 1), converted) && !converted.empty())
      out += converted;
    else
      out += '?';
  }
  return out;
}

uint32_t CodePageCharToUnicode(uint8_t code, const std::string& codePage) {
  if (code < 0x80) return code;
  const char c = static_cast<char>(code);
  const std::string utf8 = CodePageToUtf8(std::string_view(&c, 1), codePage);
  if (utf8 == "?") return 0;
  uint32_t cp = 0;
  const auto b0 = static_cast<unsigned char>(utf8[0]);
  const size_t n = utf8.size();
  cp = n == 2 ? (b0 & 0x1F) : n == 3 ? (b0 & 0x0F) : (b0 & 0x07);
  for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[k]) & 0x3F);
  return cp;
}

bool IsKnownCodePage(const std::string& codePage) {
  Converter conv(codePage, "UTF-8");
  return conv.ok();
}

}  // namespace kavo
