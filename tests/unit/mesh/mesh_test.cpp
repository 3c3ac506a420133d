// TMesh seen from scripts: the holders and their bookkeeping, IDs after a
// destroy, loading (errors, textures, archives, tangent space), the model
// part methods, collisions, the save line, and the rules that keep the
// holder tree sound (no mesh rides on itself, destroyed carriers hand their
// load back to the room).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "platform/files.h"
#include "scene/collision.h"
#include "scene/staticmesh.h"
#include "scene/view.h"
#include "scene/scenetree.h"
#include "support/game_fixture.h"
#include "support/pictures.h"
#include "hud/kavoinventory.h"
#include "visual/kavomesh.h"
#include "world/kavoactor.h"

namespace kavo::test {
namespace {

// Two mesh objects: "Lid" with face groups Wood and Metal, "Body" with one
// Metal group. Metal is textured with metal.png.
const char* const kBoxObj =
    "mtllib box.mtl\n"
    "o Lid\n"
    "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
    "vt 0 0\nvt 1 0\nvt 0 1\nvt 1 1\n"
    "usemtl Wood\nf 1/1 2/2 3/3\n"
    "usemtl Metal\nf 2/2 4/4 3/3\n"
    "o Body\n"
    "v 0 0 1\nv 1 0 1\nv 0 1 1\n"
    "vt 0 0\nvt 1 0\nvt 0 1\n"
    "usemtl Metal\nf 5/5 6/6 7/7\n";
const char* const kBoxMtl =
    "newmtl Wood\nKd 1 0 0\n"
    "newmtl Metal\nKd 0 0 1\nmap_Kd metal.png\n";
// No texture coordinates: tangent space cannot be built.
const char* const kFlatObj = "o Plate\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";

std::string PngBytes(const TempDir&, uint8_t alpha) {
  return EncodePng(2, 2, {10, 20, 30, alpha, 40, 50, 60, alpha, 70, 80, 90, alpha, 1, 2, 3, alpha});
}

class MeshTest : public GameFixture {
 protected:
  void SetUp() override {
    dir.Write("data/models/box.obj", kBoxObj);
    dir.Write("data/models/box.mtl", kBoxMtl);
    dir.Write("data/models/metal.png", PngBytes(dir, 255));
    dir.Write("data/models/flat.obj", kFlatObj);
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    NewLog();
  }
  TMeshClass& Mesh(size_t id) { return *static_cast<TMeshClass*>(form->Context().meshes.At(id)); }
  scene::Node* Parent(size_t id) { return Mesh(id).Node()->Parent(); }
  std::string Eval(const std::string& expr) {
    NewLog();
    Run("Game.LOG(" + expr + ")");
    auto log = NewLog();
    return log.empty() ? "<nothing>" : log.back();
  }
  std::vector<TMeshClass*>& Items(size_t inventory) { return form->Context().inventories.At(inventory)->items; }
  scene::Node* Grid(size_t inventory) { return form->Context().inventories.At(inventory)->ItemsNode(); }
};

TEST_F(MeshTest, CreatedInTheRoomWithItsDefaults) {
  Run("m = TMesh.Create()");
  TMeshClass& m = Mesh(0);
  EXPECT_EQ(Parent(0), form->scene->sceneNode);
  EXPECT_FLOAT_EQ(m.Node()->PitchAngle(), 90.0f);
  EXPECT_FLOAT_EQ(m.storedPitch, 90.0f);
  EXPECT_EQ(m.Node()->Hint(), "TMesh");
  EXPECT_EQ(m.Node()->Tag(), 0);
  EXPECT_EQ(m.MeshNode()->MaterialLibraryPtr(), &form->scene->sharedMaterials);
  EXPECT_TRUE(m.inRoom);
  EXPECT_EQ(Eval("m.InInventory .. ' ' .. m.InMeshAsChild .. ' ' .. tostring(m.Visible) .. ' ' .. m.ID"),
            "-1 -1 True 0");
  EXPECT_EQ(form->Context().nodeOwners.at(m.Node()), m.Handle());
}

// Each step moves mesh a to another holder; the row says where its node
// hangs and what the bookkeeping reads afterwards.
TEST_F(MeshTest, HolderTable) {
  Run("i0 = TInventory.Create() i1 = TInventory.Create() actor = TActor.Create()");
  Run("a = TMesh.Create() b = TMesh.Create()");
  TActorClass& actor = *form->Context().actors.At(0);
  scene::Node* firstHand = actor.HandNode(true);
  scene::Node* secondHand = actor.HandNode(false);
  struct Step {
    const char* lua;
    scene::Node* parent;
    bool inRoom;
    int inventory, carrier;
    const char* hand;
  } steps[] = {
      {"a.InInventory = 1", Grid(1), false, 1, -1, ""},
      {"a.MoveToActorsHand(0)", secondHand, false, 1, -1, "0"},
      {"a.MoveToActorsHand(0, false)", firstHand, false, 1, -1, "0,1"},
      {"a.MoveToInventory(0)", Grid(0), false, 0, -1, ""},
      {"a.MoveToMesh(1)", Mesh(1).Node(), false, 0, 1, ""},
      {"a.MoveToRoom()", form->scene->sceneNode, true, -1, -1, ""},
      {"a.InMeshAsChild = 1", Mesh(1).Node(), false, -1, 1, ""},
      {"a.InMeshAsChild = -1", form->scene->sceneNode, true, -1, -1, ""},
      {"a.MoveToActorsHand(0, 1)", firstHand, false, -1, -1, "0,1"},
      {"a.MoveToRoom()", form->scene->sceneNode, true, -1, -1, ""},
      {"a.EnableTransparency()", form->scene->transparent, true, -1, -1, ""},
      {"a.MoveToInventory(1)", Grid(1), false, 1, -1, ""},
      {"a.InInventory = -1", form->scene->sceneNode, true, -1, -1, ""},
  };
  dir.Write("data/models/box.obj", kBoxObj);
  Run("a.Load('models/box.obj')");
  for (const Step& s : steps) {
    Run(s.lua);
    TMeshClass& a = Mesh(0);
    EXPECT_EQ(a.Node()->Parent(), s.parent) << s.lua;
    EXPECT_EQ(a.inRoom, s.inRoom) << s.lua;
    EXPECT_EQ(a.InInventory, s.inventory) << s.lua;
    EXPECT_EQ(a.InMeshAsChild, s.carrier) << s.lua;
    EXPECT_EQ(a.handRecord, s.hand) << s.lua;
    // A mesh is in the item list of the inventory it names, and in no other.
    for (size_t i = 0; i < 2; ++i)
      EXPECT_EQ(std::count(Items(i).begin(), Items(i).end(), &a), s.inventory == static_cast<int>(i) ? 1 : 0)
          << s.lua << " inventory " << i;
  }
  for (const std::string& line : NewLog()) EXPECT_EQ(line.find("Error"), std::string::npos) << line;
}

TEST_F(MeshTest, HandsOfActors) {
  Run("for i = 0, 3 do TActor.Create() end m = TMesh.Create() m.Collisions = true");
  // One argument: the second hand; any second argument: the first.
  Run("m.MoveToActorsHand(3)");
  EXPECT_EQ(Parent(0), form->Context().actors.At(3)->HandNode(false));
  EXPECT_EQ(Mesh(0).handRecord, "3");
  EXPECT_EQ(Mesh(0).CollisionBody(), scene::kNoBody);
  Run("m.MoveToActorsHand(3, 0)");
  EXPECT_EQ(Mesh(0).handRecord, "3,1");
  EXPECT_EQ(Parent(0), form->Context().actors.At(3)->HandNode(true));
  NewLog();
  Run("m.MoveToActorsHand(4)");  // no such actor: a list error, nothing moves
  auto log = NewLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("List index out of bounds (4)"), std::string::npos) << log[0];
  EXPECT_EQ(Mesh(0).handRecord, "3,1");
}

TEST_F(MeshTest, InventoryBookkeeping) {
  Run("i0 = TInventory.Create() i1 = TInventory.Create() i2 = TInventory.Create()");
  Run("a = TMesh.Create() b = TMesh.Create()");
  NewLog();
  Run("a.MoveToInventory(0) b.MoveToInventory(0)");
  EXPECT_EQ(Items(0), (std::vector<TMeshClass*>{&Mesh(0), &Mesh(1)}));
  Run("a.MoveToInventory(1)");  // leaves 0, joins 1
  EXPECT_EQ(Items(0), (std::vector<TMeshClass*>{&Mesh(1)}));
  EXPECT_EQ(Items(1), (std::vector<TMeshClass*>{&Mesh(0)}));
  Run("a.MoveToInventory(1)");  // already there: only the node moves
  EXPECT_EQ(Items(1).size(), 1u);

  // Out of range: logged, nothing changes.
  Run("a.InInventory = 5");
  EXPECT_EQ(NewLog(), (std::vector<std::string>{"TMesh: Inventory index out of range"}));
  EXPECT_EQ(Mesh(0).InInventory, 1);

  // The hidden marker follows the node when the mesh enters an inventory.
  Run("b.Visible = false b.MoveToInventory(2)");
  EXPECT_EQ(Mesh(1).Node()->Tag(), 1);
  Run("b.Visible = true b.MoveToInventory(2)");
  EXPECT_EQ(Mesh(1).Node()->Tag(), 0);
  EXPECT_TRUE(Items(0).empty());

  // Back to the room through the property.
  Run("b.InInventory = -1");
  EXPECT_TRUE(Items(2).empty());
}

TEST_F(MeshTest, IdsFollowTheListAfterADestroy) {
  Run("m0 = TMesh.Create() m1 = TMesh.Create() m2 = TMesh.Create() m3 = TMesh.Create()");
  Run("m3.MoveToMesh(2)");  // m3 rides on m2
  Run("m0.Destroy()");
  EXPECT_EQ(Eval("m1.ID .. ' ' .. m2.ID .. ' ' .. m3.ID"), "0 1 2");
  Run("m2.ID = 7");
  EXPECT_EQ(Eval("m2.ID"), "1");
  // The carrier ID of m3 moves down with its carrier.
  EXPECT_EQ(Eval("m3.InMeshAsChild"), "1");
  EXPECT_EQ(Mesh(2).Node()->Parent(), Mesh(1).Node());
}

TEST_F(MeshTest, LoadFindsTexturesBesideTheModelAndBuildsTangentSpace) {
  Run("m = TMesh.Create()");
  NewLog();
  Run("m.Load('models/box.obj')");
  EXPECT_EQ(NewLog(), std::vector<std::string>{});
  const scene::MeshData& data = Mesh(0).MeshNode()->Data();
  ASSERT_EQ(data.objects.size(), 2u);
  EXPECT_EQ(data.objects[0].tangents.size(), data.objects[0].positions.size());
  EXPECT_EQ(data.objects[0].binormals.size(), data.objects[0].positions.size());
  const scene::Material* metal = form->scene->sharedMaterials.Find("Metal");
  ASSERT_NE(metal, nullptr);
  EXPECT_EQ(metal->texture.image.Width(), 2);
  EXPECT_EQ(form->Context().modelBeingLoaded, "");
  EXPECT_EQ(Files().CurrentDir(), form->DataFolder());

  // Loading again replaces the model.
  Run("m.Load('models/flat.obj')");
  EXPECT_EQ(NewLog(), (std::vector<std::string>{
                          "Unable to build TangentSpace (normals and binormals) for mesh model. Probably a "
                          "meshobject with no UV coordinates in models/flat.obj"}));
  EXPECT_EQ(Mesh(0).MeshNode()->Data().objects.size(), 1u);
}

TEST_F(MeshTest, LoadFromAnArchive) {
  dir.Write("data/props.kvo", BuildKavoArchive(TKavoPackMethod::Stored,
                                               {{"box.obj", kBoxObj}, {"box.mtl", kBoxMtl},
                                                {"metal.png", PngBytes(dir, 255)}}));
  form->Context().files.packedMode = true;  // as with a packed game: textures come from archives too
  Run("m = TMesh.Create()");
  NewLog();
  Run("m.Load('props/box.obj')");
  EXPECT_EQ(NewLog(), std::vector<std::string>{});
  EXPECT_EQ(Mesh(0).MeshNode()->Data().objects.size(), 2u);
  EXPECT_FALSE(form->Context().halted);
}

TEST_F(MeshTest, MissingModelIsError10WithThePath) {
  Run("Game.Debug = true m = TMesh.Create() m.Load('models/ghost.obj')");
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].number, 10);
  EXPECT_NE(platform.dialogs[0].text.find("models\\ghost.obj"), std::string::npos) << platform.dialogs[0].text;
}

