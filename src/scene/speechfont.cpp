#include "scene/speechfont.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstring>

#include "core/errors.h"
#include "core/log.h"
#include "platform/codepage.h"

namespace kavo::scene {

namespace {

// The character an 8-bit code stands for in the page. A code the page
// leaves undefined is drawn as the replacement character, so it still
// shows as something.
char32_t CodeToChar(int code, const std::string& codePage) {
  if (code == 0) return 0;
  const uint32_t u = CodePageCharToUnicode(static_cast<uint8_t>(code), codePage);
  return u != 0 ? char32_t(u) : char32_t(0xFFFD);
}

// An SDL stream that appends what is written to a string.
size_t AppendWrite(SDL_RWops* rw, const void* bytes, size_t size, size_t count) {
  static_cast<std::string*>(rw->hidden.unknown.data1)->append(static_cast<const char*>(bytes), size * count);
  return count;
}
Sint64 WrittenSize(SDL_RWops* rw) {
  return static_cast<Sint64>(static_cast<std::string*>(rw->hidden.unknown.data1)->size());
}
Sint64 SeekToEnd(SDL_RWops* rw, Sint64, int) { return WrittenSize(rw); }
int FreeStream(SDL_RWops* rw) {
  SDL_FreeRW(rw);
  return 0;
}

}  // namespace

TGLSpeechFont::TGLSpeechFont(TSourceFont source, std::vector<TCharRange> ranges, std::string codePage)
    : source_(std::move(source)), ranges_(std::move(ranges)), codePage_(std::move(codePage)) {
  picture.SetAlphaMode(TextureAlphaMode::BlackTransparent);
  picture.SetFormat(TextureFormat::RGBA);
  Build();
}

void TGLSpeechFont::SetSourceFont(const TSourceFont& source) {
  source_ = source;
  Rebuild();
}

void TGLSpeechFont::SetRanges(std::vector<TCharRange> ranges) {
  ranges_ = std::move(ranges);
  Rebuild();
}

void TGLSpeechFont::SetCodePage(const std::string& codePage) {
  codePage_ = codePage;
  Rebuild();
}

void TGLSpeechFont::Rebuild() { Build(); }

void TGLSpeechFont::Build() {
  TTextRaster raster;
  std::string why;
  if (!raster.Open(source_, why)) {
    KavoLog("Kavo Core: Unable to open the speech font's source font " + source_.file + " (" + why +
            "); texts show nothing");
    data = BitmapFontData{};
    picture.Clear();
    return;
  }
  const int h = kMarginX, v = kMarginY;
  BitmapFontData f;
  const int widest = std::max({raster.TextWidth(U"_"), raster.TextWidth(U"W"), raster.TextWidth(U"M")});
  f.charWidth = widest + 2 + 2 * h;
  f.charHeight = raster.TextHeight(U"\"_pI|,") + 2 * v + 2;
  if (source_.italic) {
    // A slanted glyph leans into its neighbour: each advance gives back a
    // third of a cell, and the cell grows by as much.
    f.italicCorrection = -(f.charWidth / 3);
    f.charWidth += f.charWidth / 3;
  }
  for (const TCharRange& r : ranges_) {
    if (r.last < r.first) continue;
    // Only the 256 codes of the table can be drawn.
    for (int c = std::max(r.first, 0); c <= std::min(r.last, 255); ++c) {
      const char32_t ch = CodeToChar(c, codePage_);
      f.widths[size_t(c)] = raster.TextWidth(std::u32string_view(&ch, 1)) + 2 * h - f.italicCorrection;
    }
  }
  // Each code is counted once, however many ranges name it.
  const int glyphs = int(std::count_if(f.widths.begin(), f.widths.end(), [](int32_t w) { return w > 0; }));

  int W = 0, H = 0;
  if (!ChooseGlyphPictureSize(f.widths, f.charHeight, glyphs, W, H)) {
    source_.pointSize = kFallbackPoints;
    throw EKavoError("Characters are too large or too many. Unable to create font texture.");
  }
  TTextCanvas canvas(W, H);
  LayoutGlyphs(f.widths, f.charHeight, W, H, [&](int code, int x, int y, int cw) {
    f.rects[size_t(code)] = CellRect(x, y, cw, f.charHeight, W, H);
    // The character and one space after it, so that nothing of the next
    // glyph's shape is ever asked for.
    const char32_t text[2] = {CodeToChar(code, codePage_), U' '};
    raster.Draw(canvas, std::u32string_view(text, 2), x + h + 1, y + v + 1, TPixelRect{x, y, x + cw, y + f.charHeight});
  });
  data = f;
  picture.SetPixels(W, H, std::move(canvas.rgba), false);
}

void TGLStoredSpeechFont::Rebuild() {
  if (!loadedFromFile_) Build();
}

bool TGLStoredSpeechFont::LoadStored(std::string_view bytes, const std::string& pictureBytes,
                                     const std::string& pictureName, std::string& error) {
  BitmapFontData stored;
  if (!ParseStoredFont(bytes, stored, error)) return false;
  Texture decoded;
  if (!decoded.LoadFromBytes(pictureBytes, pictureName, error)) return false;
  loadedFromFile_ = true;
  data = stored;
  picture.SetPixels(decoded.Width(), decoded.Height(), decoded.Pixels(), decoded.HasAlpha());
  return true;
}

bool BakeStoredFont(const BitmapFont& font, std::string& gsf, std::string& png, std::string& error) {
  const Texture& pic = font.picture;
  if (pic.Empty()) {
    error = "the font has no glyph picture";
    return false;
  }
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, pic.Width(), pic.Height(), 32, SDL_PIXELFORMAT_XBGR8888);
  if (!s) {
    error = SDL_GetError();
    return false;
  }
  const std::vector<uint8_t>& px = pic.Pixels();
  const size_t rowBytes = size_t(pic.Width()) * 4;
  for (int y = 0; y < pic.Height(); ++y)
    std::memcpy(static_cast<uint8_t*>(s->pixels) + size_t(y) * size_t(s->pitch), px.data() + size_t(y) * rowBytes,
                rowBytes);
  std::string encoded;
  SDL_RWops* rw = SDL_AllocRW();
  if (!rw) {
    SDL_FreeSurface(s);
    error = SDL_GetError();
    return false;
  }
  rw->type = SDL_RWOPS_UNKNOWN;
  rw->hidden.unknown.data1 = &encoded;
  rw->write = AppendWrite;
  rw->seek = SeekToEnd;
  rw->size = WrittenSize;
  rw->close = FreeStream;
  const int rc = IMG_SavePNG_RW(s, rw, 1);
  SDL_FreeSurface(s);
  if (rc != 0) {
    error = std::string("the picture could not be encoded: ") + IMG_GetError();
    return false;
  }
  gsf = WriteStoredFont(font.data);
  png = std::move(encoded);
  return true;
}

}  // namespace kavo::scene
