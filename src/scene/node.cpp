#include "scene/node.h"

#include "scene/visitor.h"

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/gtx/rotate_vector.hpp>

#include <algorithm>
#include <cmath>

namespace kavo::scene {

namespace {
constexpr float kTiny = 1e-12f;

// Any unit vector perpendicular to a unit vector.
glm::vec3 Perpendicular(const glm::vec3& v) {
  glm::vec3 other = std::fabs(v.y) < 0.9f ? glm::vec3(0, 1, 0) : glm::vec3(1, 0, 0);
  glm::vec3 p = glm::cross(other, v);
  return glm::normalize(p);
}

// `up` made perpendicular to the unit vector `dir`; `fallback` (itself
// perpendicular-ised) when up is parallel to dir or zero.
glm::vec3 Orthogonalised(const glm::vec3& up, const glm::vec3& dir, const glm::vec3& fallback) {
  glm::vec3 u = up - glm::dot(up, dir) * dir;
  float len2 = glm::dot(u, u);
  if (len2 > 1e-10f) return u / std::sqrt(len2);
  u = fallback - glm::dot(fallback, dir) * dir;
  len2 = glm::dot(u, u);
  if (len2 > 1e-10f) return u / std::sqrt(len2);
  return Perpendicular(dir);
}
}  // namespace

Node::Node(std::string name) : name_(std::move(name)) {}
Node::~Node() = default;

// ---------------------------------------------------------------- tree

Node* Node::Child(size_t index) const { return index < children_.size() ? children_[index].get() : nullptr; }

int Node::IndexInParent() const {
  if (!parent_) return -1;
  const auto& sib = parent_->children_;
  for (size_t i = 0; i < sib.size(); ++i)
    if (sib[i].get() == this) return static_cast<int>(i);
  return -1;
}

Node* Node::FindChild(std::string_view name) const {
  for (const auto& c : children_) {
    if (c->name_ == name) return c.get();
    if (Node* n = c->FindChild(name)) return n;
  }
  return nullptr;
}

void Node::AdoptChild(std::unique_ptr<Node> child) {
  if (!child) return;
  child->parent_ = this;
  children_.push_back(std::move(child));
}

std::unique_ptr<Node> Node::Detach() {
  if (!parent_) return nullptr;
  auto& sib = parent_->children_;
  for (auto it = sib.begin(); it != sib.end(); ++it) {
    if (it->get() == this) {
      std::unique_ptr<Node> self = std::move(*it);
      sib.erase(it);
      parent_ = nullptr;
      return self;
    }
  }
  return nullptr;
}

bool Node::MoveTo(Node& newParent) {
  for (const Node* n = &newParent; n; n = n->parent_)
    if (n == this) return false;
  if (!parent_) return false;  // a root is not owned by a tree and cannot be handed over
  std::unique_ptr<Node> self = Detach();
  newParent.AdoptChild(std::move(self));
  return true;
}

void Node::Destroy() {
  std::unique_ptr<Node> self = Detach();
  // `self` goes out of scope here and destroys the subtree; a root node
  // (no parent) is owned elsewhere and is left to its owner.
}

void Node::DestroyChildren() { children_.clear(); }

bool Node::MoveFirst() {
  int i = IndexInParent();
  if (i <= 0) return false;
  auto& sib = parent_->children_;
  std::rotate(sib.begin(), sib.begin() + i, sib.begin() + i + 1);
  return true;
}

bool Node::MoveLast() {
  int i = IndexInParent();
  if (i < 0) return false;
  auto& sib = parent_->children_;
  if (static_cast<size_t>(i) + 1 == sib.size()) return false;
  std::rotate(sib.begin() + i, sib.begin() + i + 1, sib.end());
  return true;
}

bool Node::MoveUp() {
  int i = IndexInParent();
  if (i <= 0) return false;
  std::swap(parent_->children_[i], parent_->children_[i - 1]);
  return true;
}

bool Node::MoveDown() {
  int i = IndexInParent();
  if (i < 0 || static_cast<size_t>(i) + 1 >= parent_->children_.size()) return false;
  std::swap(parent_->children_[i], parent_->children_[i + 1]);
  return true;
}

bool Node::VisibleInTree() const {
  for (const Node* n = this; n; n = n->parent_)
    if (!n->visible_) return false;
  return true;
}

// ---------------------------------------------------------------- transform

void Node::SetDirection(const glm::vec3& d) {
  float len2 = glm::dot(d, d);
  if (!(len2 > kTiny) || !std::isfinite(len2)) return;
  direction_ = d / std::sqrt(len2);
  up_ = Orthogonalised(up_, direction_, glm::vec3(0, 1, 0));
}

void Node::SetUp(const glm::vec3& u) {
  float len2 = glm::dot(u, u);
  if (!(len2 > kTiny) || !std::isfinite(len2)) return;
  up_ = u / std::sqrt(len2);
}

glm::vec3 Node::XAxis() const {
  glm::vec3 x = glm::cross(up_, direction_);
  float len2 = glm::dot(x, x);
  if (len2 > 1e-10f) return x / std::sqrt(len2);
  return Perpendicular(direction_);
}

void Node::RotateAbout(const glm::vec3& axis, float degrees) {
  // Positive angles turn clockwise when looking along the axis, which gives
  // the documented senses: turn +z -> -x, pitch +z -> +y, roll +y -> +x.
  float rad = -glm::radians(degrees);
  direction_ = glm::normalize(glm::rotate(direction_, rad, axis));
  up_ = Orthogonalised(glm::rotate(up_, rad, axis), direction_, up_);
}

void Node::Turn(float degrees) { RotateAbout(up_, degrees); }
void Node::Roll(float degrees) { RotateAbout(direction_, degrees); }
void Node::Pitch(float degrees) { RotateAbout(XAxis(), degrees); }

void Node::SetTurnAngle(float degrees) {
  float delta = degrees - turnAngle_;
  turnAngle_ = degrees;
  if (delta != 0.0f) Turn(delta);
}

void Node::SetRollAngle(float degrees) {
  float delta = degrees - rollAngle_;
  rollAngle_ = degrees;
  if (delta != 0.0f) Roll(delta);
}

void Node::SetPitchAngle(float degrees) {
  float delta = degrees - pitchAngle_;
  pitchAngle_ = degrees;
  if (delta != 0.0f) Pitch(delta);
}

void Node::ResetRotation() {
  direction_ = {0, 0, 1};
  up_ = {0, 1, 0};
  turnAngle_ = rollAngle_ = pitchAngle_ = 0.0f;
}

glm::mat4 Node::LocalMatrix() const {
  const glm::vec3 z = direction_;
  const glm::vec3 y = Orthogonalised(up_, z, glm::vec3(0, 1, 0));
  const glm::vec3 x = glm::cross(y, z);
  glm::mat4 m(1.0f);
  m[0] = glm::vec4(x * scale_.x, 0.0f);
  m[1] = glm::vec4(y * scale_.y, 0.0f);
  m[2] = glm::vec4(z * scale_.z, 0.0f);
  m[3] = glm::vec4(position_, 1.0f);
  return m;
}

std::array<float, 16> Node::RawMatrix() const {
  glm::mat4 m = LocalMatrix();
  std::array<float, 16> out{};
  const float* p = glm::value_ptr(m);
  std::copy(p, p + 16, out.begin());
  return out;
}

void Node::SetLocalMatrix(const glm::mat4& m) {
  auto axis = [](const glm::vec4& row, glm::vec3& keep, float& scale) {
    glm::vec3 v(row);
    float len = glm::length(v);
    if (!std::isfinite(len)) len = 0.0f;
    scale = len;
    if (len > 1e-12f) keep = v / len;
  };
  float sx, sy, sz;
  glm::vec3 xDummy = XAxis();
  axis(m[0], xDummy, sx);
  axis(m[1], up_, sy);
  axis(m[2], direction_, sz);
  scale_ = {sx, sy, sz};
  glm::vec3 p(m[3]);
  if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) position_ = p;
}

