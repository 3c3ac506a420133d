#include "scene/scenetree.h"

#include <glm/gtc/matrix_transform.hpp>


namespace kavo {

using namespace scene;

glm::vec4 ColorFromBgr(uint32_t c) {
  return {(c & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, ((c >> 16) & 0xFF) / 255.0f, 1.0f};
}

namespace {

template <class T>
T* Add(Node& parent, const char* name) {
  return parent.CreateChild<T>(name);
}

// Both cameras draw with MainCamera's projection values: vertical field of
// view = its focal length, near = its near plane bias, far = its depth of
// view. A zero-height viewport (a minimised window) never divides by zero.
CameraNode::ProjectionFn SharedProjection(CameraNode* main) {
  return [main](const CameraNode&, int width, int height) {
    float aspect = static_cast<float>(width) / static_cast<float>(height > 0 ? height : 1);
    float nearPlane = main->NearPlaneBias() > 0 ? main->NearPlaneBias() : 0.1f;
    float farPlane = main->DepthOfView() > nearPlane ? main->DepthOfView() : nearPlane + 1.0f;
    return glm::perspective(glm::radians(main->FocalLength()), aspect, nearPlane, farPlane);
  };
}

}  // namespace

TKavoScene::TKavoScene(bool useGL) : root_(std::make_unique<Node>("scene root")) {
  if (useGL) gl_ = std::make_unique<GLRenderer>();
  // Without GL the engine's callbacks still run at their places: the
  // inventory pass measures the items on screen for the mouse tests.
  null_.SetRunCallbacks(true);
  rootdummy = Add<GroupNode>(*root_, "rootdummy");
  rootdummy->SetSorting(SortRule::BlendedLast);
  invlightcolors = Add<SphereNode>(*rootdummy, "invlightcolors");
  invlightcolors->radius = 0.5f;
  invlightcolors->Hide();
  invlightcolors->material.blending = BlendingMode::Transparency;
  invlightcolors->material.ambient = {1, 1, 1, 1};
  invlightcolors->material.diffuse = {1, 1, 1, 1};
  renderable = Add<GroupNode>(*rootdummy, "renderable");
  background = Add<GroupNode>(*renderable, "background");
  sceneNode = Add<GroupNode>(*renderable, "scene");
  editorCamera = Add<CameraNode>(*sceneNode, "EditorCamera");
  mainCamera = Add<CameraNode>(*sceneNode, "MainCamera");
  cameratarget = Add<GroupNode>(*sceneNode, "cameratarget");
  cameratarget->SetPosition(0, 10, 0);
  sceneshadows = Add<GroupNode>(*sceneNode, "sceneshadows");
  objects = Add<GroupNode>(*sceneNode, "objects");
  objects->SetSorting(SortRule::NearestFirst);
  interest = Add<GroupNode>(*objects, "interest");
  interest->SetCubeSize(10);
  mousetargets = Add<GroupNode>(*objects, "mousetargets");
  cameraposition = Add<GroupNode>(*sceneNode, "cameraposition");
  editorcameratarget = Add<GroupNode>(*sceneNode, "editorcameratarget");
  for (CameraNode* cam : {editorCamera, mainCamera}) {
    cam->SetDepthOfView(600);
    cam->SetFocalLength(60);
    cam->SetNearPlaneBias(0.1f);
    cam->SetProjection(SharedProjection(mainCamera));
  }
  mainCamera->SetTarget(cameratarget);
  editorCamera->SetTarget(editorcameratarget);
  transparent = Add<GroupNode>(*renderable, "transparent");
  transparent->SetSorting(SortRule::FarthestFirst);
  menudummies = Add<GroupNode>(*rootdummy, "menudummies");
  postdummy = Add<GroupNode>(*rootdummy, "postdummy");
  postrender = Add<DirectRenderNode>(*postdummy, "postrender");
  walkpawns = Add<StaticMeshNode>(*postdummy, "walkpawns");
  walkpawns->Hide();
  walkpawns->SetUseMeshMaterials(false);
  walkpawns->material.blending = BlendingMode::Additive;
  walkpawns->material.ambient = {0, 0.2f, 0.2f, 1};
  walkpawns->material.diffuse = {0, 0.8f, 0, 1};
  userhud = Add<GroupNode>(*rootdummy, "userhud");
  userhud->SetSorting(SortRule::None);
  invInvarience = Add<GroupNode>(*rootdummy, "inv_invarience");
  invInvarience->SetKeepsCameraOrientation(true);
  glDirectOpenGL1 = Add<DirectRenderNode>(*invInvarience, "GLDirectOpenGL1");
  invlight = Add<GroupNode>(*invInvarience, "invlight");
  invlight->SetPosition(-4, 5, 0);
  inventories = Add<GroupNode>(*invInvarience, "inventories");
  inventories->SetSorting(SortRule::NearestFirst);
  inventories->SetScale(0.2f, 0.2f, 0.2f);
  hud = Add<GroupNode>(*rootdummy, "hud");
  hud->SetSorting(SortRule::None);
  speechtexts = Add<GroupNode>(*hud, "speechtexts");
  convdummy = Add<GroupNode>(*hud, "convdummy");
  mousecursor = Add<HudSpriteNode>(*hud, "mousecursor");
  mousecursor->width = 64;
  mousecursor->height = 64;
  Material& mc = mousecursor->material;
  mc.blending = BlendingMode::Transparency;
  mc.ignoreFog = true;
  mc.unlit = true;
  mc.SetAlphaMode(TextureAlphaMode::FromSqrtLuminance);
  mc.texture.mode = TextureMode::Modulate;
  mc.texture.image.SetFormat(TextureFormat::RGBA);
  mc.depthWrite = false;
  mc.ambient = {1, 1, 1, 1};
  mc.diffuse = {1, 1, 1, 1};
  lights = Add<GroupNode>(*rootdummy, "Lights");
  mousedummy = Add<GroupNode>(*rootdummy, "Mousedummy");
  debugdummy = Add<GroupNode>(*rootdummy, "debugdummy");
  pathfindinglines = Add<LineSetNode>(*debugdummy, "pathfindinglines");

  roomModel = Add<StaticMeshNode>(*sceneshadows, "roommodel");
  roomModel->SetPitchAngle(90);
  roomModel->SetMaterialLibrary(&sharedMaterials);
  roomModel->SetLightmapLibrary(&lightmaps);
  walkArea = Add<StaticMeshNode>(*sceneNode, "walkarea");
  walkArea->SetPitchAngle(90);
  walkArea->SetMaterialLibrary(&sharedMaterials);
  walkArea->Hide();
  roomGroup = Add<GroupNode>(*sceneNode, "roomgroup");
  roomInnerGroup = Add<GroupNode>(*roomGroup, "roominnergroup");
  pathLines = Add<LineSetNode>(*sceneNode, "pathlines");
  pathLines->Hide();

  walkpawns->SetMaterialLibrary(&sharedMaterials);
  walkpawns->SetLightmapLibrary(&lightmaps);
  for (View* v : {&windowView, &fullscreenView}) {
    v->SetRoot(rootdummy);
    v->SetCamera(mainCamera);
    v->fog.enabled = true;
    v->fog.start = 400;
    v->fog.end = 1000;
    v->fog.color = {0, 0, 0, 1};
    v->background = {0, 0, 0, 1};
    v->ambient = {0, 0, 0, 1};
    v->SetSize(800, 600);
  }
}

TKavoScene::~TKavoScene() {
  // Nodes go before the libraries and renderers they use.
  root_.reset();
}

Renderer& TKavoScene::ActiveRenderer() {
  if (gl_) return *gl_;
  return null_;
}

void TKavoScene::Render(bool halted) {
  if (halted) return;
  // Both views get the game's fog, colours and lighting; each its own size:
  // the window view the client area's, the full-screen view the game's.
  const TKavoViewSettings& look = windowSettings;
  auto apply = [&look](View& v, const TKavoViewSettings& size) {
    v.fog.enabled = look.fogEnabled;
    v.fog.start = look.fogStart;
    v.fog.end = look.fogEnd;
    v.fog.color = ColorFromBgr(look.fogColor);
    v.background = ColorFromBgr(look.backgroundColor);
    v.ambient = ColorFromBgr(look.ambientColor);
    v.lighting = look.lighting;
    v.SetSize(size.width, size.height);
  };
  apply(windowView, windowSettings);
  apply(fullscreenView, fullscreenSettings);
  ActiveRenderer().Render(ActiveView());
}

}  // namespace kavo
