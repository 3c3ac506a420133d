// Pixels drawn by the GL renderer on a hidden offscreen window. The frame
// is read back before the swap. Skipped when no GL context can be made.
#include "scene/glrenderer.h"
#include "scene/animatedmesh.h"
#include "scene/fileaccess.h"
#include "scene/glwindow.h"
#include "scene/nodes.h"
#include "scene/speechfont.h"
#include "scene/staticmesh.h"
#include "scene/view.h"
#include "support/pictures.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace kavo::scene;

namespace {

constexpr int kSize = 64;

// A square of edge 2 in the node's x-y plane, texture coordinates (0,0) at
// its bottom-left corner and (1,1) at its top-right one.
MeshData Square() {
  MeshData d;
  MeshObject o;
  o.positions = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
  o.normals.assign(4, glm::vec3(0, 0, 1));
  o.texCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  o.faceGroups.push_back({"", {0, 1, 2, 0, 2, 3}});
  d.objects.push_back(o);
  return d;
}

class SceneGL : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!std::getenv("SDL_VIDEODRIVER")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    window_ = new GLWindow;
    GLWindowOptions o;
    o.width = o.height = kSize;
    o.hidden = true;
    if (!window_->Create(o, error_)) {
      delete window_;
      window_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete window_;
    window_ = nullptr;
  }

  void SetUp() override {
    if (!window_ || !window_->MakeCurrent()) GTEST_SKIP() << "no GL context: " << error_;
    root = std::make_unique<Node>("root");
    rootdummy = root->CreateChild<GroupNode>("rootdummy");
    rootdummy->SetSorting(SortRule::BlendedLast);
    camera = rootdummy->CreateChild<CameraNode>("cam");
    camera->SetPosition(0, 0, 1);
    camera->SetDirection({0, 0, -1});  // screen right is world +x, screen up world +y
    camera->SetFocalLength(90);        // a square of edge 2 at distance 1 fills the view
    camera->SetNearPlaneBias(0.1f);
    camera->SetDepthOfView(200);
    view.SetRoot(root.get());
    view.SetCamera(camera);
    view.SetSize(kSize, kSize);
    view.lighting = false;
    view.SetCaptureFrames(true);
  }
  void TearDown() override { root.reset(); }  // GL buffers go while the context is current

  StaticMeshNode* Quad(Node& parent, const char* name, glm::vec4 colour, float z, float scale = 1.0f) {
    auto* m = parent.CreateChild<StaticMeshNode>(name);
    m->SetMeshData(Square());
    m->SetUseMeshMaterials(false);
    m->material.unlit = true;
    m->material.diffuse = colour;
    if (colour.a < 1.0f) m->material.blending = BlendingMode::Transparency;
    m->SetPosition(0, 0, z);
    m->SetScale(scale, scale, scale);
    return m;
  }

  // Pixel (x, y) of the last frame, y from the top.
  glm::ivec4 Pixel(int x, int y) const {
    const auto& px = view.LastFramePixels();
    size_t i = (static_cast<size_t>(y) * kSize + x) * 4;
    return {px[i], px[i + 1], px[i + 2], px[i + 3]};
  }
  void ExpectRGB(int x, int y, glm::ivec3 want, const char* what) const {
    glm::ivec4 p = Pixel(x, y);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[c], want[c], 8) << what << " channel " << c << " at " << x << "," << y;
  }
  void Frame() {
    renderer.Render(view);
    ASSERT_EQ(view.LastFramePixels().size(), size_t(kSize) * kSize * 4);
  }

  static GLWindow* window_;
  static std::string error_;
  std::unique_ptr<Node> root;
  GroupNode* rootdummy = nullptr;
  CameraNode* camera = nullptr;
  View view;
  GLRenderer renderer;
};

GLWindow* SceneGL::window_ = nullptr;
std::string SceneGL::error_;

}  // namespace

TEST_F(SceneGL, BackgroundColourAndReport) {
  view.background = {0.2f, 0.4f, 0.6f, 1.0f};
  Frame();
  ExpectRGB(0, 0, {51, 102, 153}, "corner");
  ExpectRGB(40, 50, {51, 102, 153}, "inside");
  EXPECT_TRUE(view.RenderingReport() == "Software" || view.RenderingReport() == "Hardware");
  EXPECT_EQ(view.FrameCount(), 1u);
}

