// The fixed scene tree every game runs in, the two 3D views that draw it
// and their renderers. Script objects hang their nodes under the named
// parents here; a node's place decides when it is drawn and how it sorts.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scene/glrenderer.h"
#include "scene/material.h"
#include "scene/node.h"
#include "scene/nodes.h"
#include "scene/renderer.h"
#include "scene/staticmesh.h"
#include "scene/view.h"

namespace kavo {

// The settings of a 3D view that scripts reach through the Game object.
struct TKavoViewSettings {
  int width = 800, height = 600;
  bool fogEnabled = true;
  float fogStart = 400.0f, fogEnd = 1000.0f;
  uint32_t fogColor = 0, backgroundColor = 0, ambientColor = 0;  // 0xBBGGRR
  bool lighting = true;
  std::string renderingReport = "Unknown";
};

class TKavoScene {
 public:
  // With useGL the views draw through OpenGL (a context must be current);
  // otherwise through the renderer that draws nothing.
  explicit TKavoScene(bool useGL);
  ~TKavoScene();

  scene::Node& Root() { return *root_; }
  scene::Node* Find(const std::string& name) const { return root_->FindChild(name); }

  // The three material libraries.
  scene::MaterialLibrary sharedMaterials, lightmaps, skyboxMaterials;

  // Named nodes the engine uses.
  scene::GroupNode *rootdummy, *renderable, *background, *sceneNode, *objects, *interest, *mousetargets,
      *cameratarget, *cameraposition, *editorcameratarget, *transparent, *menudummies, *postdummy, *userhud,
      *invInvarience, *invlight, *inventories, *hud, *speechtexts, *convdummy, *lights, *mousedummy,
      *debugdummy, *sceneshadows;
  scene::SphereNode* invlightcolors;
  scene::CameraNode *mainCamera, *editorCamera;
  scene::DirectRenderNode *postrender, *glDirectOpenGL1;
  scene::StaticMeshNode* walkpawns;
  scene::HudSpriteNode* mousecursor;
  scene::LineSetNode* pathfindinglines;
  // The room holder's nodes, made at start-up: the room model (under
  // sceneshadows, so the room receives shadows), the walk area (never
  // drawn), two groups nothing else uses and the path line set.
  scene::StaticMeshNode *roomModel, *walkArea;
  scene::GroupNode *roomGroup, *roomInnerGroup;
  scene::LineSetNode* pathLines;

  scene::View windowView, fullscreenView;
  // What scripts chose for the two views (Game.FogStart, Game.Width, ...).
  TKavoViewSettings windowSettings, fullscreenSettings;
  bool fullscreenActive = false;
  // The context offers the GLSL extensions shaders need.
  bool glslSupport = false;
  // The nodes the shadow volume casts shadows of (meshes with CastShadows).
  std::vector<scene::Node*> shadowOccluders;

  // Draws a frame of the active view with the settings scripts chose.
  void Render(bool halted);
  scene::View& ActiveView() { return fullscreenActive ? fullscreenView : windowView; }
  bool UsesGL() const { return gl_ != nullptr; }
  scene::Renderer& ActiveRenderer();
  // The renderer that draws nothing (always there, for tests and picking).
  scene::NullRenderer& NullRendererForTests() { return null_; }

 private:
  std::unique_ptr<scene::Node> root_;
  std::unique_ptr<scene::GLRenderer> gl_;
  scene::NullRenderer null_;
};

// A colour from the engine's 0xBBGGRR form.
glm::vec4 ColorFromBgr(uint32_t bgr);

}  // namespace kavo
