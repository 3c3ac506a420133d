#include "scene/renderer.h"

#include "scene/nodes.h"
#include "scene/staticmesh.h"
#include "scene/view.h"

#include <algorithm>
#include <chrono>

namespace kavo::scene {

namespace {
double NowSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

void Renderer::Render(View& view) {
  view_ = &view;
  projection_ = view.ProjectionMatrix();
  viewMatrix_ = view.ViewMatrix();
  eye_ = glm::vec3(glm::inverse(viewMatrix_)[3]);
  BeginFrame(view);
  if (Node* root = view.Root()) Walk(*root, glm::mat4(1.0f), static_cast<int>(SortRule::None));
  EndFrame(view);
  UpdateStatistics(view);
  view_ = nullptr;
}

void Renderer::UpdateStatistics(View& view) {
  ++view.frameCount_;
  const double now = NowSeconds();
  if (view.fpsWindowStart_ < 0.0) {
    view.fpsWindowStart_ = now;
    view.fpsWindowFrames_ = 0;
    return;
  }
  ++view.fpsWindowFrames_;
  const double elapsed = now - view.fpsWindowStart_;
  if (elapsed >= 1.0) {
    view.fps_ = static_cast<float>(view.fpsWindowFrames_ / elapsed);
    view.fpsWindowStart_ = now;
    view.fpsWindowFrames_ = 0;
  }
}

void Renderer::Walk(Node& node, const glm::mat4& parentMatrix, int inheritedRule) {
  if (!node.Visible()) return;
  const bool layer = node.KeepsCameraOrientation();
  // A camera-frame layer hangs from the camera's own frame (origin at the
  // eye), not from its parents: it keeps its place on screen however the
  // camera moves.
  const glm::mat4 abs = layer ? CameraFrame(viewMatrix_) * node.LocalMatrix() : parentMatrix * node.LocalMatrix();
  if (layer) BeginCameraLayer(node);
  nodeMatrix_ = abs;
  node.Accept(*this);
  WalkChildren(node, abs, inheritedRule);
  if (layer) EndCameraLayer(node);
}

void Renderer::WalkChildren(Node& node, const glm::mat4& abs, int inheritedRule) {
  const auto& kids = node.Children();
  if (kids.empty()) return;
  int rule = node.Sorting() == SortRule::Inherit ? inheritedRule : static_cast<int>(node.Sorting());

  // Children are copied out first: callbacks run during the walk may
  // reorder them. The scratch buffer is shared by all levels of the walk.
  const size_t start = scratch_.size();
  for (const auto& c : kids) scratch_.push_back({c.get(), 0.0f});
  const auto first = scratch_.begin() + static_cast<std::ptrdiff_t>(start);
  switch (static_cast<SortRule>(rule)) {
    case SortRule::BlendedLast:
      std::stable_partition(first, scratch_.end(), [](const Entry& e) { return !e.node->IsBlended(); });
      break;
    case SortRule::NearestFirst:
    case SortRule::FarthestFirst: {
      for (auto it = first; it != scratch_.end(); ++it) {
        glm::vec3 p = glm::vec3(abs * glm::vec4(it->node->Position(), 1.0f));
        glm::vec3 d = p - eye_;
        it->key = glm::dot(d, d);
      }
      if (static_cast<SortRule>(rule) == SortRule::NearestFirst)
        std::stable_sort(first, scratch_.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
      else
        std::stable_sort(first, scratch_.end(), [](const Entry& a, const Entry& b) { return a.key > b.key; });
      break;
    }
    default:
      break;
  }
  const size_t count = scratch_.size() - start;
  for (size_t i = 0; i < count; ++i) Walk(*scratch_[start + i].node, abs, rule);
  scratch_.resize(start);
}

// ---------------------------------------------------------------- null renderer

void NullRenderer::BeginFrame(View&) { drawn_.clear(); }
void NullRenderer::EndFrame(View&) {}

void NullRenderer::VisitGroup(GroupNode& n) {
  if (n.VisibleAtRunTime()) drawn_.push_back(n.Name());
}
void NullRenderer::VisitStaticMesh(StaticMeshNode& n) { drawn_.push_back(n.Name()); }
void NullRenderer::VisitSphere(SphereNode& n) { drawn_.push_back(n.Name()); }
void NullRenderer::VisitHudSprite(HudSpriteNode& n) { drawn_.push_back(n.Name()); }
void NullRenderer::VisitDirectRender(DirectRenderNode& n) {
  drawn_.push_back(n.Name());
  if (runCallbacks_ && n.callback) {
    DirectRenderContext ctx;
    ctx.view = CurrentView();
    ctx.modelMatrix = NodeMatrix();
    ctx.hasGL = false;
    n.callback(ctx);
  }
}
void NullRenderer::VisitHudText(HudTextNode& n) {
  if (!n.text.empty()) drawn_.push_back(n.Name());
}
void NullRenderer::VisitLineSet(LineSetNode& n) {
  if (!n.points.empty()) drawn_.push_back(n.Name());
}

}  // namespace kavo::scene
