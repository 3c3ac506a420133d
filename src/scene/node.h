// Scene nodes: the tree the engine draws. Every node has a name, an ordered
// list of owned children, a local transform (position, direction, up, scale
// plus turn, roll and pitch angle values) and a sorting rule for its
// children. Concrete node kinds (groups, cameras, meshes, HUD sprites ...)
// derive from Node and tell a NodeVisitor what they are, so renderers and
// other walkers can treat each kind on its own.
//
// Conventions:
//   * y is up; a fresh node faces +z (direction) with +y up.
//   * The node's X axis is cross(up, direction): +x for a fresh node.
//   * Angles are degrees. A positive turn rotates the facing direction from
//     +z towards -x (about the node's own up axis); a positive pitch takes
//     the direction from +z towards +y (about the node's own X axis), so a
//     pitch of 90 turns a z-up model y-up; a positive roll takes the up
//     vector from +y towards +x (about the node's own direction).
//   * The local matrix, read as four rows of four numbers: row 1 is the X
//     axis times ScaleX, row 2 the up axis times ScaleY, row 3 the direction
//     times ScaleZ and row 4 the position followed by 1. In glm's
//     column-major storage these rows are the matrix's columns, so the 16
//     numbers in row order are exactly glm::value_ptr of LocalMatrix().
#pragma once

#include <glm/glm.hpp>

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <deque>
#include <vector>

namespace kavo::scene {

class NodeVisitor;
class Node;

// How a node orders its children for drawing. Inherit takes the rule of the
// nearest ancestor that has one (none at the root).
enum class SortRule {
  Inherit,
  None,          // tree order
  BlendedLast,   // opaque children first, then blended ones, each in tree order
  NearestFirst,  // by distance to the camera
  FarthestFirst,
};

// Opaque per-node data a renderer keeps (vertex buffers and the like). The
// node owns it and drops it when its structure changes.
class RenderCache {
 public:
  virtual ~RenderCache() = default;
};

class Node {
 public:
  explicit Node(std::string name = {});
  virtual ~Node();
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  // ---- identity ----
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string hint) { hint_ = std::move(hint); }

  // ---- tree ----
  Node* Parent() const { return parent_; }
  size_t ChildCount() const { return children_.size(); }
  Node* Child(size_t index) const;  // nullptr when out of range
  // Position among the parent's children, -1 without a parent.
  int IndexInParent() const;
  // Depth-first search of the subtree below this node (not the node itself).
  Node* FindChild(std::string_view name) const;

  // Appends a node as the last child and returns it.
  template <class T>
  T* AddChild(std::unique_ptr<T> child) {
    T* raw = child.get();
    AdoptChild(std::unique_ptr<Node>(std::move(child)));
    return raw;
  }
  // Creates a node of kind T in place as the last child.
  template <class T, class... Args>
  T* CreateChild(Args&&... args) {
    return AddChild(std::make_unique<T>(std::forward<Args>(args)...));
  }
  // Moves this node under another parent as its last child, keeping the
  // local transform. Moving a node under itself or its own subtree is
  // refused (returns false).
  bool MoveTo(Node& newParent);
  // Takes this node out of its parent and hands it to the caller.
  std::unique_ptr<Node> Detach();
  // Takes this node out of its parent and destroys it with its subtree.
  void Destroy();
  void DestroyChildren();

  // Sibling order. Each returns false when nothing moved.
  bool MoveFirst();
  bool MoveLast();
  bool MoveUp();    // one place towards the first
  bool MoveDown();  // one place towards the last

  // ---- visibility ----
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  void Show() { visible_ = true; }
  void Hide() { visible_ = false; }
  // Visible and every ancestor visible.
  bool VisibleInTree() const;

  SortRule Sorting() const { return sorting_; }
  void SetSorting(SortRule rule) { sorting_ = rule; }

  // When on, the node is a camera-frame layer: the renderer draws it (and
  // so its subtree) in the camera's own frame (see CameraFrame in view.h),
  // its local matrix taken from the eye rather than from its parents, on a
  // cleared depth buffer. Used by layers that keep their place on screen
  // and that the world never hides, such as the inventory.
  bool KeepsCameraOrientation() const { return keepCameraOrientation_; }
  void SetKeepsCameraOrientation(bool on) { keepCameraOrientation_ = on; }