TEST_F(SceneGL, FogColoursAFarQuadUnlessTheMaterialIgnoresFog) {
  StaticMeshNode* far = Quad(*rootdummy, "far", {1, 0, 0, 1}, -50, 60);
  view.fog.enabled = true;
  view.fog.start = 1;
  view.fog.end = 10;
  view.fog.color = {0, 1, 0, 1};
  Frame();
  ExpectRGB(32, 32, {0, 255, 0}, "fully fogged");
  far->material.ignoreFog = true;
  Frame();
  ExpectRGB(32, 32, {255, 0, 0}, "fog ignored");
  far->material.ignoreFog = false;
  view.fog.end = 200;  // linear: (end - d) / (end - start) of the surface colour remains
  Frame();
  const float f = (200.0f - 51.0f) / 199.0f;
  ExpectRGB(32, 32, {int(255 * f + 0.5f), int(255 * (1 - f) + 0.5f), 0}, "linear fog");
}

TEST_F(SceneGL, TexturedQuadKeepsThePictureUpright) {
  StaticMeshNode* q = Quad(*rootdummy, "tex", {1, 1, 1, 1}, 0);
  // Picture rows top first: red, green / blue, white.
  q->material.texture.image.SetPixels(2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255},
                                      false);
  q->material.texture.enabled = true;
  q->material.texture.mode = TextureMode::Modulate;
  q->material.diffuse = {1, 1, 1, 1};
  Frame();
  ExpectRGB(16, 16, {255, 0, 0}, "top-left");
  ExpectRGB(48, 16, {0, 255, 0}, "top-right");
  ExpectRGB(16, 48, {0, 0, 255}, "bottom-left");
  ExpectRGB(48, 48, {255, 255, 255}, "bottom-right");
  // Modulate multiplies with the material colour; replace ignores it.
  q->material.diffuse = {0.5f, 0.5f, 0.5f, 1};
  Frame();
  ExpectRGB(48, 48, {128, 128, 128}, "modulated");
  q->material.texture.mode = TextureMode::Replace;
  Frame();
  ExpectRGB(48, 48, {255, 255, 255}, "replaced");
}

TEST_F(SceneGL, HudSpriteOverTheWorldAfterAMessyCallback) {
  Quad(*rootdummy, "world", {1, 0, 0, 1}, 0, 2);
  auto* messy = rootdummy->CreateChild<DirectRenderNode>("messy");
  messy->callback = [](DirectRenderContext& ctx) {
    ASSERT_TRUE(ctx.hasGL);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ZERO, GL_ZERO);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glScalef(0, 0, 0);
  };
  auto* hud = rootdummy->CreateChild<GroupNode>("hud");
  auto* sprite = hud->CreateChild<HudSpriteNode>("sprite");
  sprite->SetXY(8, 12);  // centre, y from the top
  sprite->width = 16;
  sprite->height = 8;
  sprite->material.unlit = true;
  sprite->material.diffuse = {0, 0, 1, 1};
  Frame();
  ExpectRGB(8, 12, {0, 0, 255}, "sprite centre");
  ExpectRGB(1, 9, {0, 0, 255}, "sprite top-left area");
  ExpectRGB(8, 20, {255, 0, 0}, "below the sprite");
  ExpectRGB(40, 40, {255, 0, 0}, "world");

  // A half-transparent sprite blends over the world.
  sprite->material.diffuse = {0, 0, 1, 0.5f};
  sprite->material.blending = BlendingMode::Transparency;
  Frame();
  ExpectRGB(8, 12, {128, 0, 128}, "blended sprite");
}

TEST_F(SceneGL, HudSpriteBlackIsTransparentRepeatedAndFadedByAlpha) {
  // A picture of two black and two green texels, repeated twice across the
  // sprite: black columns let the world through (the HUD sprites' default
  // mode), green ones cover it; the material alpha fades the green.
  Quad(*rootdummy, "world", {1, 0, 0, 1}, 0, 2);
  auto* sprite = rootdummy->CreateChild<HudSpriteNode>("sprite");
  sprite->SetXY(8, 8);
  sprite->width = 16;
  sprite->height = 16;
  Material& m = sprite->material;
  m.unlit = true;
  m.diffuse = {1, 1, 1, 1};
  m.blending = BlendingMode::Transparency;
  m.texture.mode = TextureMode::Modulate;
  m.texture.enabled = true;
  m.texture.repeatX = 2;
  m.texture.image.SetPixels(4, 1, {0, 0, 0, 255, 0, 0, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255}, false);
  m.texture.image.SetFormat(TextureFormat::RGBA);
  m.SetAlphaMode(TextureAlphaMode::BlackTransparent);
  Frame();
  ExpectRGB(2, 8, {255, 0, 0}, "first black column");
  ExpectRGB(6, 8, {0, 255, 0}, "first green column");
  ExpectRGB(10, 8, {255, 0, 0}, "second black column");
  ExpectRGB(14, 8, {0, 255, 0}, "second green column");
  m.diffuse.a = 0.5f;
  Frame();
  ExpectRGB(6, 8, {128, 128, 0}, "green at half alpha");
  ExpectRGB(2, 8, {255, 0, 0}, "black stays clear");
}