void Node::SetRawMatrix(const float* m16) {
  if (!m16) return;
  SetLocalMatrix(glm::make_mat4(m16));
}

glm::mat4 Node::AbsoluteMatrix() const {
  glm::mat4 m = LocalMatrix();
  for (const Node* p = parent_; p; p = p->parent_) m = p->LocalMatrix() * m;
  return m;
}

glm::vec3 Node::AbsolutePosition() const {
  if (!parent_) return position_;
  return glm::vec3(parent_->AbsoluteMatrix() * glm::vec4(position_, 1.0f));
}

glm::vec3 Node::AbsoluteDirection() const {
  glm::vec3 d = glm::vec3(AbsoluteMatrix() * glm::vec4(0, 0, 1, 0));
  float len = glm::length(d);
  return len > 1e-12f ? d / len : glm::vec3(0, 0, 1);
}

glm::vec3 Node::AbsoluteUp() const {
  glm::vec3 u = glm::vec3(AbsoluteMatrix() * glm::vec4(0, 1, 0, 0));
  float len = glm::length(u);
  return len > 1e-12f ? u / len : glm::vec3(0, 1, 0);
}

float Node::DistanceTo(const Node& other) const { return glm::distance(AbsolutePosition(), other.AbsolutePosition()); }

void Node::PointTo(const glm::vec3& worldPoint, const glm::vec3& worldUp) {
  glm::vec3 from = AbsolutePosition();
  glm::vec3 dirWorld = worldPoint - from;
  if (!(glm::dot(dirWorld, dirWorld) > kTiny)) return;
  glm::vec3 dirLocal = dirWorld;
  glm::vec3 upLocal = worldUp;
  if (parent_) {
    glm::mat4 inv = glm::inverse(parent_->AbsoluteMatrix());
    dirLocal = glm::vec3(inv * glm::vec4(dirWorld, 0.0f));
    upLocal = glm::vec3(inv * glm::vec4(worldUp, 0.0f));
  }
  float len2 = glm::dot(dirLocal, dirLocal);
  if (!(len2 > kTiny) || !std::isfinite(len2)) return;
  direction_ = dirLocal / std::sqrt(len2);
  up_ = Orthogonalised(upLocal, direction_, up_);
}

