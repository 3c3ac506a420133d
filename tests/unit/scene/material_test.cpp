// Material library names, texture alpha modes on a tiny picture, and how a
// static mesh brings a model's materials and textures into a library.
#include "scene/fileaccess.h"
#include "platform/files.h"
#include "scene/material.h"
#include "scene/staticmesh.h"
#include "scene/view.h"
#include "core/errors.h"
#include "support/game_fixture.h"
#include "support/pictures.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

using namespace kavo::scene;

TEST(SceneMaterials, UniqueNamesAndLookup) {
  MaterialLibrary lib;
  EXPECT_EQ(lib.Add("wood").Name(), "wood");
  EXPECT_EQ(lib.Add("wood").Name(), "wood1");
  EXPECT_EQ(lib.Add("wood").Name(), "wood2");
  lib.Add("stone1");                           // takes the name "stone"+1 would get
  EXPECT_EQ(lib.Add("stone").Name(), "stone");
  EXPECT_EQ(lib.Add("stone").Name(), "stone2");  // smallest free suffix
  EXPECT_EQ(lib.Add("wood1").Name(), "wood11");
  EXPECT_EQ(lib.Add("").Name(), "");
  EXPECT_EQ(lib.Add("").Name(), "1");

  EXPECT_EQ(lib.IndexOf("wood2"), 2);
  EXPECT_EQ(lib.IndexOf("Wood"), -1) << "lookup is case-sensitive";
  EXPECT_EQ(lib.Find("stone2"), lib.At(5));
  EXPECT_EQ(lib.At(lib.Count()), nullptr);
  Material* first = lib.At(0);
  for (int i = 0; i < 100; ++i) lib.Add("many");
  EXPECT_EQ(lib.At(0), first) << "materials keep their address as the library grows";
  EXPECT_EQ(&lib.FindOrAdd("wood"), first);
  EXPECT_EQ(lib.Find("many99")->Name(), "many99");
}

namespace {

// 2 x 2 picture: white, black, mid grey with alpha 64, pure red.
Texture& TinyTexture(Texture& t, bool withAlpha) {
  std::vector<uint8_t> px = {255, 255, 255, 255, 0, 0, 0, 255, 128, 128, 128, 64, 255, 0, 0, 255};
  t.SetPixels(2, 2, px, withAlpha);
  return t;
}

uint8_t Alpha(const Texture& t, int i) { return t.Pixels()[i * 4 + 3]; }

}  // namespace

TEST(SceneTextures, AlphaModesAreDerivedFromTheKeptPicture) {
  struct Case {
    TextureAlphaMode mode;
    bool imageHasAlpha;
    uint8_t want[4];
  };
  const Case cases[] = {
      {TextureAlphaMode::Default, true, {255, 255, 64, 255}},
      {TextureAlphaMode::Default, false, {255, 255, 255, 255}},
      {TextureAlphaMode::Opaque, true, {255, 255, 255, 255}},
      {TextureAlphaMode::FromIntensity, true, {255, 0, 128, 85}},
      // sqrt of luminance: grey 128 -> sqrt(0.502) = 0.7085 -> 181; red: sqrt(0.299) -> 139
      {TextureAlphaMode::FromSqrtLuminance, true, {255, 0, 181, 139}},
      {TextureAlphaMode::FromLuminance, true, {255, 0, 128, 76}},
      {TextureAlphaMode::TopLeftTransparent, true, {0, 255, 64, 255}},
  };
  for (const Case& c : cases) {
    Texture t;
    TinyTexture(t, c.imageHasAlpha);
    t.SetAlphaMode(c.mode);
    for (int i = 0; i < 4; ++i)
      EXPECT_NEAR(Alpha(t, i), c.want[i], 1) << "mode " << int(c.mode) << " pixel " << i;
    EXPECT_EQ(t.Pixels()[8], 128) << "colours are never changed";
  }
  // Switching modes back and forth works on the kept picture, not on the
  // last derived one.
  Texture t;
  TinyTexture(t, true);
  t.SetAlphaMode(TextureAlphaMode::Opaque);
  EXPECT_EQ(Alpha(t, 2), 255);
  t.SetAlphaMode(TextureAlphaMode::Default);
  EXPECT_EQ(Alpha(t, 2), 64);
}