TEST_F(SceneGL, HudTextDrawsEachCharacterAsAQuadOfItsWidth) {
  // A font whose glyph 'A' is 6 by 10 pixels of white; characters advance
  // by width + spacing (1); lines are 10 + 1 apart.
  BitmapFont font;
  font.data.charHeight = 10;
  font.data.widths['A'] = 6;
  font.data.rects['A'] = {0.0f, 1.0f, 1.0f, 0.0f};
  font.picture.SetPixels(4, 4, std::vector<uint8_t>(64, 255), false);
  font.picture.SetFormat(TextureFormat::RGBA);
  font.picture.SetAlphaMode(TextureAlphaMode::BlackTransparent);
  Quad(*rootdummy, "world", {0, 0, 1, 1}, 0, 2);
  auto* text = rootdummy->CreateChild<HudTextNode>("text");
  text->font = &font;
  text->colour = {1, 0, 0, 1};
  text->text = "AA\r\nA";
  text->hAlign = HudTextNode::HAlign::Left;
  text->vLayout = HudTextNode::VLayout::Top;
  text->SetXY(10, 10);
  auto* right = rootdummy->CreateChild<HudTextNode>("right");
  right->font = &font;
  right->colour = {0, 1, 0, 1};
  right->text = "A";
  right->hAlign = HudTextNode::HAlign::Right;
  right->vLayout = HudTextNode::VLayout::Bottom;
  right->SetXY(60, 60);
  Frame();
  ExpectRGB(12, 12, {255, 0, 0}, "first A");
  ExpectRGB(16, 12, {0, 0, 255}, "the spacing after it");
  ExpectRGB(19, 12, {255, 0, 0}, "second A");
  ExpectRGB(24, 12, {0, 0, 255}, "after the line");
  ExpectRGB(12, 20, {0, 0, 255}, "between the lines");
  ExpectRGB(12, 25, {255, 0, 0}, "second line");
  ExpectRGB(19, 25, {0, 0, 255}, "second line is one character");
  ExpectRGB(56, 55, {0, 255, 0}, "right-aligned, bottom-laid");
  ExpectRGB(61, 55, {0, 0, 255}, "right of its x");
  ExpectRGB(56, 61, {0, 0, 255}, "below its y");
}

TEST_F(SceneGL, RunTimeSpeechFontDrawsItsGlyphsAndLeavesBlackClear) {
  // A bar in the run-time font, red, over a blue background: ink inside the
  // character's quad, blue around the glyph (black is transparent) and
  // nothing past its advance.
  TGLSpeechFont font;
  view.background = {0, 0, 1, 1};
  auto* text = rootdummy->CreateChild<HudTextNode>("bar");
  text->font = &font;
  text->colour = {1, 0, 0, 1};
  text->text = "|";
  text->hAlign = HudTextNode::HAlign::Left;
  text->vLayout = HudTextNode::VLayout::Top;
  text->SetXY(20, 10);
  Frame();
  const int w = font.data.widths['|'], h = font.data.charHeight;
  ASSERT_LT(20 + w + 4, kSize);
  ASSERT_LT(10 + h + 2, kSize);
  int ink = 0;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const glm::ivec4 p = Pixel(x, y);
      const bool red = p.r > 128 && p.b < 128;
      if (!red) continue;
      ++ink;
      EXPECT_TRUE(x >= 20 && x < 20 + w && y >= 10 && y < 10 + h) << "ink outside the quad at " << x << "," << y;
    }
  EXPECT_GT(ink, 4);  // a bar some pixels high
  ExpectRGB(20, 10, {0, 0, 255}, "the glyph's margin is clear");
}