TEST_F(MeshTest, MissingTextureIsError11OutsidePackedMode) {
  dir.Write("data/bare/box.obj", kBoxObj);
  dir.Write("data/bare/box.mtl", kBoxMtl);  // no metal.png beside it
  // Packed mode skips the check; the picture loader then reports the file.
  form->Context().files.packedMode = true;
  Run("m = TMesh.Create() m.Load('bare/box.obj')");
  EXPECT_FALSE(form->Context().halted);
  for (const std::string& line : NewLog()) EXPECT_EQ(line.find("Fatal Error"), std::string::npos) << line;

  form->Context().files.packedMode = false;
  NewLog();
  Run("n = TMesh.Create() n.Load('bare/box.obj')");
  const std::string text = "Mesh (bare/box.obj) depends texture (metal.png), which couldn't be found. Make sure "
                           "the directory of the mesh includes the needed texture.";
  EXPECT_TRUE(LogHas("Fatal Error: " + text));
  EXPECT_TRUE(form->Context().halted);
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].number, 11);
  EXPECT_EQ(platform.dialogs[0].text, text);
}

TEST_F(MeshTest, ModelParts) {
  Run("m = TMesh.Create() m.Load('models/box.obj')");
  TMeshClass& m = Mesh(0);
  auto group = [&](size_t a, size_t b) { return m.MeshNode()->Data().objects[a].faceGroups[b].materialName; };

  EXPECT_EQ(Eval("m.GetSubObjectID('Body') .. ' ' .. m.GetSubObjectID('Lid') .. ' ' .. m.GetSubObjectID('Nope')"),
            "1 0 -1");

  Run("m.ChangeMaterial('Unknown', 0, 1)");
  EXPECT_EQ(group(0, 1), "Metal");
  Run("m.ChangeMaterial('Wood', 0, 1)");
  EXPECT_EQ(group(0, 1), "Wood");
  Run("m.ChangeMaterial('Metal')");  // mesh object 0, face group 0
  EXPECT_EQ(group(0, 0), "Metal");

  Run("m.HideSubObject(1)");
  EXPECT_FALSE(m.MeshNode()->Data().objects[1].visible);
  Run("m.ShowSubObject(1)");
  EXPECT_TRUE(m.MeshNode()->Data().objects[1].visible);

  NewLog();
  Run("m.HideSubObject(5)");  // a bad index is a list error
  auto log = NewLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("List index out of bounds (5)"), std::string::npos) << log[0];
}

