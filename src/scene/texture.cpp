#include "scene/texture.h"

#include <array>

#include "core/errors.h"
#include "scene/fileaccess.h"
#include "scene/gif.h"
#include "scene/pictureheader.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kavo::scene {

namespace {
int g_sideLimit = kMaxTextureSide;

// The decoder of the format the header was read as, and no other. SDL_image's
// typed loader heeds the type only for formats without a signature; bytes
// that its own test does not take for the named format (a JPEG without its
// end marker, a PCX of another version, any Targa file) go to whichever of
// its decoders recognises them (SVG, XCF, TIFF, ...), at whatever size that
// format states.
SDL_Surface* Decode(PictureFormat format, SDL_RWops* rw) {
  switch (format) {
    case PictureFormat::Png: return IMG_LoadPNG_RW(rw);
    case PictureFormat::Jpeg: return IMG_LoadJPG_RW(rw);
    case PictureFormat::Bmp: return IMG_LoadBMP_RW(rw);
    case PictureFormat::Gif: break;  // decoded by the engine (gif.h)
    case PictureFormat::Tga: return IMG_LoadTGA_RW(rw);
    case PictureFormat::Pcx: return IMG_LoadPCX_RW(rw);
  }
  return nullptr;
}
}  // namespace

void SetTextureSideLimit(int side) { g_sideLimit = side > 0 && side < kMaxTextureSide ? side : kMaxTextureSide; }
int TextureSideLimit() { return g_sideLimit; }

Texture::~Texture() {
  if (glName_ != 0 && SDL_GL_GetCurrentContext() != nullptr) {
    GLuint n = glName_;
    glDeleteTextures(1, &n);
  }
}

bool Texture::LoadFromBytes(const std::string& bytes, std::string_view nameForErrors, std::string& error) {
  Clear();
  const std::string name(nameForErrors);
  if (bytes.empty() || bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    error = "Texture (" + name + ") is empty or too large";
    return false;
  }
  // The stated size first: nothing is decoded for a picture too large.
  PictureHeader header;
  std::string why;
  if (!ReadPictureHeader(bytes, nameForErrors, header, why)) {
    error = "Texture (" + name + ") couldn't be decoded: " + why;
    return false;
  }
  const int64_t limit = TextureSideLimit();
  if (header.width <= 0 || header.height <= 0 || header.width > limit || header.height > limit) {
    error = "Texture (" + name + ") is " + std::to_string(header.width) + " by " + std::to_string(header.height) +
            " pixels; textures may be at most " + std::to_string(limit) + " by " + std::to_string(limit);
    return false;
  }
  if (header.format == PictureFormat::Gif) {
    GifPicture gif;
    if (!DecodeGif(bytes, int(limit), gif, why)) {
      error = "Texture (" + name + ") couldn't be decoded: " + why;
      return false;
    }
    SetPixels(gif.width, gif.height, std::move(gif.rgba), gif.hasAlpha);
    fileName_ = name;
    return true;
  }
  SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
  if (!rw) {
    error = "Texture (" + name + "): " + SDL_GetError();
    return false;
  }
  SDL_Surface* img = Decode(header.format, rw);
  SDL_RWclose(rw);
  if (!img) {
    error = "Texture (" + name + ") couldn't be decoded: " + IMG_GetError();
    return false;
  }
  struct FreeSurface {
    SDL_Surface* s;
    ~FreeSurface() { SDL_FreeSurface(s); }
  } freeImg{img};
  bool alpha = SDL_ISPIXELFORMAT_ALPHA(img->format->format) || img->format->Amask != 0;
  if (img->format->palette && SDL_GetColorKey(img, nullptr) == 0) alpha = true;
  if (img->w <= 0 || img->h <= 0 || img->w > limit || img->h > limit) {
    error = "Texture (" + name + ") has an unsupported size";
    return false;
  }
  // Converted straight into the texture's own buffer (bytes R, G, B, A):
  // beside the decoded surface there is this one copy.
  const size_t rowBytes = static_cast<size_t>(img->w) * 4;
  std::vector<uint8_t> px(rowBytes * static_cast<size_t>(img->h));
  SDL_Surface* source = img;
  SDL_Surface* converted = nullptr;
  if (SDL_ISPIXELFORMAT_INDEXED(img->format->format) || SDL_ISPIXELFORMAT_FOURCC(img->format->format)) {
    // Palettes (and a colour key) need SDL's surface conversion.
    converted = SDL_ConvertSurfaceFormat(img, SDL_PIXELFORMAT_ABGR8888, 0);
    if (!converted) {
      error = "Texture (" + name + "): " + SDL_GetError();
      return false;
    }
    source = converted;
  }
  struct FreeConverted {
    SDL_Surface* s;
    ~FreeConverted() {
      if (s) SDL_FreeSurface(s);
    }
  } freeConverted{converted};
  SDL_LockSurface(source);
  const int rc = SDL_ConvertPixels(source->w, source->h, source->format->format, source->pixels, source->pitch,
                                   SDL_PIXELFORMAT_ABGR8888, px.data(), static_cast<int>(rowBytes));
  SDL_UnlockSurface(source);
  if (rc != 0) {
    error = "Texture (" + name + "): " + SDL_GetError();
    return false;
  }
  SetPixels(source->w, source->h, std::move(px), alpha);
  fileName_ = name;
  return true;
}

void Texture::LoadFromFile(const std::string& fileName) {
  std::string bytes;
  if (!OpenSceneFile(fileName, bytes))
    throw EKavoError("Texture (" + fileName + ") couldn't be opened", kErrTexture);
  std::string error;
  if (!LoadFromBytes(bytes, fileName, error)) throw EKavoError(error, kErrTexture);
}

