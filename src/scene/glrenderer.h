// The OpenGL renderer (compatibility profile through libepoxy). Ordinary
// materials are drawn with the fixed-function pipeline from vertex buffers;
// the built-in GL state (matrices, light model, material, fog) is always set
// through GL so GLSL programs bound by material shaders can read it. HUD
// elements are drawn in a pixel projection with the origin at the top-left
// corner and y running down. Direct-render callbacks run at their place in
// the drawing order; the renderer restores its own state after each.
// A GL context must be current while Render runs.
#pragma once

#include "scene/renderer.h"

#include <string>
#include <vector>

namespace kavo::scene {

class Material;
struct LayerLight;
struct GLMeshCache;
struct MeshData;

class GLRenderer : public Renderer {
 public:
  GLRenderer();
  ~GLRenderer() override;

  // "Hardware", "Software" (llvmpipe, softpipe, swrast) or "Unknown", from
  // the current context's renderer string.
  static std::string DetectRenderingReport();
  // Reads the current draw buffer (call before the swap): RGBA, top row first.
  static std::vector<uint8_t> ReadPixels(int width, int height);

 protected:
  void BeginFrame(View& view) override;
  void EndFrame(View& view) override;
  void VisitGroup(GroupNode& n) override;
  void VisitStaticMesh(StaticMeshNode& n) override;
  void VisitAnimatedMesh(AnimatedMeshNode& n) override;
  void VisitSphere(SphereNode& n) override;
  void VisitHudSprite(HudSpriteNode& n) override;
  void VisitDirectRender(DirectRenderNode& n) override;
  void VisitLineSet(LineSetNode& n) override;
  void VisitHudText(HudTextNode& n) override;
  // A camera-frame layer is drawn on a cleared depth buffer; a light its
  // direct-render callback asks for (DirectRenderContext::layerLight) is
  // light 0, the only light on, until the layer ends.
  void BeginCameraLayer(Node& n) override;
  void EndCameraLayer(Node& n) override;

 private:
  void ApplyLayerLight(const LayerLight& light);
  void LoadNodeMatrix();
  void BeginWindowPixels();
  void EndWindowPixels();
  void DrawMesh(StaticMeshNode& n, const MeshData& data, const GLMeshCache& cache);
  void ApplyMaterial(Material& m);
  void UnApplyMaterial(Material& m);
  void SetFrameState();

  struct Quadric;
  Quadric* quadric_ = nullptr;
  bool fogOn_ = false;
  bool lightingOn_ = true;
  int cameraLayers_ = 0;  // camera-frame layers being drawn
};

}  // namespace kavo::scene