namespace {

// PNG bytes of a 2 x 1 picture, encoded in memory.
std::string PngBytes(bool alpha) {
  return kavo::test::EncodePng(2, 1, {10, 20, 30, 40, 200, 100, 50, 255}, alpha);
}

// In-memory scene files for the loading tests.
class SceneMemoryFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFileAccess(
        [this](std::string_view name, std::string& out) {
          opened.emplace_back(name);
          auto it = files.find(std::string(name));
          if (it == files.end()) return false;
          out = it->second;
          return true;
        },
        [this](std::string_view name) { return files.count(std::string(name)) > 0; });
  }
  void TearDown() override { ResetFileAccess(); }
  std::map<std::string, std::string> files;
  std::vector<std::string> opened;
};

}  // namespace

TEST_F(SceneMemoryFiles, TextureDecodesFromBytesAndFailsClearly) {
  Texture t;
  std::string error;
  ASSERT_TRUE(t.LoadFromBytes(PngBytes(true), "a.png", error)) << error;
  EXPECT_EQ(t.Width(), 2);
  EXPECT_EQ(t.Height(), 1);
  EXPECT_TRUE(t.HasAlpha());
  EXPECT_EQ(t.Pixels()[0], 10);
  EXPECT_EQ(t.Pixels()[3], 40);
  EXPECT_EQ(t.Pixels()[4], 200);

  ASSERT_TRUE(t.LoadFromBytes(PngBytes(false), "b.png", error)) << error;
  EXPECT_EQ(t.Pixels()[3], 255) << "no alpha channel: opaque";

  EXPECT_FALSE(t.LoadFromBytes("not a picture at all", "c.png", error));
  EXPECT_NE(error.find("c.png"), std::string::npos);
  EXPECT_TRUE(t.Empty());
  EXPECT_FALSE(t.LoadFromBytes("", "d.png", error));
  try {
    t.LoadFromFile("missing.png");
    FAIL() << "expected an error";
  } catch (const kavo::EKavoError& e) {
    EXPECT_EQ(e.Number(), kavo::kErrTexture);
  }
}

TEST_F(SceneMemoryFiles, MeshLoadAddsMaterialsAndAsksForTexturesInTheModelFolder) {
  files["models/box.obj"] =
      "mtllib box.mtl\n"
      "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
      "usemtl wood\nf 1/1 2/2 3/3\n";
  files["models/box.mtl"] = "newmtl wood\nKd 1 0 0\nmap_Kd wood.png\n";
  files["models/wood.png"] = PngBytes(true);

  MaterialLibrary lib;
  lib.Add("wood");  // taken: the model's material becomes wood1
  std::vector<std::string> needed;
  lib.SetTextureNeeded([&](const std::string& f) { needed.push_back(f); });
  StaticMeshNode mesh("box");
  mesh.SetMaterialLibrary(&lib);
  mesh.LoadFromFile("models/box.obj");

  EXPECT_EQ(needed, std::vector<std::string>{"wood.png"});
  ASSERT_EQ(lib.Count(), 2u);
  const Material* m = lib.At(1);
  EXPECT_EQ(m->Name(), "wood1");
  EXPECT_TRUE(m->Textured());
  EXPECT_EQ(m->texture.image.Width(), 2);
  ASSERT_EQ(mesh.Data().objects.size(), 1u);
  EXPECT_EQ(mesh.Data().objects[0].faceGroups[0].materialName, "wood1");
  EXPECT_EQ(mesh.FaceGroupMaterial(mesh.Data().objects[0].faceGroups[0]), m);
  EXPECT_NE(std::find(opened.begin(), opened.end(), "models/wood.png"), opened.end());

  // Own material switch.
  mesh.SetUseMeshMaterials(false);
  EXPECT_EQ(mesh.FaceGroupMaterial(mesh.Data().objects[0].faceGroups[0]), &mesh.material);
}