void Texture::SetPixels(int width, int height, std::vector<uint8_t> rgba, bool hasAlpha) {
  if (width <= 0 || height <= 0 || rgba.size() != static_cast<size_t>(width) * height * 4) {
    Clear();
    return;
  }
  width_ = width;
  height_ = height;
  hasAlpha_ = hasAlpha;
  pixels_ = std::move(rgba);
  ownAlpha_.clear();
  if (hasAlpha_) {
    const size_t n = pixels_.size() / 4;
    ownAlpha_.resize(n);
    for (size_t i = 0; i < n; ++i) ownAlpha_[i] = pixels_[i * 4 + 3];
  }
  derivedValid_ = false;
  uploaded_ = false;
}

void Texture::Clear() {
  fileName_.clear();
  width_ = height_ = 0;
  hasAlpha_ = false;
  pixels_.clear();
  pixels_.shrink_to_fit();
  ownAlpha_.clear();
  ownAlpha_.shrink_to_fit();
  derivedValid_ = false;
  uploaded_ = false;
}

void Texture::SetAlphaMode(TextureAlphaMode mode) {
  if (mode == alphaMode_) return;
  alphaMode_ = mode;
  derivedValid_ = false;
  uploaded_ = false;
}

void Texture::SetFormat(TextureFormat f) {
  if (f == format_) return;
  format_ = f;
  uploaded_ = false;
}

const std::vector<uint8_t>& Texture::Pixels() const {
  if (!derivedValid_) DeriveAlpha();
  return pixels_;
}

void Texture::DeriveAlpha() const {
  // Only the alpha bytes change; the picture's own alpha stays beside them.
  derivedValid_ = true;
  const size_t n = pixels_.size() / 4;
  uint8_t* p = pixels_.data();
  auto own = [&](size_t i) -> uint8_t { return hasAlpha_ ? ownAlpha_[i] : 255; };
  auto luminance = [](const uint8_t* q) { return (0.299f * q[0] + 0.587f * q[1] + 0.114f * q[2]) / 255.0f; };
  auto toByte = [](float v) {
    v = std::fmin(std::fmax(v, 0.0f), 1.0f);
    return static_cast<uint8_t>(std::lround(v * 255.0f));
  };
  switch (alphaMode_) {
    case TextureAlphaMode::Default:
      for (size_t i = 0; i < n; ++i) p[i * 4 + 3] = own(i);
      break;
    case TextureAlphaMode::Opaque:
      for (size_t i = 0; i < n; ++i) p[i * 4 + 3] = 255;
      break;
    case TextureAlphaMode::FromIntensity:
      for (size_t i = 0; i < n; ++i) {
        uint8_t* q = p + i * 4;
        q[3] = static_cast<uint8_t>((unsigned(q[0]) + q[1] + q[2] + 1) / 3);
      }
      break;
    case TextureAlphaMode::FromSqrtLuminance:
      for (size_t i = 0; i < n; ++i) p[i * 4 + 3] = toByte(std::sqrt(luminance(p + i * 4)));
      break;
    case TextureAlphaMode::FromLuminance:
      for (size_t i = 0; i < n; ++i) p[i * 4 + 3] = toByte(luminance(p + i * 4));
      break;
    case TextureAlphaMode::AverageFloor:
      for (size_t i = 0; i < n; ++i) {
        uint8_t* q = p + i * 4;
        q[3] = static_cast<uint8_t>((unsigned(q[0]) + q[1] + q[2]) / 3);
      }
      break;
    case TextureAlphaMode::SqrtAverage: {
      static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(std::lround(255.0 * std::sqrt(v / 255.0)));
        return t;
      }();
      for (size_t i = 0; i < n; ++i) {
        uint8_t* q = p + i * 4;
        q[3] = table[(unsigned(q[0]) + q[1] + q[2]) / 3];
      }
      break;
    }
    case TextureAlphaMode::BlackTransparent:
      for (size_t i = 0; i < n; ++i) {
        uint8_t* q = p + i * 4;
        q[3] = (q[0] == 0 && q[1] == 0 && q[2] == 0) ? 0 : 255;
      }
      break;
    case TextureAlphaMode::TopLeftTransparent: {
      if (n == 0) break;
      const uint8_t r = p[0], g = p[1], b = p[2];
      for (size_t i = 0; i < n; ++i) {
        uint8_t* q = p + i * 4;
        q[3] = (q[0] == r && q[1] == g && q[2] == b) ? 0 : own(i);
      }
      break;
    }
  }
}

void Texture::FlipRows() const {
  const size_t rowBytes = static_cast<size_t>(width_) * 4;
  for (int top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(pixels_.begin() + static_cast<size_t>(top) * rowBytes,
                     pixels_.begin() + static_cast<size_t>(top + 1) * rowBytes,
                     pixels_.begin() + static_cast<size_t>(bottom) * rowBytes);
}

unsigned Texture::Bind() {
  if (Empty()) return 0;
  if (glName_ == 0) {
    GLuint n = 0;
    glGenTextures(1, &n);
    glName_ = n;
    uploaded_ = false;
  }
  glBindTexture(GL_TEXTURE_2D, glName_);
  if (!uploaded_) {
    const std::vector<uint8_t>& px = Pixels();
    // GL's first row is the bottom of the picture: upload bottom-up so
    // that texture coordinate t = 0 is the image's bottom edge. The rows
    // are turned in place for the upload and back after it: no copy.
    FlipRows();
    GLint internal = format_ == TextureFormat::RGB ? GL_RGB8 : GL_RGBA8;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, internal, width_, height_, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    FlipRows();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    if (epoxy_gl_version() >= 30) {
      glGenerateMipmap(GL_TEXTURE_2D);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    } else {
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    }
    uploaded_ = true;
  }
  return glName_;
}

}  // namespace kavo::scene