void Node::MoveAroundTarget(const Node& target, float pitchDelta, float turnDelta) {
  // Work in the parent's space: that is where position_ lives.
  glm::vec3 targetLocal = target.AbsolutePosition();
  if (parent_) targetLocal = glm::vec3(glm::inverse(parent_->AbsoluteMatrix()) * glm::vec4(targetLocal, 1.0f));
  glm::vec3 offset = position_ - targetLocal;
  float dist = glm::length(offset);
  if (!(dist > 1e-6f)) return;
  const glm::vec3 up = up_;
  // Turn: orbit about the up axis through the target, same sense as Turn().
  offset = glm::rotate(offset, -glm::radians(turnDelta), up);
  // Pitch: orbit over the target; a positive delta raises the node. The
  // orbit stops short of the poles so the node never flips over.
  glm::vec3 side = glm::cross(up, offset);
  if (glm::dot(side, side) > 1e-12f) {
    side = glm::normalize(side);
    glm::vec3 pitched = glm::rotate(offset, -glm::radians(pitchDelta), side);
    float c = glm::dot(glm::normalize(pitched), up);
    if (std::fabs(c) < 0.9999f) offset = pitched;
  }
  offset = glm::normalize(offset) * dist;
  position_ = targetLocal + offset;
  direction_ = glm::normalize(-offset);
  up_ = Orthogonalised(up, direction_, up_);
}

void Node::Accept(NodeVisitor& visitor) { visitor.VisitNode(*this); }

}  // namespace kavo::scene