TEST_F(MeshTest, ChangeTextureReplacesTheMaterialsPicture) {
  dir.Write("data/pics/glass.png", PngBytes(dir, 128));
  Run("m = TMesh.Create() m.Load('models/box.obj')");
  const scene::Material& wood = *form->scene->sharedMaterials.Find("Wood");
  EXPECT_TRUE(wood.texture.image.Empty());
  Run("m.ChangeTexture('pics/glass.png')");
  EXPECT_EQ(wood.texture.image.Width(), 2);
  EXPECT_TRUE(wood.texture.image.HasAlpha());
  EXPECT_EQ(wood.texture.image.Pixels()[3], 128);  // alpha as stored
  EXPECT_EQ(wood.texture.image.Format(), scene::TextureFormat::RGBA);
  EXPECT_EQ(wood.texture.mode, scene::TextureMode::Modulate);
  EXPECT_TRUE(wood.texture.enabled);
  EXPECT_EQ(Files().CurrentDir(), form->DataFolder());
}

TEST_F(MeshTest, ApplyShaderWalksTheChosenFaceGroups) {
  Run("m = TMesh.Create() m.Load('models/box.obj')");
  using A = std::vector<std::string>;
  // Object and face group as ApplyShader takes them; -1 stands for all.
  EXPECT_EQ(Mesh(0).FaceGroupMaterials(1, -1), (A{"Metal"}));
  EXPECT_EQ(Mesh(0).FaceGroupMaterials(0, -1), (A{"Wood", "Metal"}));
  EXPECT_EQ(Mesh(0).FaceGroupMaterials(-1, -1), (A{"Wood", "Metal", "Metal"}));
  EXPECT_EQ(Mesh(0).FaceGroupMaterials(0, 1), (A{"Metal"}));
  EXPECT_THROW(Mesh(0).FaceGroupMaterials(2, -1), EKavoError);
  Run("m.ApplyShader(0, 1) m.ApplyShader(2) m.ApplyShader(2, 0, 1) m.UnApplyShader()");

  NewLog();
  Run("m.ApplyShader('x')");
  Run("m.ApplyShader(1, 0.5)");
  Run("m.ApplyShader(1, 0, 'y')");
  EXPECT_EQ(NewLog(), (std::vector<std::string>{
                          "Script Error: Calling object property failed: (Function (ApplyShader) requires integer in "
                          "first argument.)!",
                          "Script Error: Calling object property failed: (Function (ApplyShader) requires integer in "
                          "second argument.)!",
                          "Script Error: Calling object property failed: (Function (ApplyShader) requires integer in "
                          "third argument.)!"}));
}

