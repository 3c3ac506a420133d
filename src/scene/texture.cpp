#include "scene/texture.h"

#include "scene/fileaccess.h"
#include "core/errors.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <epoxy/gl.h>

#include <cmath>
#include <limits>

namespace kavo::scene {

namespace {
constexpr int kMaxTextureSide = 16384;
}

Texture::~Texture() {
  if (glName_ != 0 && SDL_GL_GetCurrentContext() != nullptr) {
    GLuint n = glName_;
    glDeleteTextures(1, &n);
  }
}

bool Texture::LoadFromBytes(const std::string& bytes, std::string_view nameForErrors, std::string& error) {
  Clear();
  if (bytes.empty() || bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    error = "Texture (" + std::string(nameForErrors) + ") is empty or too large";
    return false;
  }
  SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
  if (!rw) {
    error = "Texture (" + std::string(nameForErrors) + "): " + SDL_GetError();
    return false;
  }
  SDL_Surface* img = IMG_Load_RW(rw, 1);
  if (!img) {
    error = "Texture (" + std::string(nameForErrors) + ") couldn't be decoded: " + IMG_GetError();
    return false;
  }
  bool alpha = SDL_ISPIXELFORMAT_ALPHA(img->format->format) || img->format->Amask != 0;
  if (img->format->palette && SDL_GetColorKey(img, nullptr) == 0) alpha = true;
  if (img->w <= 0 || img->h <= 0 || img->w > kMaxTextureSide || img->h > kMaxTextureSide) {
    error = "Texture (" + std::string(nameForErrors) + ") has an unsupported size";
    SDL_FreeSurface(img);
    return false;
  }
  SDL_Surface* rgba = SDL_ConvertSurfaceFormat(img, SDL_PIXELFORMAT_ABGR8888, 0);  // bytes R,G,B,A
  SDL_FreeSurface(img);
  if (!rgba) {
    error = "Texture (" + std::string(nameForErrors) + "): " + SDL_GetError();
    return false;
  }
  std::vector<uint8_t> px(static_cast<size_t>(rgba->w) * rgba->h * 4);
  SDL_LockSurface(rgba);
  for (int y = 0; y < rgba->h; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(rgba->pixels) + static_cast<size_t>(y) * rgba->pitch;
    std::copy(row, row + static_cast<size_t>(rgba->w) * 4, px.begin() + static_cast<size_t>(y) * rgba->w * 4);
  }
  SDL_UnlockSurface(rgba);
  int w = rgba->w, h = rgba->h;
  SDL_FreeSurface(rgba);
  SetPixels(w, h, std::move(px), alpha);
  fileName_ = std::string(nameForErrors);
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
  source_ = std::move(rgba);
  derivedValid_ = false;
  uploaded_ = false;
}

void Texture::Clear() {
  fileName_.clear();
  width_ = height_ = 0;
  hasAlpha_ = false;
  source_.clear();
  derived_.clear();
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
  return derived_;
}

void Texture::DeriveAlpha() const {
  derived_ = source_;
  derivedValid_ = true;
  const size_t n = derived_.size() / 4;
  uint8_t* p = derived_.data();
  auto luminance = [](const uint8_t* q) { return (0.299f * q[0] + 0.587f * q[1] + 0.114f * q[2]) / 255.0f; };
  auto toByte = [](float v) {
    v = std::fmin(std::fmax(v, 0.0f), 1.0f);
    return static_cast<uint8_t>(std::lround(v * 255.0f));
  };
  switch (alphaMode_) {
    case TextureAlphaMode::Default:
      if (!hasAlpha_)
        for (size_t i = 0; i < n; ++i) p[i * 4 + 3] = 255;
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
    case TextureAlphaMode::TopLeftTransparent: {
      if (n == 0) break;
      const uint8_t r = p[0], g = p[1], b = p[2];
      for (size_t i = 0; i < n; ++i) {
        uint8_t* q = p + i * 4;
        if (!hasAlpha_) q[3] = 255;
        if (q[0] == r && q[1] == g && q[2] == b) q[3] = 0;
      }
      break;
    }
  }
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
    // that texture coordinate t = 0 is the image's bottom edge.
    std::vector<uint8_t> flipped(px.size());
    const size_t rowBytes = static_cast<size_t>(width_) * 4;
    for (int y = 0; y < height_; ++y)
      std::copy(px.begin() + static_cast<size_t>(height_ - 1 - y) * rowBytes,
                px.begin() + static_cast<size_t>(height_ - y) * rowBytes, flipped.begin() + y * rowBytes);
    GLint internal = format_ == TextureFormat::RGB ? GL_RGB8 : GL_RGBA8;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, internal, width_, height_, 0, GL_RGBA, GL_UNSIGNED_BYTE, flipped.data());
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