  // ---- transform ----
  const glm::vec3& Position() const { return position_; }
  void SetPosition(const glm::vec3& p) { position_ = p; }
  void SetPosition(float x, float y, float z) { position_ = {x, y, z}; }
  const glm::vec3& Direction() const { return direction_; }
  void SetDirection(const glm::vec3& d);  // normalised; a zero vector is ignored
  const glm::vec3& Up() const { return up_; }
  void SetUp(const glm::vec3& u);  // normalised; a zero vector is ignored
  // cross(up, direction), normalised (falls back to a perpendicular of the
  // direction when up and direction are parallel).
  glm::vec3 XAxis() const;
  const glm::vec3& Scale() const { return scale_; }
  void SetScale(const glm::vec3& s) { scale_ = s; }
  void SetScale(float x, float y, float z) { scale_ = {x, y, z}; }

  float TurnAngle() const { return turnAngle_; }
  float RollAngle() const { return rollAngle_; }
  float PitchAngle() const { return pitchAngle_; }
  // Each rotates the node from its current orientation by the change of the
  // angle value, about its own up / direction / X axis.
  void SetTurnAngle(float degrees);
  void SetRollAngle(float degrees);
  void SetPitchAngle(float degrees);
  // Direction +z, up +y, angle values 0; position and scale are kept.
  void ResetRotation();

  // Rotations about the node's own axes that leave the angle values alone.
  void Turn(float degrees);
  void Roll(float degrees);
  void Pitch(float degrees);
  void Translate(const glm::vec3& delta) { position_ += delta; }

  // Faces a world point: the direction points from the node's absolute
  // position to it and the up vector is the given world up made
  // perpendicular. Angle values are left as they are.
  void PointTo(const glm::vec3& worldPoint, const glm::vec3& worldUp);
  // Orbits this node around `target` by pitch and turn deltas (degrees),
  // keeping its distance and making it face the target afterwards.
  void MoveAroundTarget(const Node& target, float pitchDelta, float turnDelta);

  // The local matrix (see the header comment for its layout).
  glm::mat4 LocalMatrix() const;
  std::array<float, 16> RawMatrix() const;
  // Sets the transform from a local matrix: direction := row 3 normalised,
  // up := row 2 normalised, scale := lengths of rows 1..3, position :=
  // row 4's first three. A zero row keeps that axis's current direction.
  // Angle values are not touched.
  void SetLocalMatrix(const glm::mat4& m);
  void SetRawMatrix(const float* m16);

  glm::mat4 AbsoluteMatrix() const;
  glm::vec3 AbsolutePosition() const;
  glm::vec3 AbsoluteDirection() const;
  glm::vec3 AbsoluteUp() const;
  float DistanceTo(const Node& other) const;

  // ---- kinds ----
  // Double dispatch for renderers and walkers; the default visits a plain node.
  virtual void Accept(NodeVisitor& visitor);
  // Whether the node draws with blending (used by the blended-last rule).
  virtual bool IsBlended() const { return false; }

  // Per-node renderer data; dropped by StructureChanged().
  RenderCache* Cache() const { return cache_.get(); }
  void SetCache(std::unique_ptr<RenderCache> cache) { cache_ = std::move(cache); }
  virtual void StructureChanged() { cache_.reset(); }

  // Raw access to the child list for fast walkers.
  const std::deque<std::unique_ptr<Node>>& Children() const { return children_; }

 private:
  void AdoptChild(std::unique_ptr<Node> child);
  void RotateAbout(const glm::vec3& axis, float degrees);  // own-axis rotation of direction and up

  std::string name_;
  std::string hint_;
  int tag_ = 0;
  Node* parent_ = nullptr;
  // A deque: the close frees nodes oldest first, and a child leaves the
  // front of its parent's list without moving the others.
  std::deque<std::unique_ptr<Node>> children_;
  bool visible_ = true;
  SortRule sorting_ = SortRule::Inherit;
  bool keepCameraOrientation_ = false;

  glm::vec3 position_{0.0f};
  glm::vec3 direction_{0.0f, 0.0f, 1.0f};
  glm::vec3 up_{0.0f, 1.0f, 0.0f};
  glm::vec3 scale_{1.0f};
  float turnAngle_ = 0.0f;
  float rollAngle_ = 0.0f;
  float pitchAngle_ = 0.0f;

  std::unique_ptr<RenderCache> cache_;
};

}  // namespace kavo::scene