TEST_F(MeshTest, CollisionsMakeAStaticBodyThatFollowsTheNode) {
  Run("i = TInventory.Create() m = TMesh.Create() m.Load('models/box.obj') m.Collisions = true");
  TMeshClass& m = Mesh(0);
  ASSERT_NE(m.CollisionBody(), scene::kNoBody);
  const scene::StaticBodyDesc* desc = form->collisions->Desc(m.CollisionBody());
  ASSERT_NE(desc, nullptr);
  EXPECT_FLOAT_EQ(desc->bounce, 10.0f);
  EXPECT_FLOAT_EQ(desc->friction, 0.0f);
  EXPECT_EQ(desc->layer, 0);
  EXPECT_TRUE(desc->solid);

  // Pitched by 90, the model's z axis points up: the Body triangle (model
  // z = 1) lies flat, one unit above the node. Moved up by 50, a ray from
  // above meets it at 51 once a frame has run.
  scene::Ray down{{0.3f, 100.0f, -0.3f}, {0.0f, -1.0f, 0.0f}};
  auto before = form->collisions->CastRay(down, 1000.0f);
  ASSERT_TRUE(before.has_value());
  EXPECT_NEAR(before->point.y, 1.0f, 1e-3f);
  Run("m.Y = 50");
  RunFrames(1);
  auto hit = form->collisions->CastRay(down, 1000.0f);
  ASSERT_TRUE(hit.has_value());
  EXPECT_NEAR(hit->point.y, 51.0f, 1e-3f);

  Run("m.MoveToInventory(0)");  // collisions go off
  EXPECT_EQ(m.CollisionBody(), scene::kNoBody);
  EXPECT_EQ(Eval("tostring(m.Collisions)"), "False");
  EXPECT_FALSE(form->collisions->CastRay(down, 1000.0f).has_value());
}

