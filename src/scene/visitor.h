// The visitor every node kind reports itself to (Node::Accept). A renderer
// or any other walker overrides the kinds it cares about; new kinds add a
// method here with a default that treats them as a plain node.
#pragma once

namespace kavo::scene {

class Node;
class GroupNode;
class CameraNode;
class StaticMeshNode;
class AnimatedMeshNode;
class SphereNode;
class HudSpriteNode;
class DirectRenderNode;
class LineSetNode;
class HudTextNode;

class NodeVisitor {
 public:
  virtual ~NodeVisitor() = default;
  virtual void VisitNode(Node&) {}
  virtual void VisitGroup(GroupNode& n);
  virtual void VisitCamera(CameraNode& n);
  virtual void VisitStaticMesh(StaticMeshNode& n);
  virtual void VisitAnimatedMesh(AnimatedMeshNode& n);  // default: as a static mesh
  virtual void VisitSphere(SphereNode& n);
  virtual void VisitHudSprite(HudSpriteNode& n);
  virtual void VisitDirectRender(DirectRenderNode& n);
  virtual void VisitLineSet(LineSetNode& n);
  virtual void VisitHudText(HudTextNode& n);
};

}  // namespace kavo::scene