TEST_F(SceneMemoryFiles, MeshLoadErrors) {
  files["m/tex.obj"] = "mtllib t.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl t\nf 1 2 3\n";
  files["m/t.mtl"] = "newmtl t\nmap_Kd gone.png\n";
  MaterialLibrary lib;
  lib.SetTextureNeeded([](const std::string& f) {
    throw kavo::EKavoError("Mesh (m/tex.obj) depends texture (" + f + ")", kavo::kErrTexture);
  });
  StaticMeshNode mesh("m");
  mesh.SetMaterialLibrary(&lib);
  try {
    mesh.LoadFromFile("m/tex.obj");
    FAIL() << "the texture check must stop the load";
  } catch (const kavo::EKavoError& e) {
    EXPECT_EQ(e.Number(), kavo::kErrTexture);
    EXPECT_NE(e.Message().find("gone.png"), std::string::npos);
  }
  EXPECT_TRUE(mesh.Data().objects.empty());

  try {
    mesh.LoadFromFile("m/none.obj");
    FAIL() << "missing model";
  } catch (const kavo::EKavoError& e) {
    EXPECT_EQ(e.Number(), kavo::kErrModelFile);
  }
  try {
    mesh.LoadFromBytes("m/bad.3ds", "garbage");
    FAIL() << "corrupt model";
  } catch (const kavo::EKavoError& e) {
    // A file that is there but cannot be read as a model says why, unnumbered.
    EXPECT_EQ(e.Number(), kavo::kErrUnnumbered);
    EXPECT_NE(std::string(e.what()).find("3DS"), std::string::npos) << e.what();
  }
}

TEST(SceneMesh, RayIntersectAnswersInAbsoluteCoordinates) {
  MeshData data;
  MeshObject quad;
  quad.positions = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};  // the model's z-up floor
  quad.faceGroups.push_back({"", {0, 1, 2, 0, 2, 3}});
  data.objects.push_back(quad);
  Node root("root");
  auto* mesh = root.CreateChild<StaticMeshNode>("floor");
  mesh->SetMeshData(data);
  mesh->SetPitchAngle(90);  // model z becomes world y: the quad lies in the x-z plane
  mesh->SetScale(10, 10, 10);
  mesh->SetPosition(0, 2, 0);

  Ray down{{3, 50, 4}, {0, -1, 0}};
  auto hit = mesh->RayIntersect(down);
  ASSERT_TRUE(hit.has_value());
  EXPECT_NEAR(hit->point.x, 3, 1e-3);
  EXPECT_NEAR(hit->point.y, 2, 1e-3);
  EXPECT_NEAR(hit->point.z, 4, 1e-3);
  EXPECT_NEAR(hit->distance, 48, 1e-3);
  EXPECT_NEAR(std::fabs(hit->normal.y), 1, 1e-4);
  EXPECT_FALSE(mesh->RayIntersect({{30, 50, 4}, {0, -1, 0}}).has_value()) << "outside the scaled quad";
  mesh->SetScale(0, 0, 0);
  EXPECT_FALSE(mesh->RayIntersect(down).has_value());
}

TEST(SceneScreenshot, SavePNGWritesTheTopRowFirst) {
  const std::vector<uint8_t> px = {255, 0, 0, 255, 0, 255, 0, 255,   // top row: red, green
                                   0, 0, 255, 255, 9, 8, 7, 255};    // bottom row: blue, grey
  kavo::test::TempDir dir;
  const std::string path = dir.Path() + "shot.png";
  std::string error;
  ASSERT_TRUE(SavePNG(path, px, 2, 2, &error)) << error;
  std::string bytes;
  ASSERT_TRUE(kavo::Files().ReadFile(path, bytes));
  std::remove(path.c_str());
  Texture t;
  ASSERT_TRUE(t.LoadFromBytes(bytes, path, error)) << error;
  ASSERT_EQ(t.Width(), 2);
  ASSERT_EQ(t.Height(), 2);
  for (size_t i = 0; i < px.size(); ++i) EXPECT_EQ(t.Pixels()[i], px[i]) << i;
  EXPECT_FALSE(SavePNG(path, px, 3, 3, &error)) << "too few pixels";
  EXPECT_FALSE(SavePNG("/nonexistent-dir/x.png", px, 2, 2, &error));
}