TEST_F(MeshTest, SaveEndsWithTheHandRecord) {
  Run("a = TActor.Create() b = TActor.Create() door = TMesh.Create()");
  Run("door.Save('door')");
  EXPECT_EQ(form->services.saveBuffer.back().rfind("door.SetRawRotations(", 0), 0u);
  Run("door.MoveToActorsHand(1, 0) door.Save('door')");
  EXPECT_EQ(form->services.saveBuffer.back(), "door.MoveToActorsHand(1,1);");
  Run("door.MoveToActorsHand(0) door.Save('door')");
  EXPECT_EQ(form->services.saveBuffer.back(), "door.MoveToActorsHand(0);");
  // The placement properties are saved too.
  EXPECT_NE(std::find(form->services.saveBuffer.begin(), form->services.saveBuffer.end(), "door.InMeshAsChild = -1;"),
            form->services.saveBuffer.end());
}

TEST_F(MeshTest, ShadowsAndTheOccluderList) {
  Run("i = TInventory.Create() m = TMesh.Create()");
  TMeshClass& m = Mesh(0);
  auto& occluders = form->scene->shadowOccluders;
  Run("m.CastShadows = true m.CastShadows = true");
  EXPECT_EQ(occluders, (std::vector<scene::Node*>{m.Node()}));
  Run("m.CastShadows = false");
  EXPECT_TRUE(occluders.empty());

  Run("m.ReceiveShadows = true");
  EXPECT_EQ(Parent(0), form->scene->sceneshadows);
  Run("m.ReceiveShadows = false");
  EXPECT_EQ(Parent(0), form->scene->sceneNode);

  // Not in the room: the write is ignored.
  Run("m.MoveToInventory(0) m.ReceiveShadows = true");
  EXPECT_EQ(Eval("tostring(m.ReceiveShadows)"), "False");
  EXPECT_EQ(Parent(0), Grid(0));
}

