#include "scene/view.h"

#include "platform/files.h"
#include "scene/nodes.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <glm/gtc/matrix_transform.hpp>

#include <algorithm>
#include <cmath>

namespace kavo::scene {

void View::SetSize(int width, int height) {
  width_ = width < 1 ? 1 : width;
  height_ = height < 1 ? 1 : height;
}

glm::mat4 View::ProjectionMatrix() const {
  if (camera_) return camera_->ProjectionMatrix(width_, height_);
  int h = height_ < 1 ? 1 : height_;
  return glm::perspective(glm::radians(60.0f), static_cast<float>(width_ < 1 ? 1 : width_) / h, 0.1f, 600.0f);
}

glm::mat4 View::ViewMatrix() const { return camera_ ? camera_->ViewMatrix() : glm::mat4(1.0f); }

Ray View::ScreenToRay(float x, float yUp) const {
  const float w = static_cast<float>(width_ < 1 ? 1 : width_);
  const float h = static_cast<float>(height_ < 1 ? 1 : height_);
  const glm::mat4 inv = glm::inverse(ProjectionMatrix() * ViewMatrix());
  const float nx = 2.0f * x / w - 1.0f;
  const float ny = 2.0f * yUp / h - 1.0f;
  glm::vec4 nearP = inv * glm::vec4(nx, ny, -1.0f, 1.0f);
  glm::vec4 farP = inv * glm::vec4(nx, ny, 1.0f, 1.0f);
  Ray r;
  r.origin = camera_ ? camera_->AbsolutePosition() : glm::vec3(0.0f);
  glm::vec3 a = glm::vec3(nearP) / nearP.w;
  glm::vec3 b = glm::vec3(farP) / farP.w;
  glm::vec3 d = b - a;
  float len = glm::length(d);
  r.direction = (len > 1e-20f && std::isfinite(len)) ? d / len : glm::vec3(0, 0, -1);
  return r;
}

glm::mat4 CameraFrame(const glm::mat4& viewMatrix) {
  // The eye frame of the view matrix (x right, y up, z towards the viewer)
  // with its x and z axes turned round.
  const glm::mat4 eye = glm::inverse(viewMatrix);
  glm::mat4 frame(1.0f);
  frame[0] = -eye[0];
  frame[1] = eye[1];
  frame[2] = -eye[2];
  frame[3] = eye[3];
  return frame;
}

glm::mat4 View::DrawnMatrix(const Node& node) const {
  glm::mat4 m(1.0f);
  for (const Node* n = &node; n; n = n->Parent()) {
    m = n->LocalMatrix() * m;
    if (n->KeepsCameraOrientation()) return CameraFrame(ViewMatrix()) * m;
  }
  return m;
}

glm::vec3 View::Project(const glm::vec3& worldPoint) const {
  glm::vec4 clip = ProjectionMatrix() * ViewMatrix() * glm::vec4(worldPoint, 1.0f);
  if (std::fabs(clip.w) < 1e-20f) clip.w = 1e-20f;
  glm::vec3 ndc = glm::vec3(clip) / clip.w;
  return {(ndc.x + 1.0f) * 0.5f * width_, (ndc.y + 1.0f) * 0.5f * height_, (ndc.z + 1.0f) * 0.5f};
}

namespace {

// An SDL stream that appends everything written to a string (encoders
// write through it; the file layer writes the result).
SDL_RWops* StringWriter(std::string* out) {
  SDL_RWops* rw = SDL_AllocRW();
  if (!rw) return nullptr;
  rw->type = SDL_RWOPS_UNKNOWN;
  rw->hidden.unknown.data1 = out;
  rw->write = [](SDL_RWops* r, const void* data, size_t size, size_t count) -> size_t {
    static_cast<std::string*>(r->hidden.unknown.data1)->append(static_cast<const char*>(data), size * count);
    return count;
  };
  rw->seek = [](SDL_RWops* r, Sint64, int) -> Sint64 {
    return static_cast<Sint64>(static_cast<std::string*>(r->hidden.unknown.data1)->size());
  };
  rw->size = [](SDL_RWops* r) -> Sint64 {
    return static_cast<Sint64>(static_cast<std::string*>(r->hidden.unknown.data1)->size());
  };
  rw->close = [](SDL_RWops* r) -> int {
    SDL_FreeRW(r);
    return 0;
  };
  return rw;
}

// Encodes an RGBA picture (top row first) as PNG or JPEG in memory.
bool Encode(const std::vector<uint8_t>& rgba, int width, int height, int jpegQuality, std::string& out,
            std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (width <= 0 || height <= 0 || rgba.size() < static_cast<size_t>(width) * height * 4)
    return fail("No picture to save");
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(rgba.data()), width, height, 32,
                                                      width * 4, SDL_PIXELFORMAT_ABGR8888);
  if (!s) return fail(SDL_GetError());
  SDL_RWops* rw = StringWriter(&out);
  if (!rw) {
    SDL_FreeSurface(s);
    return fail(SDL_GetError());
  }
  const int rc = jpegQuality > 0 ? IMG_SaveJPG_RW(s, rw, 1, jpegQuality) : IMG_SavePNG_RW(s, rw, 1);
  SDL_FreeSurface(s);
  if (rc != 0) return fail(std::string("Couldn't encode the picture: ") + IMG_GetError());
  return true;
}

}  // namespace

bool SavePNG(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height, std::string* error) {
  std::string png;
  if (!Encode(rgba, width, height, 0, png, error)) return false;
  std::string why;
  if (!Files().WriteFile(path, png, &why)) {
    if (error) *error = why;
    return false;
  }
  return true;
}

bool EncodeJPEG(const std::vector<uint8_t>& rgba, int width, int height, int quality, std::string& jpeg,
                std::string* error) {
  jpeg.clear();
  return Encode(rgba, width, height, quality < 1 ? 1 : quality > 100 ? 100 : quality, jpeg, error);
}

std::vector<uint8_t> Thumbnail(const std::vector<uint8_t>& rgba, int width, int height, int size) {
  std::vector<uint8_t> out(static_cast<size_t>(size) * size * 4, 0);
  for (size_t i = 3; i < out.size(); i += 4) out[i] = 255;
  if (width <= 0 || height <= 0 || size <= 0 || rgba.size() < static_cast<size_t>(width) * height * 4) return out;
  // The snapshot keeps its proportions: full width, centred between bands.
  const int64_t h = int64_t(size) * height / width;
  const int64_t top = static_cast<int64_t>((double(size) - double(h)) * 0.5);
  if (h <= 0) return out;
  for (int y = 0; y < size; ++y) {
    const int64_t sy = int64_t(y) - top;
    if (sy < 0 || sy >= h) continue;
    const int64_t srcY = std::min<int64_t>(height - 1, sy * height / h);
    for (int x = 0; x < size; ++x) {
      const int64_t srcX = std::min<int64_t>(width - 1, int64_t(x) * width / size);
      const uint8_t* p = &rgba[(static_cast<size_t>(srcY) * width + static_cast<size_t>(srcX)) * 4];
      uint8_t* q = &out[(static_cast<size_t>(y) * size + static_cast<size_t>(x)) * 4];
      q[0] = p[0];
      q[1] = p[1];
      q[2] = p[2];
      q[3] = 255;
    }
  }
  return out;
}

}  // namespace kavo::scene
