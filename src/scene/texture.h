// A texture image: decoded once (through SDL2_image) into an RGBA picture
// kept on the CPU, so that the alpha channel can be derived again whenever
// the alpha mode changes, and uploaded to OpenGL lazily by the renderer when
// a context is current.
//
// The picture's stated size is read from its header before anything is
// decoded, and a picture larger than the texture size limit (each side at
// most what the GL context allows, 16384 at most) is refused. One RGBA copy
// is kept, with the picture's own alpha beside it when it has one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavo::scene {

// How the alpha channel of the uploaded picture is made.
enum class TextureAlphaMode {
  Default,           // as stored in the image; opaque where it has no alpha channel
  Opaque,            // alpha 1 everywhere
  FromIntensity,     // alpha = (r + g + b) / 3
  FromSqrtLuminance, // alpha = sqrt(luminance), luminance = 0.299 r + 0.587 g + 0.114 b (0..1)
  FromLuminance,     // alpha = luminance
  TopLeftTransparent, // alpha 0 where the colour equals the top-left pixel, else as stored
  // The HUD sprites' modes:
  AverageFloor,       // alpha = (r + g + b) div 3
  SqrtAverage,        // alpha = round(255 * sqrt(((r + g + b) div 3) / 255)), the plain average
  BlackTransparent    // alpha 0 exactly where the colour is (0, 0, 0), 255 elsewhere
};

// The internal format the picture is uploaded in.
enum class TextureFormat { Default, RGBA, RGB };

// The largest side a texture may have; start-up lowers it to what the GL
// context allows.
constexpr int kMaxTextureSide = 16384;
void SetTextureSideLimit(int side);
int TextureSideLimit();

class Texture {
 public:
  Texture() = default;
  ~Texture();
  Texture(const Texture&) = delete;
  Texture& operator=(const Texture&) = delete;

  // Decodes an image from its bytes; `nameForErrors` names it in the
  // message and tells a Targa file by its ".tga". Returns false (texture
  // left empty) with a message on failure.
  bool LoadFromBytes(const std::string& bytes, std::string_view nameForErrors, std::string& error);
  // Reads the file through the scene file access and decodes it; raises
  // EKavoError (texture error number) when it cannot be read or decoded.
  void LoadFromFile(const std::string& fileName);
  // Sets the picture directly: top row first, 4 bytes per pixel.
  void SetPixels(int width, int height, std::vector<uint8_t> rgba, bool hasAlpha);
  void Clear();

  bool Empty() const { return width_ <= 0 || height_ <= 0; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::string& FileName() const { return fileName_; }
  bool HasAlpha() const { return hasAlpha_; }  // whether the image itself had an alpha channel

  TextureAlphaMode AlphaMode() const { return alphaMode_; }
  void SetAlphaMode(TextureAlphaMode mode);
  TextureFormat Format() const { return format_; }
  void SetFormat(TextureFormat f);

  // The picture as it would be uploaded (alpha derived by the alpha mode),
  // top row first, RGBA.
  const std::vector<uint8_t>& Pixels() const;

  // ---- renderer side (GL context must be current) ----
  // Uploads when needed and returns the GL texture name (0 when empty).
  unsigned Bind();
  // Forgets the GL texture without deleting it (after a context was lost).
  void DropGL() { glName_ = 0; uploaded_ = false; }

 private:
  void DeriveAlpha() const;
  void FlipRows() const;

  std::string fileName_;
  int width_ = 0, height_ = 0;
  bool hasAlpha_ = false;
  // RGBA, top row first; the alpha bytes are those of the alpha mode once
  // derived. The picture's own alpha is kept beside it when it has one.
  mutable std::vector<uint8_t> pixels_;
  std::vector<uint8_t> ownAlpha_;
  mutable bool derivedValid_ = false;
  TextureAlphaMode alphaMode_ = TextureAlphaMode::Default;
  TextureFormat format_ = TextureFormat::Default;
  unsigned glName_ = 0;
  bool uploaded_ = false;
};

}  // namespace kavo::scene