TEST_F(SceneGL, BlendedMeshBehindAnOpaqueOneStaysHidden) {
  // The blended quad comes first in the tree but is drawn after the opaque
  // one (blended last), behind it: only the uncovered part shows, blended.
  Quad(*rootdummy, "glass", {0, 1, 0, 0.5f}, -1, 3);
  StaticMeshNode* wall = Quad(*rootdummy, "wall", {1, 0, 0, 1}, 0);
  wall->SetPosition(-1, 0, 0);  // covers the left half of the view
  Frame();
  ExpectRGB(10, 32, {255, 0, 0}, "opaque in front");
  ExpectRGB(54, 32, {0, 128, 0}, "glass over the black background");
}

TEST_F(SceneGL, CameraOrientedLayerStaysInFrontOfTheCamera) {
  camera->SetDirection({-1, 0, 0});  // looking along -x now
  auto* layer = rootdummy->CreateChild<GroupNode>("inv_invarience");
  Quad(*layer, "item", {1, 0, 0, 1}, 1);  // one unit along the layer's z
  Frame();
  ExpectRGB(32, 32, {0, 0, 0}, "without the setting the item lies beside the view");
  layer->SetKeepsCameraOrientation(true);
  Frame();
  ExpectRGB(32, 32, {255, 0, 0}, "turned with the camera");
  ExpectRGB(2, 2, {255, 0, 0}, "filling the view");
}

TEST_F(SceneGL, CameraLayerIsNeverHiddenAndLitByItsOwnLightAlone) {
  // A world wall right in front of the eye, and an item farther away in a
  // camera-frame layer: the layer starts on a cleared depth buffer.
  view.lighting = true;
  view.ambient = {0, 0, 0, 1};
  Quad(*rootdummy, "wall", {0, 0, 1, 1}, 0.5f);
  auto* layer = rootdummy->CreateChild<GroupNode>("inv_invarience");
  layer->SetKeepsCameraOrientation(true);
  auto* light = layer->CreateChild<DirectRenderNode>("light");
  light->callback = [](DirectRenderContext& ctx) {
    LayerLight l;
    l.ambient = {0, 0.5f, 0, 1};
    l.diffuse = l.specular = {0, 0, 0, 1};
    ctx.layerLight = l;
  };
  StaticMeshNode* item = Quad(*layer, "item", {0, 0, 0, 1}, 5, 0.5f);
  item->material.unlit = false;
  item->material.ambient = {1, 1, 1, 1};
  item->material.diffuse = {0, 0, 0, 1};
  // A light some other code left on: it does not reach the layer.
  GLfloat red[4] = {0.5f, 0, 0, 1};
  glLightfv(GL_LIGHT1, GL_AMBIENT, red);
  glEnable(GL_LIGHT1);
  Frame();
  ExpectRGB(32, 32, {0, 128, 0}, "the item in front of the wall, in light 0's ambient only");
  ExpectRGB(2, 2, {0, 0, 255}, "the wall around it");
  EXPECT_TRUE(glIsEnabled(GL_LIGHT1)) << "the lights are back as they were after the layer";
  EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
  glDisable(GL_LIGHT1);
}

TEST_F(SceneGL, LightingUsesTheAmbientColourAndOtherKindsDraw) {
  view.lighting = true;
  view.ambient = {1, 1, 1, 1};
  StaticMeshNode* lit = Quad(*rootdummy, "lit", {0, 0, 0, 1}, -1, 3);
  lit->material.unlit = false;
  lit->material.ambient = {0.5f, 0.25f, 0, 1};  // no lights: ambient x material ambient only
  auto* sphere = rootdummy->CreateChild<SphereNode>("ball");
  sphere->SetPosition(0, 0, -0.5f);
  sphere->radius = 0.2f;
  sphere->material.unlit = true;
  sphere->material.diffuse = {0, 0, 1, 1};
  auto* lines = rootdummy->CreateChild<LineSetNode>("line");
  lines->points = {{-1, -0.75f, 0}, {1, -0.75f, 0}};  // a horizontal line near the bottom
  lines->color = {0, 1, 0, 1};
  lines->lineWidth = 3;
  Frame();
  ExpectRGB(5, 5, {128, 64, 0}, "ambient-lit quad");
  ExpectRGB(32, 32, {0, 0, 255}, "sphere");
  ExpectRGB(32, 56, {0, 255, 0}, "line");
  lines->Hide();
  Frame();
  ExpectRGB(32, 56, {128, 64, 0}, "hidden line");
}

