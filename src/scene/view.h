// A view: one picture of the scene tree through a camera (the window view
// and the full-screen view are two of these). It holds the viewport size,
// the camera, fog, background and ambient colours, the anti-aliasing
// setting, the frame statistics a renderer fills in, and the projection
// maths used for picking, which works without any GL context.
#pragma once

#include "scene/geometry.h"

#include <glm/glm.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace kavo::scene {

class Node;
class CameraNode;
class Renderer;

struct FogSettings {
  bool enabled = false;
  float start = 10.0f;  // linear fog, distances to the eye plane
  float end = 100.0f;
  glm::vec4 color{0.5f, 0.5f, 0.5f, 1.0f};
};

class View {
 public:
  View() = default;

  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetSize(int width, int height);

  // The tree drawn by this view (not owned).
  Node* Root() const { return root_; }
  void SetRoot(Node* root) { root_ = root; }
  CameraNode* Camera() const { return camera_; }
  void SetCamera(CameraNode* camera) { camera_ = camera; }

  FogSettings fog;
  glm::vec4 background{0.0f, 0.0f, 0.0f, 1.0f};
  glm::vec4 ambient{0.2f, 0.2f, 0.2f, 1.0f};
  bool lighting = true;
  int antiAliasing = 0;  // multisample count asked for; 0 = off

  // Frame statistics, kept by the renderer.
  uint64_t FrameCount() const { return frameCount_; }
  float FramesPerSecond() const { return fps_; }
  // "Hardware", "Software" or "Unknown" (before a GL frame was drawn).
  const std::string& RenderingReport() const { return report_; }

  // Projection and view matrices of the camera (identity view and a
  // 60-degree perspective without a camera).
  glm::mat4 ProjectionMatrix() const;
  glm::mat4 ViewMatrix() const;

  // A ray from the camera's absolute position through the view point
  // (x, yUp); yUp is measured from the bottom edge as GL does.
  Ray ScreenToRay(float x, float yUp) const;
  // A world point in view coordinates: x, yUp (from the bottom edge) and the
  // window depth 0..1.
  glm::vec3 Project(const glm::vec3& worldPoint) const;
  // The matrix this view draws a node with: its absolute matrix, except
  // that below a camera-frame layer (Node::KeepsCameraOrientation) the
  // layer hangs from CameraFrame(ViewMatrix()) instead of its parents.
  glm::mat4 DrawnMatrix(const Node& node) const;

  // When on, every frame the renderer draws is read back and kept.
  void SetCaptureFrames(bool on) { capture_ = on; }
  bool CaptureFrames() const { return capture_; }
  // The last captured frame, RGBA, top row first; empty if none.
  const std::vector<uint8_t>& LastFramePixels() const { return lastFrame_; }
  int LastFrameWidth() const { return lastFrameW_; }
  int LastFrameHeight() const { return lastFrameH_; }

 private:
  friend class Renderer;
  friend class GLRenderer;

  int width_ = 800, height_ = 600;
  Node* root_ = nullptr;
  CameraNode* camera_ = nullptr;
  uint64_t frameCount_ = 0;
  float fps_ = 0.0f;
  double fpsWindowStart_ = -1.0;
  uint64_t fpsWindowFrames_ = 0;
  std::string report_ = "Unknown";
  bool capture_ = false;
  std::vector<uint8_t> lastFrame_;
  int lastFrameW_ = 0, lastFrameH_ = 0;
};

// The camera's own frame in world terms for a view matrix: origin at the
// eye, x = cross(up, direction), y = up, z = the viewing direction. A
// camera-frame layer hangs from it, so its local +z points into the screen
// and its +x to the left of the picture.
glm::mat4 CameraFrame(const glm::mat4& viewMatrix);

// Writes an RGBA picture (top row first) as a PNG file. The path goes
// through the engine's file layer. Returns false with a message on failure.
bool SavePNG(const std::string& path, const std::vector<uint8_t>& rgba, int width, int height,
             std::string* error = nullptr);

// Encodes an RGBA picture (top row first) as a JPEG of the given quality
// (1 to 100) in memory.
bool EncodeJPEG(const std::vector<uint8_t>& rgba, int width, int height, int quality, std::string& jpeg,
                std::string* error = nullptr);

// A size x size picture of a snapshot: black, with the snapshot stretched to
// the full width and to height size * height / width, centred vertically.
// All black for an empty snapshot.
std::vector<uint8_t> Thumbnail(const std::vector<uint8_t>& rgba, int width, int height, int size = 256);

}  // namespace kavo::scene
