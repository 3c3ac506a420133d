// Drawing order through the null renderer, on a small copy of the engine's
// tree: background before the world, blended meshes after the opaque world
// farthest first, a direct-render callback in its place, HUD after it and
// the pointer last.
#include "scene/nodes.h"
#include "scene/renderer.h"
#include "scene/staticmesh.h"
#include "scene/view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kavo::scene;

namespace {

StaticMeshNode* Mesh(Node& parent, const std::string& name, glm::vec3 pos, bool blended) {
  auto* m = parent.CreateChild<StaticMeshNode>(name);
  m->SetUseMeshMaterials(false);
  m->material.blending = blended ? BlendingMode::Transparency : BlendingMode::Opaque;
  m->SetPosition(pos);
  return m;
}

class SceneDrawOrder : public ::testing::Test {
 protected:
  void SetUp() override {
    rootdummy = root.CreateChild<GroupNode>("rootdummy");
    rootdummy->SetSorting(SortRule::BlendedLast);
    renderable = rootdummy->CreateChild<GroupNode>("renderable");
    background = renderable->CreateChild<GroupNode>("background");
    scene = renderable->CreateChild<GroupNode>("scene");
    camera = scene->CreateChild<CameraNode>("MainCamera");
    camera->SetPosition(0, 0, -10);
    transparent = renderable->CreateChild<GroupNode>("transparent");
    transparent->SetSorting(SortRule::FarthestFirst);
    postdummy = rootdummy->CreateChild<GroupNode>("postdummy");
    postrender = postdummy->CreateChild<DirectRenderNode>("postrender");
    userhud = rootdummy->CreateChild<GroupNode>("userhud");
    userhud->SetSorting(SortRule::None);
    hud = rootdummy->CreateChild<GroupNode>("hud");
    hud->SetSorting(SortRule::None);
    cursor = hud->CreateChild<HudSpriteNode>("mousecursor");
    cursor->material.blending = BlendingMode::Transparency;
    view.SetRoot(&root);
    view.SetCamera(camera);
    view.SetSize(800, 600);
  }

  std::vector<std::string> Frame() {
    renderer.Render(view);
    return renderer.Drawn();
  }

  Node root{"root"};
  GroupNode *rootdummy, *renderable, *background, *scene, *transparent, *postdummy, *userhud, *hud;
  CameraNode* camera;
  DirectRenderNode* postrender;
  HudSpriteNode* cursor;
  View view;
  NullRenderer renderer;
};

}  // namespace

TEST_F(SceneDrawOrder, EngineTreeOrder) {
  background->CreateChild<HudSpriteNode>("backsprite");
  Mesh(*scene, "room", {0, 0, 0}, false);
  Mesh(*scene, "glass", {0, 0, 5}, true);   // blended inside an opaque group
  Mesh(*scene, "door", {0, 0, 2}, false);
  Mesh(*transparent, "near", {0, 0, -5}, true);
  Mesh(*transparent, "far", {0, 0, 50}, true);
  Mesh(*transparent, "mid", {0, 0, 10}, true);
  userhud->CreateChild<HudSpriteNode>("button");
  userhud->CreateChild<HudSpriteNode>("panel");

  const std::vector<std::string> want = {"backsprite", "room", "door", "glass", "far", "mid", "near",
                                         "postrender", "button", "panel", "mousecursor"};
  EXPECT_EQ(Frame(), want);

  // Under a tree-order parent, moving a sibling changes the drawing order;
  // a hidden node hides its subtree; moving the camera re-sorts by distance.
  userhud->Child(1)->MoveFirst();
  scene->Hide();
  camera->SetPosition(0, 0, 100);  // now "near" is farthest
  const std::vector<std::string> want2 = {"backsprite", "near", "mid", "far", "postrender", "panel", "button",
                                          "mousecursor"};
  EXPECT_EQ(Frame(), want2);
}

TEST_F(SceneDrawOrder, SortingIsInheritedAndNearestFirstIsStable) {
  auto* objects = scene->CreateChild<GroupNode>("objects");
  objects->SetSorting(SortRule::NearestFirst);
  auto* inner = objects->CreateChild<GroupNode>("inner");  // inherits nearest first
  inner->SetPosition(0, 0, 100);
  Mesh(*inner, "b", {0, 0, 20}, false);
  Mesh(*inner, "a", {0, 0, 0}, false);
  Mesh(*inner, "a2", {0, 0, 0}, false);  // same distance as "a": tree order kept
  Mesh(*objects, "close", {0, 0, 0}, false);
  EXPECT_EQ(Frame(), (std::vector<std::string>{"close", "a", "a2", "b", "postrender", "mousecursor"}));
}

TEST_F(SceneDrawOrder, DirectRenderCallbackRunsInPlaceWhenAsked) {
  std::vector<std::string> seen;
  postrender->callback = [&](DirectRenderContext& ctx) {
    EXPECT_FALSE(ctx.hasGL);
    EXPECT_EQ(ctx.view, &view);
    seen.push_back("callback");
  };
  Frame();
  EXPECT_TRUE(seen.empty()) << "the null renderer leaves callbacks alone by default";
  renderer.SetRunCallbacks(true);
  Frame();
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(view.FrameCount(), 2u);
}
