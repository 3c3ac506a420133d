// Renderers draw a View. The base class owns the walk over the tree: it
// skips hidden subtrees, computes each node's absolute matrix on the way
// down, applies each node's sorting rule to its children and reports every
// node to the concrete renderer (a NodeVisitor) in drawing order. The
// NullRenderer draws nothing and records the names of the nodes it would
// draw, so the drawing order can be checked without a GL context.
#pragma once

#include "scene/visitor.h"

#include <glm/glm.hpp>

#include <string>
#include <vector>

namespace kavo::scene {

class View;
class Node;

class Renderer : protected NodeVisitor {
 public:
  ~Renderer() override = default;
  // Draws one frame of the view's tree through its camera.
  void Render(View& view);

 protected:
  virtual void BeginFrame(View& view) = 0;
  virtual void EndFrame(View& view) = 0;
  // Around the subtree of a camera-frame layer (Node::KeepsCameraOrientation).
  virtual void BeginCameraLayer(Node&) {}
  virtual void EndCameraLayer(Node&) {}

  // While walking: the view, its matrices and the current node's absolute matrix.
  View* CurrentView() const { return view_; }
  const glm::mat4& ViewMatrix() const { return viewMatrix_; }
  const glm::mat4& ProjectionMatrix() const { return projection_; }
  const glm::mat4& NodeMatrix() const { return nodeMatrix_; }
  const glm::vec3& EyePosition() const { return eye_; }

 private:
  struct Entry {
    Node* node;
    float key;
  };
  void Walk(Node& node, const glm::mat4& parentMatrix, int inheritedRule);
  void WalkChildren(Node& node, const glm::mat4& abs, int inheritedRule);
  void UpdateStatistics(View& view);

  View* view_ = nullptr;
  glm::mat4 viewMatrix_{1.0f}, projection_{1.0f}, nodeMatrix_{1.0f};
  glm::vec3 eye_{0.0f};
  std::vector<Entry> scratch_;
};

class NullRenderer : public Renderer {
 public:
  // Names of the nodes drawn in the last frame, in order.
  const std::vector<std::string>& Drawn() const { return drawn_; }
  // Whether direct-render callbacks are run (without GL). Off by default.
  void SetRunCallbacks(bool on) { runCallbacks_ = on; }

 protected:
  void BeginFrame(View& view) override;
  void EndFrame(View& view) override;
  void VisitGroup(GroupNode& n) override;
  void VisitStaticMesh(StaticMeshNode& n) override;
  void VisitSphere(SphereNode& n) override;
  void VisitHudSprite(HudSpriteNode& n) override;
  void VisitDirectRender(DirectRenderNode& n) override;
  void VisitLineSet(LineSetNode& n) override;
  void VisitHudText(HudTextNode& n) override;

 private:
  std::vector<std::string> drawn_;
  bool runCallbacks_ = false;
};

}  // namespace kavo::scene
