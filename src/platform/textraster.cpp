#include "platform/textraster.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cstring>

#include "platform/files.h"

namespace kavo {

namespace {

// SDL2_ttf is started once, the first time a face is opened, and stays up
// for the rest of the process.
bool StartTtf(std::string& error) {
  if (TTF_WasInit() > 0) return true;
  if (TTF_Init() == 0) return true;
  error = std::string("the font renderer could not start: ") + TTF_GetError();
  return false;
}

void PutUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The text as UTF-8 for SDL2_ttf, which stops at the first zero: a text is
// cut there, as it would be on screen.
std::string ToUtf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char32_t c : text) {
    if (c == 0) break;
    PutUtf8(out, c);
  }
  return out;
}

}  // namespace

TSourceFont DefaultSourceFont() {
  TSourceFont f;
  f.file = kDefaultFontFile;
  f.pointSize = kDefaultFontPoints;
  return f;
}

TTextCanvas::TTextCanvas(int w, int h) : width(std::max(w, 0)), height(std::max(h, 0)) {
  rgba.assign(size_t(width) * size_t(height) * 4, 0);
  for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
}

struct TTextRaster::Face {
  std::string bytes;  // SDL2_ttf reads the face from here while it is open
  TTF_Font* font = nullptr;
  ~Face() {
    if (font) TTF_CloseFont(font);
  }
};

TTextRaster::TTextRaster() = default;
TTextRaster::~TTextRaster() = default;
TTextRaster::TTextRaster(TTextRaster&&) noexcept = default;
TTextRaster& TTextRaster::operator=(TTextRaster&&) noexcept = default;

bool TTextRaster::IsOpen() const { return face_ && face_->font; }
void TTextRaster::Close() { face_.reset(); }

bool TTextRaster::Open(const TSourceFont& font, std::string& error) {
  Close();
  if (font.pointSize < kMinFontPoints || font.pointSize > kMaxFontPoints) {
    error = "size " + std::to_string(font.pointSize) + " is outside " + std::to_string(kMinFontPoints) + " to " +
            std::to_string(kMaxFontPoints) + " points";
    return false;
  }
  auto face = std::make_unique<Face>();
  std::string why;
  if (!Files().ReadFile(font.file, face->bytes, &why, kMaxFontFileBytes)) {
    error = why.empty() ? "the file cannot be read" : why;
    return false;
  }
  if (face->bytes.empty() || !StartTtf(error)) {
    if (face->bytes.empty()) error = "the file is empty";
    return false;
  }
  SDL_RWops* rw = SDL_RWFromConstMem(face->bytes.data(), static_cast<int>(face->bytes.size()));
  if (!rw) {
    error = SDL_GetError();
    return false;
  }
  face->font = TTF_OpenFontDPIRW(rw, 1, font.pointSize, 96, 96);
  if (!face->font) {
    error = std::string("not a font the renderer reads: ") + TTF_GetError();
    return false;
  }
  TTF_SetFontStyle(face->font, (font.bold ? TTF_STYLE_BOLD : 0) | (font.italic ? TTF_STYLE_ITALIC : 0));
  face_ = std::move(face);
  return true;
}

int TTextRaster::TextWidth(std::u32string_view text) const {
  if (!IsOpen()) return 0;
  const std::string utf8 = ToUtf8(text);
  if (utf8.empty()) return 0;
  int w = 0, h = 0;
  if (TTF_SizeUTF8(face_->font, utf8.c_str(), &w, &h) != 0) return 0;
  return std::max(w, 0);
}

int TTextRaster::TextHeight(std::u32string_view) const {
  if (!IsOpen()) return 0;
  return std::max(TTF_FontHeight(face_->font), 0);
}

void TTextRaster::Draw(TTextCanvas& canvas, std::u32string_view text, int x, int y, const TPixelRect& clip) const {
  if (!IsOpen()) return;
  const std::string utf8 = ToUtf8(text);
  if (utf8.empty()) return;
  SDL_Surface* glyphs = TTF_RenderUTF8_Blended(face_->font, utf8.c_str(), SDL_Color{255, 255, 255, 255});
  if (!glyphs) return;
  SDL_Surface* argb = SDL_ConvertSurfaceFormat(glyphs, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(glyphs);
  if (!argb) return;
  const int left = std::max({clip.left, 0, x}), top = std::max({clip.top, 0, y});
  const int right = std::min({clip.right, canvas.width, x + argb->w});
  const int bottom = std::min({clip.bottom, canvas.height, y + argb->h});
  SDL_LockSurface(argb);
  for (int py = top; py < bottom; ++py) {
    const auto* row = static_cast<const uint8_t*>(argb->pixels) + size_t(py - y) * size_t(argb->pitch);
    for (int px = left; px < right; ++px) {
      uint32_t pixel;
      std::memcpy(&pixel, row + size_t(px - x) * 4, 4);
      const unsigned a = pixel >> 24;
      if (a == 0) continue;
      uint8_t* dst = &canvas.rgba[(size_t(py) * size_t(canvas.width) + size_t(px)) * 4];
      // White laid over the canvas with the glyph's coverage.
      for (int c = 0; c < 3; ++c) dst[c] = static_cast<uint8_t>(dst[c] + ((255u - dst[c]) * a + 127) / 255);
      dst[3] = 255;
    }
  }
  SDL_UnlockSurface(argb);
  SDL_FreeSurface(argb);
}

}  // namespace kavo
