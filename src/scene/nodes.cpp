#include "scene/nodes.h"

#include "scene/geometry.h"
#include "scene/visitor.h"

#include <glm/gtc/matrix_transform.hpp>

#include <cmath>

namespace kavo::scene {

// Default visitor methods: treat each kind as a plain node.
void NodeVisitor::VisitGroup(GroupNode& n) { VisitNode(n); }
void NodeVisitor::VisitCamera(CameraNode& n) { VisitNode(n); }
void NodeVisitor::VisitSphere(SphereNode& n) { VisitNode(n); }
void NodeVisitor::VisitHudSprite(HudSpriteNode& n) { VisitNode(n); }
void NodeVisitor::VisitDirectRender(DirectRenderNode& n) { VisitNode(n); }
void NodeVisitor::VisitLineSet(LineSetNode& n) { VisitNode(n); }
void NodeVisitor::VisitHudText(HudTextNode& n) { VisitNode(n); }

void GroupNode::Accept(NodeVisitor& v) { v.VisitGroup(*this); }
void CameraNode::Accept(NodeVisitor& v) { v.VisitCamera(*this); }
void SphereNode::Accept(NodeVisitor& v) { v.VisitSphere(*this); }
void HudSpriteNode::Accept(NodeVisitor& v) { v.VisitHudSprite(*this); }
void DirectRenderNode::Accept(NodeVisitor& v) { v.VisitDirectRender(*this); }
void LineSetNode::Accept(NodeVisitor& v) { v.VisitLineSet(*this); }
void HudTextNode::Accept(NodeVisitor& v) { v.VisitHudText(*this); }

bool GroupNode::PointInside(const glm::vec3& absolutePoint) const {
  const float edge = std::fabs(cubeSize_);
  return PointInOrientedBox(AbsoluteMatrix() * glm::scale(glm::mat4(1.0f), glm::vec3(edge)), absolutePoint);
}

glm::mat4 CameraNode::DefaultProjection(int width, int height) const {
  float w = static_cast<float>(width < 1 ? 1 : width);
  float h = static_cast<float>(height < 1 ? 1 : height);
  float fov = focalLength_;
  if (!(fov > 0.01f)) fov = 0.01f;
  if (fov > 179.0f) fov = 179.0f;
  float n = nearPlaneBias_ > 1e-6f ? nearPlaneBias_ : 1e-6f;
  float f = depthOfView_ > n * 1.0001f ? depthOfView_ : n * 1.0001f + 1e-3f;
  return glm::perspective(glm::radians(fov), w / h, n, f);
}

glm::mat4 CameraNode::ProjectionMatrix(int width, int height) const {
  if (projection_) return projection_(*this, width, height);
  return DefaultProjection(width, height);
}

glm::mat4 CameraNode::ViewMatrix() const {
  glm::mat4 abs = AbsoluteMatrix();
  glm::vec3 eye(abs[3]);
  glm::vec3 dir = glm::vec3(abs[2]);
  if (target_) {
    glm::vec3 t = target_->AbsolutePosition();
    if (glm::dot(t - eye, t - eye) > 1e-12f) dir = t - eye;
  }
  if (!(glm::dot(dir, dir) > 1e-12f)) dir = {0, 0, 1};
  dir = glm::normalize(dir);
  glm::vec3 up = glm::vec3(abs[1]);
  if (!(glm::dot(up, up) > 1e-12f)) up = {0, 1, 0};
  up = glm::normalize(up);
  if (std::fabs(glm::dot(up, dir)) > 0.9999f) up = std::fabs(dir.y) < 0.9f ? glm::vec3(0, 1, 0) : glm::vec3(0, 0, 1);
  return glm::lookAt(eye, eye + dir, up);
}

}  // namespace kavo::scene
