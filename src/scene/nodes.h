// The simple node kinds of the scene tree: groups (dummies with a cube
// size), cameras, spheres, HUD sprites, direct-render callbacks and line
// sets. Static meshes live in staticmesh.h.
#pragma once

#include "scene/bitmapfont.h"
#include "scene/material.h"
#include "scene/node.h"

#include <glm/glm.hpp>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kavo::scene {

class View;

// A grouping node with a cube of edge CubeSize() around its origin, scaled
// and turned with the node. It can be drawn as a wire marker box.
class GroupNode : public Node {
 public:
  using Node::Node;
  float CubeSize() const { return cubeSize_; }
  void SetCubeSize(float s) { cubeSize_ = s; }
  bool VisibleAtRunTime() const { return visibleAtRunTime_; }
  void SetVisibleAtRunTime(bool v) { visibleAtRunTime_ = v; }
  glm::vec4 markerColor{1.0f, 1.0f, 1.0f, 1.0f};
  // Whether an absolute point lies inside the node's box (boundary included).
  bool PointInside(const glm::vec3& absolutePoint) const;
  void Accept(NodeVisitor& v) override;

 private:
  float cubeSize_ = 1.0f;
  bool visibleAtRunTime_ = false;
};

// A camera. It looks along its absolute direction, or at its target node
// when it has one.
class CameraNode : public Node {
 public:
  // Builds the projection for a viewport; replaces the default perspective.
  using ProjectionFn = std::function<glm::mat4(const CameraNode& camera, int width, int height)>;

  using Node::Node;
  float FocalLength() const { return focalLength_; }  // vertical field of view, degrees
  void SetFocalLength(float f) { focalLength_ = f; }
  float DepthOfView() const { return depthOfView_; }  // far plane
  void SetDepthOfView(float d) { depthOfView_ = d; }
  float NearPlaneBias() const { return nearPlaneBias_; }  // near plane
  void SetNearPlaneBias(float n) { nearPlaneBias_ = n; }
  float SceneScale() const { return sceneScale_; }
  void SetSceneScale(float s) { sceneScale_ = s; }
  Node* Target() const { return target_; }
  void SetTarget(Node* target) { target_ = target; }
  void SetProjection(ProjectionFn fn) { projection_ = std::move(fn); }
  bool HasCustomProjection() const { return static_cast<bool>(projection_); }

  // The perspective of this camera's own values (height clamped to >= 1).
  glm::mat4 DefaultProjection(int width, int height) const;
  // The custom projection when set, else the default one.
  glm::mat4 ProjectionMatrix(int width, int height) const;
  // World -> eye.
  glm::mat4 ViewMatrix() const;

  void Accept(NodeVisitor& v) override;

 private:
  float focalLength_ = 60.0f;
  float depthOfView_ = 600.0f;
  float nearPlaneBias_ = 0.1f;
  float sceneScale_ = 1.0f;
  Node* target_ = nullptr;  // not owned; the engine keeps it alive
  ProjectionFn projection_;
};

class SphereNode : public Node {
 public:
  using Node::Node;
  float radius = 0.5f;
  int slices = 16, stacks = 16;
  Material material;
  bool IsBlended() const override { return material.Blended(); }
  void Accept(NodeVisitor& v) override;
};

// A textured rectangle in view pixels, placed by its centre with y running
// down from the top edge of the view. Positive rotation turns it
// counter-clockwise on the screen.
class HudSpriteNode : public Node {
 public:
  using Node::Node;
  float X() const { return Position().x; }
  float Y() const { return Position().y; }
  void SetXY(float x, float y) { SetPosition(x, y, Position().z); }
  float width = 16.0f, height = 16.0f;
  float rotation = 0.0f;  // degrees
  Material material;
  bool IsBlended() const override { return material.Blended(); }
  void Accept(NodeVisitor& v) override;
};

// Lines of text in window pixels (y down) drawn with a bitmap font: each
// character a quad of its table width by the font's CharHeight, textured
// with its glyph rectangle, advancing by width + italic correction +
// spacing; lines CharHeight + vertical spacing apart. The text is 8-bit
// (the code page's bytes). Alignment is about the node's x, the layout
// about its y.
class HudTextNode : public Node {
 public:
  enum class HAlign { Left, Center, Right };
  enum class VLayout { Top, Center, Bottom };
  using Node::Node;
  float X() const { return Position().x; }
  float Y() const { return Position().y; }
  void SetXY(float x, float y) { SetPosition(x, y, Position().z); }
  std::string text;
  BitmapFont* font = nullptr;  // not owned
  glm::vec4 colour{1.0f, 1.0f, 1.0f, 1.0f};
  HAlign hAlign = HAlign::Center;
  VLayout vLayout = VLayout::Center;
  bool IsBlended() const override { return true; }
  void Accept(NodeVisitor& v) override;
};

// Information handed to a direct-render callback.
// A light a callback asks for: light 0 of the graphics state, the only one
// on, for the rest of the camera-frame layer the callback's node is in.
struct LayerLight {
  glm::vec4 position{0.0f, 0.0f, 1.0f, 0.0f};  // in the callback node's frame; w = 1 for a point light
  glm::vec4 ambient{0.0f, 0.0f, 0.0f, 1.0f};
  glm::vec4 diffuse{1.0f, 1.0f, 1.0f, 1.0f};
  glm::vec4 specular{1.0f, 1.0f, 1.0f, 1.0f};
  float constantAttenuation = 1.0f, linearAttenuation = 0.0f, quadraticAttenuation = 0.0f;
};

struct DirectRenderContext {
  const View* view = nullptr;
  glm::mat4 modelMatrix{1.0f};  // absolute matrix of the callback's node
  bool hasGL = false;           // false under the null renderer
  // Filled by the callback to light the rest of its camera-frame layer;
  // outside such a layer it is ignored.
  std::optional<LayerLight> layerLight;
};

// Runs engine code at its place in the drawing order. With a GL renderer
// the callback may change any GL state; the renderer restores its own
// state afterwards.
class DirectRenderNode : public Node {
 public:
  using Callback = std::function<void(DirectRenderContext& ctx)>;
  using Node::Node;
  Callback callback;
  bool blend = false;  // whether the node counts as blended for sorting
  bool IsBlended() const override { return blend; }
  void Accept(NodeVisitor& v) override;
};

// A polyline through its points (in the node's coordinates).
class LineSetNode : public Node {
 public:
  using Node::Node;
  std::vector<glm::vec3> points;
  float lineWidth = 1.0f;
  glm::vec4 color{1.0f, 1.0f, 1.0f, 1.0f};
  void Accept(NodeVisitor& v) override;
};

}  // namespace kavo::scene
