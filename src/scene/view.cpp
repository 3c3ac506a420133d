#include "scene/view.h"

#include "platform/files.h"
#include "scene/nodes.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <glm/gtc/matrix_transform.hpp>

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

bool SavePNG(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (width <= 0 || height <= 0 || rgba.size() < static_cast<size_t>(width) * height * 4)
    return fail("No picture to save");
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(rgba.data()), width, height, 32,
                                                      width * 4, SDL_PIXELFORMAT_ABGR8888);
  if (!s) return fail(SDL_GetError());
  // Encoded in memory, written through the file layer (a regular file only).
  std::string png;
  SDL_RWops* rw = SDL_AllocRW();
  if (!rw) {
    SDL_FreeSurface(s);
    return fail(SDL_GetError());
  }
  rw->type = SDL_RWOPS_UNKNOWN;
  rw->hidden.unknown.data1 = &png;
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
  const int rc = IMG_SavePNG_RW(s, rw, 1);
  SDL_FreeSurface(s);
  if (rc != 0) return fail(std::string("Couldn't encode the picture: ") + IMG_GetError());
  std::string why;
  if (!Files().WriteFile(path, png, &why)) return fail(why);
  return true;
}

}  // namespace kavo::scene