// ---------------------------------------------------------------- mends

TEST_F(MeshTest, NoMeshRidesOnItselfOrOnWhatItCarries) {
  Run("a = TMesh.Create() b = TMesh.Create() c = TMesh.Create()");
  Run("b.MoveToMesh(0) c.InMeshAsChild = 1");  // a carries b, b carries c
  NewLog();
  const char* refused[] = {"a.MoveToMesh(0)", "a.InMeshAsChild = 0", "a.MoveToMesh(2)", "a.InMeshAsChild = 1",
                           "b.InMeshAsChild = 2"};
  for (const char* lua : refused) {
    Run(lua);
    EXPECT_EQ(NewLog(), (std::vector<std::string>{"TMesh: A mesh cannot ride on itself or on a mesh it carries"}))
        << lua;
  }
  EXPECT_EQ(Parent(0), form->scene->sceneNode);
  EXPECT_EQ(Mesh(0).InMeshAsChild, -1);
  EXPECT_TRUE(Mesh(0).inRoom);
  EXPECT_EQ(Parent(1), Mesh(0).Node());
  EXPECT_EQ(Mesh(1).InMeshAsChild, 0);
  EXPECT_EQ(Parent(2), Mesh(1).Node());
}

TEST_F(MeshTest, ShadowReceiversComeBackUnderSceneShadows) {
  Run("i = TInventory.Create() actor = TActor.Create() carrier = TMesh.Create() m = TMesh.Create()");
  Run("m.ReceiveShadows = true");
  const char* trips[][2] = {
      {"m.MoveToInventory(0)", "m.MoveToRoom()"},
      {"m.MoveToInventory(0)", "m.InInventory = -1"},
      {"m.InMeshAsChild = 0", "m.InMeshAsChild = -1"},
      {"m.MoveToMesh(0)", "m.MoveToRoom()"},
      {"m.MoveToActorsHand(0)", "m.MoveToRoom()"},
  };
  for (const auto& trip : trips) {
    Run(trip[0]);
    EXPECT_NE(Parent(1), form->scene->sceneshadows) << trip[0];
    Run(trip[1]);
    EXPECT_EQ(Parent(1), form->scene->sceneshadows) << trip[1];
    EXPECT_TRUE(Mesh(1).inRoom) << trip[1];
    EXPECT_EQ(Mesh(1).InMeshAsChild, -1) << trip[1];
  }
  // Destroying the carrier also hands a receiver back to sceneshadows.
  Run("m.MoveToMesh(0) carrier.Destroy()");
  EXPECT_EQ(Parent(0), form->scene->sceneshadows);
}