namespace {
// A GLSL program that draws with the built-in matrices and material state
// the renderer keeps current, swapping red and blue.
class SwapShader : public MaterialShader {
 public:
  SwapShader() {
    const char* vs = "#version 120\nvoid main() { gl_Position = ftransform(); }\n";
    const char* fs = "#version 120\nvoid main() { gl_FragColor = gl_FrontMaterial.diffuse.bgra; }\n";
    GLuint v = glCreateShader(GL_VERTEX_SHADER), f = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(v, 1, &vs, nullptr);
    glShaderSource(f, 1, &fs, nullptr);
    glCompileShader(v);
    glCompileShader(f);
    program = glCreateProgram();
    glAttachShader(program, v);
    glAttachShader(program, f);
    glLinkProgram(program);
    glDeleteShader(v);
    glDeleteShader(f);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    linked = ok != 0;
  }
  ~SwapShader() override { glDeleteProgram(program); }
  void Apply(Material&) override {
    ++applied;
    glUseProgram(program);
  }
  void UnApply(Material&) override {
    ++unapplied;
    glUseProgram(0);
  }
  GLuint program = 0;
  bool linked = false;
  int applied = 0, unapplied = 0;
};
}  // namespace

TEST_F(SceneGL, ShadersSeeTheBuiltInState) {
  if (epoxy_gl_version() < 20) GTEST_SKIP() << "no GLSL";
  auto shader = std::make_shared<SwapShader>();
  ASSERT_TRUE(shader->linked);
  StaticMeshNode* q = Quad(*rootdummy, "shaded", {1, 0, 0, 1}, 0);
  q->SetPosition(-1, 0, 0);  // left half only: the matrices reach the shader
  q->material.shader = shader;
  Frame();
  ExpectRGB(10, 32, {0, 0, 255}, "shaded half");
  ExpectRGB(54, 32, {0, 0, 0}, "untouched half");
  EXPECT_EQ(shader->applied, 1);
  EXPECT_EQ(shader->unapplied, 1);
  q->material.shader.reset();
}

TEST_F(SceneGL, AnimatedArmCoversOtherPixelsAtItsFrames) {
  // One bone at the origin; frame 1 turns it by 90 degrees about z. The
  // quad on it points right at frame 0 and up at frame 1.
  const std::string smd =
      "version 1\nnodes\n0 \"arm\" -1\nend\n"
      "skeleton\ntime 0\n0 0 0 0 0 0 0\ntime 1\n0 0 0 0 0 0 1.5707963267948966\nend\n"
      "triangles\n"
      "skin.png\n0 0.1 -0.1 0 0 0 1 0 0\n0 0.9 -0.1 0 0 0 1 1 0\n0 0.9 0.1 0 0 0 1 1 1\n"
      "skin.png\n0 0.1 -0.1 0 0 0 1 0 0\n0 0.9 0.1 0 0 0 1 1 1\n0 0.1 0.1 0 0 0 1 0 1\n"
      "end\n";
  const std::string png = kavo::test::EncodePng(1, 1, {255, 255, 255, 255});
  SetFileAccess(
      [&png](std::string_view name, std::string& out) {
        if (name != "skin.png") return false;
        out = png;
        return true;
      },
      [](std::string_view name) { return name == "skin.png"; });
  auto* arm = rootdummy->CreateChild<AnimatedMeshNode>("arm");
  arm->LoadAnimatedFromBytes("arm.smd", smd);
  ResetFileAccess();
  arm->SetUseMeshMaterials(false);
  arm->material.unlit = true;
  arm->material.diffuse = {1, 0, 0, 1};

  Frame();
  ExpectRGB(48, 32, {255, 0, 0}, "frame 0: arm to the right");
  ExpectRGB(32, 16, {0, 0, 0}, "frame 0: nothing above");
  arm->SetCurrentFrame(1);
  Frame();
  ExpectRGB(48, 32, {0, 0, 0}, "frame 1: nothing to the right");
  ExpectRGB(32, 16, {255, 0, 0}, "frame 1: arm raised");
  Frame();
  EXPECT_EQ(arm->PosingCount(), 2u) << "an unchanged pose is not made again";
}
