#include "scene/bitmapfont.h"

#include <cmath>
#include <cstring>

namespace kavo::scene {

namespace {

constexpr int32_t kMaxFontSize = 4096;
constexpr int kPictureSides[] = {64, 128, 256, 512};

bool ReadI32(std::string_view bytes, size_t& pos, int32_t& v) {
  if (pos > bytes.size() || bytes.size() - pos < 4) return false;
  uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(bytes[pos + size_t(i)]);
  std::memcpy(&v, &u, 4);
  pos += 4;
  return true;
}

bool ReadF32(std::string_view bytes, size_t& pos, float& v) {
  int32_t bits;
  if (!ReadI32(bytes, pos, bits)) return false;
  std::memcpy(&v, &bits, 4);
  return true;
}

void PutI32(std::string& out, int32_t v) {
  uint32_t u;
  std::memcpy(&u, &v, 4);
  for (int i = 0; i < 4; ++i) out += static_cast<char>((u >> (8 * i)) & 0xFF);
}

void PutF32(std::string& out, float v) {
  int32_t bits;
  std::memcpy(&bits, &v, 4);
  PutI32(out, bits);
}

}  // namespace

std::vector<std::string_view> TextLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

int64_t BitmapFontData::StringWidth(std::string_view text) const {
  if (text.empty()) return 0;
  int64_t w = 0;
  for (char c : text) w += widths[static_cast<unsigned char>(c)];
  return w + static_cast<int64_t>(text.size()) * (int64_t(italicCorrection) + horizontalSpacing) - horizontalSpacing;
}

int LayoutGlyphs(const std::array<int32_t, 256>& widths, int32_t charHeight, int W, int H,
                 const std::function<void(int code, int x, int y, int cellWidth)>& place) {
  int x = 0, y = 0, count = 0;
  for (int i = 0; i < 256; ++i) {
    if (widths[size_t(i)] <= 0) continue;
    const int cw = widths[size_t(i)] + 2;
    if (place) place(i, x, y, cw);
    // The row goes on while the next code's cell fits after this one (the
    // next code, drawn or not, decides); else a new row starts.
    if (i == 255 || int64_t(x) + cw + widths[size_t(i) + 1] + 2 <= W) {
      x += cw;
    } else {
      x = 0;
      y += charHeight;
      if (int64_t(y) + charHeight > H) return count;
    }
    ++count;
  }
  return count;
}

bool ChooseGlyphPictureSize(const std::array<int32_t, 256>& widths, int32_t charHeight, int glyphs, int& W, int& H) {
  bool kept = false;
  for (int h : kPictureSides)
    for (int w : kPictureSides) {
      if (LayoutGlyphs(widths, charHeight, w, h) != glyphs) continue;
      const int64_t area = int64_t(w) * h, keptArea = int64_t(W) * H;
      if (!kept || area < keptArea || (area == keptArea && std::abs(w - h) < std::abs(W - H))) {
        W = w;
        H = h;
        kept = true;
      }
    }
  return kept;
}

GlyphRect CellRect(int x, int y, int cw, int32_t charHeight, int W, int H) {
  GlyphRect r;
  r.left = (x + 1.05f) / W;
  r.top = (H - (y + 0.05f)) / H;
  r.right = (x + cw - 1.05f) / W;
  r.bottom = (H - (y + charHeight - 0.05f)) / H;
  return r;
}

bool ParseStoredFont(std::string_view bytes, BitmapFontData& out, std::string& error) {
  BitmapFontData font = out;
  size_t pos = 0;
  int32_t count = 0;
  if (!ReadI32(bytes, pos, font.charWidth) || !ReadI32(bytes, pos, font.charHeight) || !ReadI32(bytes, pos, count))
    return error = "the header is cut short", false;
  if (font.charWidth < 0 || font.charWidth > kMaxFontSize || font.charHeight < 0 || font.charHeight > kMaxFontSize)
    return error = "character size " + std::to_string(font.charWidth) + " x " + std::to_string(font.charHeight) +
                   " is outside 0 to " + std::to_string(kMaxFontSize),
           false;
  if (count < 0 || count > 256)
    return error = "rectangle count " + std::to_string(count) + " is outside 0 to 256", false;
  font.rects = {};
  for (int32_t i = 0; i < count; ++i) {
    GlyphRect& r = font.rects[size_t(i)];
    if (!ReadF32(bytes, pos, r.left) || !ReadF32(bytes, pos, r.top) || !ReadF32(bytes, pos, r.right) ||
        !ReadF32(bytes, pos, r.bottom))
      return error = "the rectangles are cut short at " + std::to_string(i) + " of " + std::to_string(count), false;
    if (!std::isfinite(r.left) || !std::isfinite(r.top) || !std::isfinite(r.right) || !std::isfinite(r.bottom))
      return error = "rectangle " + std::to_string(i) + " is not finite", false;
  }
  int32_t widthCount = 0;  // read and not used
  if (!ReadI32(bytes, pos, widthCount)) return error = "the width count is missing", false;
  for (size_t i = 0; i < 256; ++i) {
    if (!ReadI32(bytes, pos, font.widths[i]))
      return error = "the width table is cut short at " + std::to_string(i) + " of 256", false;
    if (font.widths[i] < 0 || font.widths[i] > kMaxFontSize)
      return error = "width " + std::to_string(font.widths[i]) + " of character " + std::to_string(i) +
                     " is outside 0 to " + std::to_string(kMaxFontSize),
             false;
  }
  out = font;
  return true;
}

std::string WriteStoredFont(const BitmapFontData& font) {
  std::string out;
  out.reserve(5136);
  PutI32(out, font.charWidth);
  PutI32(out, font.charHeight);
  PutI32(out, 256);
  for (const GlyphRect& r : font.rects) {
    PutF32(out, r.left);
    PutF32(out, r.top);
    PutF32(out, r.right);
    PutF32(out, r.bottom);
  }
  PutI32(out, 256);
  for (int32_t w : font.widths) PutI32(out, w);
  return out;
}

}  // namespace kavo::scene