TEST_F(MeshTest, WritingTheCurrentCarrierChangesNothing) {
  Run("i = TInventory.Create() carrier = TMesh.Create() m = TMesh.Create()");
  Run("m.MoveToInventory(0) m.InMeshAsChild = -1");
  EXPECT_EQ(Parent(1), Grid(0));
  EXPECT_FALSE(Mesh(1).inRoom);
  EXPECT_EQ(Mesh(1).InInventory, 0);
  EXPECT_EQ(Items(0).size(), 1u);
}

TEST_F(MeshTest, DestroyClearsEveryListAndFreesTheCarriedMeshes) {
  Run("i0 = TInventory.Create() i1 = TInventory.Create()");
  Run("box = TMesh.Create() box.Load('models/box.obj') box.Collisions = true box.CastShadows = true");
  Run("rider = TMesh.Create() rider.MoveToMesh(0) rider2 = TMesh.Create() rider2.InMeshAsChild = 0");
  Run("pocket = TMesh.Create() pocket.MoveToInventory(1) pocket.MoveToMesh(0)");
  Run("box.MoveToInventory(0)");
  Run("box.Collisions = true");
  TMeshClass& box = Mesh(0);
  TKavo_ScriptClass* boxObject = &box;
  const scene::Node* node = box.Node();
  const scene::BodyId body = box.CollisionBody();
  ASSERT_NE(body, scene::kNoBody);
  // Put it on inventory 1's list as well, as a stale entry would be.
  Items(1).push_back(&box);

  Run("box.Destroy()");
  EXPECT_FALSE(form->collisions->HasBody(body));
  EXPECT_TRUE(form->scene->shadowOccluders.empty());
  EXPECT_EQ(form->Context().nodeOwners.count(node), 0u);
  for (size_t i = 0; i < 2; ++i)
    EXPECT_EQ(std::count(Items(i).begin(), Items(i).end(), boxObject), 0) << i;

  // The riders live on, back in the room.
  ASSERT_EQ(form->Context().meshes.Count(), 3u);
  for (size_t id = 0; id < 3; ++id) {
    EXPECT_EQ(Parent(id), form->scene->sceneNode) << id;
    EXPECT_TRUE(Mesh(id).inRoom) << id;
    EXPECT_EQ(Mesh(id).InMeshAsChild, -1) << id;
    EXPECT_EQ(Mesh(id).InInventory, -1) << id;
  }
  EXPECT_TRUE(Items(1).empty());  // pocket left its inventory with the room trip
  EXPECT_EQ(Eval("rider.ID .. rider2.ID .. pocket.ID"), "012");
}

TEST_F(MeshTest, ScreenRectangle) {
  Run("m = TMesh.Create()");
  TMeshClass& m = Mesh(0);
  m.screenRect = {1, 2, 3, 4};
  NewLog();
  m.UpdateScreenRect();  // no model: no bounds
  EXPECT_EQ(NewLog(), (std::vector<std::string>{"Abstract Error: Unable to get boundaries for inventory Mesh"}));
  EXPECT_EQ(m.screenRect.left, 1);
  EXPECT_EQ(m.screenRect.bottom, 4);

  // In front of the camera the rectangle spans the projected model.
  Run("m.Load('models/box.obj')");
  form->scene->cameraposition->SetPosition(0.5f, 0.5f, -100.0f);
  form->scene->cameratarget->SetPosition(0.5f, 0.5f, 0.0f);
  RunFrames(1);
  const scene::View& view = form->scene->windowView;
  NewLog();
  m.UpdateScreenRect();
  EXPECT_EQ(NewLog(), std::vector<std::string>{});
  const glm::vec3 centre = view.Project(m.Node()->AbsolutePosition());
  const float yDown = static_cast<float>(view.Height()) - centre.y;
  EXPECT_LT(m.screenRect.left, m.screenRect.right);
  EXPECT_LT(m.screenRect.top, m.screenRect.bottom);
  EXPECT_LE(m.screenRect.left, centre.x + 1);
  EXPECT_GE(m.screenRect.right, centre.x - 1);
  EXPECT_LE(m.screenRect.top, yDown + 1);
  EXPECT_GE(m.screenRect.bottom, yDown - 1);
}

}  // namespace
}  // namespace kavo::test
