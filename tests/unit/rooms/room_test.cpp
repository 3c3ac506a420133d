// Rooms: the load sequence and its events, the files a room loads into the
// holder (model, walk area, navigation mesh, from disk or an archive), the
// navigation cells and their links, and the progress event.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

#include "archive/archive.h"
#include "game/kavogame.h"
#include "scene/collision.h"
#include "scene/staticmesh.h"
#include "scene/scenetree.h"
#include "support/game_fixture.h"
#include "support/pictures.h"
#include "world/kavoroom.h"

namespace kavo::test {
namespace {

// A floor of two triangles over x, y in [-10, 10] of the file, its height
// (file z) sloping: z = 1 + 0.1 x + 0.2 y. With texture coordinates.
std::string SlopedFloorObj() {
  std::ostringstream s;
  auto v = [&](float x, float y) { s << "v " << x << ' ' << y << ' ' << (1.0f + 0.1f * x + 0.2f * y) << "\n"; };
  v(-10, -10);
  v(10, -10);
  v(10, 10);
  v(-10, 10);
  s << "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/2 3/3\nf 1/1 3/3 4/4\n";
  return s.str();
}

const char* kFlatNoUv = "v -5 -5 0\nv 5 -5 0\nv 5 5 0\nf 1 2 3\n";

// Navigation mesh: a degenerate triangle (repeated corner), a collinear one,
// then three real triangles; the second and third share the edge
// (0.1,0,0)-(0,0.3,0), the third and fourth the edge (0.1,0,0)-(1,1,0.5).
const char* kNaviObj =
    "v 0.1 0 0\n"      // 1
    "v 0 0.3 0\n"      // 2
    "v -1 -1 0.25\n"   // 3
    "v 1 1 0.5\n"      // 4
    "v 2 2 1\n"        // 5 (collinear with 4 and 6)
    "v 3 3 1.5\n"      // 6
    "f 1 2 2\n"
    "f 4 5 6\n"
    "f 1 2 3\n"
    "f 2 1 4\n"
    "f 1 3 4\n";

std::vector<std::string> Events(const std::vector<std::string>& log) {
  std::vector<std::string> out;
  for (const std::string& l : log)
    if (l.rfind("Room Manager:", 0) == 0 || l.rfind("event ", 0) == 0 || l.rfind("Script Error:", 0) == 0 ||
        l.rfind("Unable", 0) == 0)
      out.push_back(l);
  return out;
}

uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

class Rooms : public GameFixture {
 protected:
  void SetUp() override {
    dir.Write("data/rooms/floor.obj", SlopedFloorObj());
    dir.Write("data/rooms/flat.obj", kFlatNoUv);
    dir.Write("data/rooms/navi.obj", kNaviObj);
    std::string handlers;
    for (const char* room : {"hall", "yard"}) {
      std::string r = room;
      handlers = "function on" + r + "Load() Game.LOG('event on" + r + "Load') end\n" + "function on" + r +
                 "Unload() Game.LOG('event on" + r + "Unload') end\n";
      if (r == "hall") handlers += "function onhallProgress() Game.LOG('event onhallProgress') end\n";
      dir.Write("data/scripts/" + r + ".txt", handlers);
    }
    StartGame(
        "Game = TGame.Create()\nGame.Debug = false\n"
        "function room(n, script) local r = TRoom.Create() r.Name = n r.FileName = 'rooms/floor.obj' "
        "r.ScriptFile = script return r end\n"
        "hall = room('hall', 'hall.txt') yard = room('yard', 'yard.txt') bare = room('bare', '')\n");
    NewLog();
  }
  TKavoRoom& Holder() { return *form->roomHolder; }
};

TEST_F(Rooms, LoadEventSequences) {
  const std::vector<std::string> hallFirst = {"Room Manager: Loading Room (hall)", "event onhallLoad"};
  struct Case {
    const char* what;
    std::vector<std::string> loads;
    std::vector<std::string> expected;
    const char* previous;
  } cases[] = {
      {"first load", {"hall"}, hallFirst, ""},
      {"switching rooms",
       {"hall", "yard"},
       {hallFirst[0], hallFirst[1], "Room Manager: Unloading Room (hall)", "event onhallUnload",
        "Room Manager: Loading Room (yard)", "event onyardLoad"},
       "hall"},
      {"the same room twice",
       {"hall", "hall"},
       {hallFirst[0], hallFirst[1], "Room Manager: Unloading Room (hall)", "Room Manager: Loading Room (hall)"},
       "hall"},
      {"a room without a script",
       {"bare"},
       {"Room Manager: Loading Room (bare)",
        "Room Manager: Warning, room script file was not defined when loading room (bare)"},
       ""},
      {"A to B without a script to A",
       {"hall", "bare", "hall"},
       {hallFirst[0], hallFirst[1], "Room Manager: Unloading Room (hall)", "event onhallUnload",
        "Room Manager: Loading Room (bare)",
        "Room Manager: Warning, room script file was not defined when loading room (bare)",
        "Room Manager: Loading Room (hall)", "event onhallLoad"},
       "bare"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    form.reset();
    platform = TTestPlatform();
    seen_ = 0;
    SetUp();
    Run("Game.Debug = true");
    for (const std::string& r : c.loads) Run(r + ".Load()");
    EXPECT_EQ(Events(NewLog()), c.expected);
    EXPECT_TRUE(platform.dialogs.empty());
    EXPECT_EQ(form->Game()->PreviousRoom, c.previous);
    EXPECT_EQ(Holder().Name(), c.loads.back());
    EXPECT_TRUE(Holder().Loaded());
    EXPECT_TRUE(form->cadencer->Enabled());
  }
}

TEST_F(Rooms, LoadCountsAndTheSecondLoadKeepsTheProgressFlag) {
  Run("hall.Load() hall.Load() Game.LOG(hall.LoadCount) Game.LOG(yard.LoadCount)");
  auto log = NewLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "2");
  EXPECT_EQ(log.back(), "0");
  EXPECT_TRUE(Holder().progressEnabled);
}

TEST_F(Rooms, FailedLoadsLeaveThePreviousRoomCurrentAndTheClockRunning) {
  Run("hall.Load()");
  NewLog();
  struct Case {
    const char* setup;
    std::vector<std::string> expected;
  } cases[] = {
      {"yard.Name = '1yard'", {"Script Error: Calling object property failed: ('1yard' is not a valid component name)!"}},
      {"yard.Name = 'yard' yard.FileName = 'rooms/missing.obj'",
       {"Room Manager: Unloading Room (hall)", "event onhallUnload", "Room Manager: Loading Room (yard)",
        "Script Error: Calling object property failed: (rooms/missing.obj)!"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setup);
    Run(c.setup);
    Run("yard.Load()");
    EXPECT_EQ(Events(NewLog()), c.expected);
    EXPECT_EQ(Holder().Name(), "hall");
    EXPECT_EQ(Holder().ScriptFile(), "hall.txt");
    EXPECT_EQ(Holder().modelFile, "rooms/floor.obj");
    EXPECT_TRUE(form->cadencer->Enabled());
    Run("Game.LOG(yard.LoadCount)");
    EXPECT_EQ(NewLog(), std::vector<std::string>{"0"});
  }
  // With Debug on the error is fatal, numbered 30.
  Run("Game.Debug = true yard.Load()");
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].number, 30);
}

TEST_F(Rooms, DownwardRayHitsTheModelAtTheSlopedHeight) {
  Run("hall.Load()");
  ASSERT_TRUE(Holder().HasModel());
  // File z is world y; file y is world -z.
  struct Case {
    float x, z;
  } cases[] = {{0, 0}, {2, -3}, {-7.5f, 4}, {9, 9}};
  for (const Case& c : cases) {
    scene::Ray ray{{c.x, 100.0f, c.z}, {0, -1, 0}};
    auto hit = Holder().Model().RayIntersect(ray);
    ASSERT_TRUE(hit.has_value()) << c.x << "," << c.z;
    const float fileY = -c.z;
    EXPECT_NEAR(hit->point.y, 1.0f + 0.1f * c.x + 0.2f * fileY, 1e-4f) << c.x << "," << c.z;
  }
  EXPECT_FALSE(Holder().Model().RayIntersect({{20.0f, 100.0f, 0.0f}, {0, -1, 0}}).has_value());
}

TEST_F(Rooms, WalkAreaCopiedFromTheModelIsAStaticBodyAndStaysForRoomsWithoutOne) {
  EXPECT_FALSE(Holder().HasWalkArea());
  Run("hall.WalkArea = hall.FileName hall.Load()");
  ASSERT_TRUE(Holder().HasWalkArea());
  EXPECT_EQ(Holder().WalkArea().Data().objects.size(), Holder().Model().Data().objects.size());
  EXPECT_FALSE(Holder().WalkArea().Visible());
  const scene::StaticBodyDesc* desc = form->collisions->Desc(Holder().WalkAreaBody());
  ASSERT_NE(desc, nullptr);
  EXPECT_EQ(desc->bounce, 0.5f);
  EXPECT_EQ(desc->friction, 10.0f);
  EXPECT_EQ(desc->layer, 0);
  auto hit = form->collisions->CastRay({{2.0f, 50.0f, -3.0f}, {0, -1, 0}}, 100.0f);
  ASSERT_TRUE(hit.has_value());
  EXPECT_NEAR(hit->point.y, 1.0f + 0.2f + 0.6f, 1e-4f);

  // A room without a walk area keeps the previous one, body and all.
  const uint32_t body = Holder().WalkAreaBody();
  Run("yard.FileName = 'rooms/flat.obj' yard.Load()");
  EXPECT_EQ(Holder().WalkAreaBody(), body);
  EXPECT_TRUE(form->collisions->HasBody(body));
  EXPECT_EQ(form->collisions->BodyCount(), 1u);
}

TEST_F(Rooms, MissingWalkAreaAndNavigationMeshErrorOnlyWithoutAnyWalkArea) {
  Run("hall.WalkArea = 'rooms/nowalk.obj' hall.Load()");
  EXPECT_EQ(Events(NewLog()), (std::vector<std::string>{
                                  "Room Manager: Loading Room (hall)",
                                  "Unable to load walkarea rooms/nowalk.obj File not found",
                                  "Script Error: Calling object property failed: (rooms/nowalk.obj)!"}));
  Run("bare.NaviMesh = 'rooms/nonav.obj' bare.Load()");
  EXPECT_EQ(Events(NewLog()).back(), "Script Error: Calling object property failed: (rooms/nonav.obj)!");

  // Once a walk area exists, both are only logged.
  Run("yard.WalkArea = yard.FileName yard.Load()");
  NewLog();
  Run("hall.NaviMesh = 'rooms/nonav.obj' hall.Load()");
  auto log = Events(NewLog());
  EXPECT_NE(std::find(log.begin(), log.end(), "Unable to load walkarea rooms/nowalk.obj File not found"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Unable to load navigation mesh rooms/nonav.obj File not found"),
            log.end());
  EXPECT_EQ(log.back(), "event onhallLoad");
  EXPECT_EQ(Holder().Name(), "hall");
}

TEST_F(Rooms, TangentSpaceFailureIsOnlyLogged) {
  Run("bare.FileName = 'rooms/flat.obj' bare.Load()");
  auto log = Events(NewLog());
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "Unable to build TangentSpace (normals and binormals) for room model. Probably a meshobject "
                      "with no UV coordinates in rooms/flat.obj"),
            log.end());
  EXPECT_TRUE(Holder().HasModel());
  EXPECT_TRUE(Holder().Loaded());
}

TEST_F(Rooms, NavigationCellsKeepFileOrderAndExactCoordinatesAndDropDegenerates) {
  Run("hall.NaviMesh = 'rooms\\\\navi.obj' hall.Load()");
  const auto& cells = Holder().cells;
  ASSERT_EQ(cells.size(), 3u);
  // File vertex (x, y, z) is floor point (x, z, -y), bit for bit.
  auto floor = [](float x, float y, float z) { return glm::vec3(x, z, -y); };
  const glm::vec3 v1 = floor(0.1f, 0, 0), v2 = floor(0, 0.3f, 0), v3 = floor(-1, -1, 0.25f), v4 = floor(1, 1, 0.5f);
  const glm::vec3 expected[3][3] = {{v1, v2, v3}, {v2, v1, v4}, {v1, v3, v4}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(cells[i].index, i);
    for (int k = 0; k < 3; ++k)
      for (int axis = 0; axis < 3; ++axis)
        EXPECT_EQ(Bits(cells[i].Vertex(k)[axis]), Bits(expected[i][k][axis])) << i << " " << k << " " << axis;
  }
  // Cell 0 (v1 v2 v3) and cell 1 (v2 v1 v4) share v1-v2; cell 0 and cell 2
  // (v1 v3 v4) share v3-v1; cells 1 and 2 share v1-v4.
  EXPECT_EQ(cells[0].links[0], 1);
  EXPECT_EQ(cells[0].links[2], 2);
  EXPECT_EQ(cells[1].links[0], 0);
  EXPECT_EQ(cells[1].links[1], 2);
  EXPECT_EQ(cells[2].links[0], 0);
  EXPECT_EQ(cells[2].links[2], 1);
  EXPECT_EQ(cells[0].links[1], -1);
  EXPECT_FLOAT_EQ(Holder().PathLines().lineWidth, 2.0f);

  // Loading the room again replaces the cells, also without a model file.
  Run("hall.FileName = '' hall.Load() hall.Load()");
  EXPECT_EQ(Holder().cells.size(), 3u);
}

TEST_F(Rooms, PlannedRoutesShowInThePathLines) {
  Run("hall.Load()");
  ASSERT_TRUE(Holder().cells.empty());
  Holder().PathLines().points = {glm::vec3(5.0f)};
  const glm::vec3 start(1, 0, 2), goal(4, 1, 6);
  EXPECT_EQ(Holder().PlanRoute(start, goal), (std::vector<glm::vec3>{start, goal}));  // no cells: straight
  EXPECT_EQ(Holder().PathLines().points, (std::vector<glm::vec3>{start, goal}));

  // Over the cells of a navigation mesh: from cell 0 to a point off the mesh
  // (which ends at the nearest centre), and the locating grid follows a new
  // mesh.
  Run("hall.NaviMesh = 'rooms/navi.obj' hall.Load()");
  ASSERT_EQ(Holder().cells.size(), 3u);
  const glm::vec3 from = Holder().cells[0].centre * glm::vec3(1, 0, 1);
  const std::vector<glm::vec3> route = Holder().PlanRoute(from, glm::vec3(0.9f, 0.5f, -2));
  ASSERT_GE(route.size(), 2u);
  EXPECT_EQ(route.front(), from);
  EXPECT_EQ(route.back(), Holder().cells[1].centre);
  EXPECT_EQ(Holder().PathLines().points, route);

  dir.Write("data/rooms/far.obj", "v 100 0 0\nv 101 0 0\nv 100 1 0\nf 1 2 3\n");
  Run("hall.NaviMesh = 'rooms/far.obj' hall.Load()");
  ASSERT_EQ(Holder().cells.size(), 1u);
  glm::vec3 p(100.2f, 0, -0.2f);
  EXPECT_EQ(Holder().navigation.Locate(p), 0);
  EXPECT_EQ(p, glm::vec3(100.2f, 0, -0.2f));
}

TEST_F(Rooms, WalkAreaAndNavigationMeshLoadFromArchives) {
  dir.Write("data/pack.kvo",
            BuildKavoArchive(TKavoPackMethod::Block, {{"walk.obj", SlopedFloorObj()}, {"navi.obj", kNaviObj}}));
  Run("yard.FileName = 'pack/walk.obj' yard.WalkArea = 'pack\\\\walk.obj' yard.NaviMesh = 'pack/navi.obj' yard.Load()");
  auto log = Events(NewLog());
  EXPECT_EQ(log, (std::vector<std::string>{"Room Manager: Loading Room (yard)", "event onyardLoad"}));
  EXPECT_TRUE(Holder().HasModel());
  EXPECT_TRUE(Holder().HasWalkArea());
  EXPECT_EQ(Holder().WalkArea().Data().objects.size(), 1u);
  EXPECT_EQ(Holder().cells.size(), 3u);
}

// Textures named in another letter case than on disk (as 3DS files name
// them, upper-case 8.3) are found, loose and in archives; a missing one and
// a broken one are reported in the room's words.
TEST_F(Rooms, TexturesInAnyCaseAndTheRoomsOwnTextureMessages) {
  const std::string png = EncodePng(1, 1, {200, 100, 50, 255});
  const std::string obj = "mtllib Floor.MTL\n" + SlopedFloorObj().insert(0, "usemtl tiles\n");
  dir.Write("data/rooms/cased/floor.obj", obj);
  dir.Write("data/rooms/cased/floor.mtl", "newmtl tiles\nmap_Kd TEST.PNG\n");
  dir.Write("data/rooms/cased/test.png", png);
  dir.Write("data/packed.kvo", BuildKavoArchive(TKavoPackMethod::Stored, {{"floor.obj", obj},
                                                                            {"floor.mtl", "newmtl tiles\nmap_Kd TEST.PNG\n"},
                                                                            {"test.png", png}}));
  for (const char* file : {"rooms/cased/floor.obj", "packed/floor.obj"}) {
    Run(std::string("hall.FileName = '") + file + "' hall.Load()");
    EXPECT_FALSE(form->Context().halted) << file << ": " << ::testing::PrintToString(NewLog());
    const scene::Material* m = Holder().Model().Materials().Find("tiles");
    ASSERT_NE(m, nullptr) << file;
    EXPECT_EQ(m->texture.image.Width(), 1) << file;
  }
  EXPECT_TRUE(platform.dialogs.empty());

  // A texture that is really missing: the room's own dialog text.
  dir.Write("data/rooms/lost/floor.obj", obj);
  dir.Write("data/rooms/lost/floor.mtl", "newmtl tiles\nmap_Kd gone.png\n");
  Run("yard.FileName = 'rooms/lost/floor.obj' yard.Load()");
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].number, 11);
  EXPECT_EQ(platform.dialogs[0].text, "Room Manager: Couldn't find texture for room model yard");
}

TEST_F(Rooms, ATextureThatCannotBeDecodedSaysWhy) {
  dir.Write("data/rooms/bad/floor.obj", "mtllib floor.mtl\nusemtl tiles\n" + SlopedFloorObj());
  dir.Write("data/rooms/bad/floor.mtl", "newmtl tiles\nmap_Kd broken.png\n");
  dir.Write("data/rooms/bad/broken.png", std::string("\x89PNG\r\n\x1A\n", 8) + "cut short");
  Run("hall.FileName = 'rooms/bad/floor.obj' hall.Load()");
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].number, 11);
  EXPECT_EQ(platform.dialogs[0].text,
            "Room Manager: Couldn't load texture for room model hall: Texture (broken.png) couldn't be decoded: PNG "
            "header is cut short or has no IHDR");
  EXPECT_TRUE(LogHas(platform.dialogs[0].text));
}

TEST_F(Rooms, ProgressRunsUntilTheFunctionIsMissing) {
  Run("hall.Load()");
  NewLog();
  Holder().Progress();
  Holder().Progress();
  EXPECT_EQ(Events(NewLog()), (std::vector<std::string>{"event onhallProgress", "event onhallProgress"}));
  Run("yard.Load()");  // yard has no progress function
  NewLog();
  EXPECT_TRUE(Holder().progressEnabled);
  Holder().Progress();
  EXPECT_FALSE(Holder().progressEnabled);
  Run("yard.Load()");  // the same room: no load event, the flag stays off
  EXPECT_FALSE(Holder().progressEnabled);
  Run("hall.Load()");
  EXPECT_TRUE(Holder().progressEnabled);
  Run("hall.Visible = false");
  NewLog();
  Holder().Progress();
  EXPECT_TRUE(Events(NewLog()).empty());  // the room model is hidden
}

TEST_F(Rooms, DescriptionsShareTheOneRoomModelAndLeaveTheRegistry) {
  Run("hall.Load() yard.X = 5");
  EXPECT_EQ(Holder().Model().Position().x, 5.0f);
  EXPECT_EQ(form->Context().rooms.Count(), 3u);
  Run("yard.Destroy()");
  EXPECT_EQ(form->Context().rooms.Count(), 2u);
  EXPECT_TRUE(Holder().HasModel());
  Run("Game.LOG(bare.getval())");
  EXPECT_EQ(NewLog().back(), "5");
}

// The linking rule over every pair of cells, as a reference.
void LinkByPairs(std::vector<TNavigationCell>& cells) {
  for (size_t q = 0; q < cells.size(); ++q)
    for (size_t r = 0; r < cells.size(); ++r) {
      if (r == q) continue;
      for (int i = 0; i < 3; ++i) {
        if (cells[q].links[i] != -1) continue;
        glm::vec3 p0 = cells[q].Vertex(i), p1 = cells[q].Vertex((i + 1) % 3);
        int side = -1;
        for (int j = 0; j < 3 && side < 0; ++j) {
          glm::vec3 r0 = cells[r].Vertex(j), r1 = cells[r].Vertex((j + 1) % 3);
          if ((p0 == r0 && p1 == r1) || (p0 == r1 && p1 == r0)) side = j;
        }
        if (side < 0) continue;
        cells[r].links[side] = static_cast<int>(q);
        cells[q].links[i] = static_cast<int>(r);
        break;
      }
    }
}

TEST(NavigationCells, LinkingMatchesThePairwiseRuleOnSharedAndOverSharedEdges) {
  // A grid of squares split in two, plus extra triangles on grid edges (three
  // cells on one edge) and a -0 corner that equals +0.
  std::vector<glm::vec3> tris;
  const int n = 6;
  uint32_t seed = 7;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      glm::vec3 a(i, j, 0), b(i + 1, j, 0), c(i + 1, j + 1, 0), d(i, j + 1, 0);
      if (next() & 1) {
        tris.insert(tris.end(), {a, b, c, a, c, d});
      } else {
        tris.insert(tris.end(), {b, d, a, d, b, c});
      }
      if (next() % 4 == 0) tris.insert(tris.end(), {a, b, glm::vec3(i + 0.5f, j - 0.5f, 1.0f)});
    }
  tris.insert(tris.end(), {glm::vec3(-0.0f, 0, 0), glm::vec3(0, 1, 0), glm::vec3(-1, 0.5f, 0)});
  // Shuffle triangle order so the list order differs from the grid order.
  for (size_t t = tris.size() / 3 - 1; t > 0; --t) {
    size_t k = next() % (t + 1);
    for (int v = 0; v < 3; ++v) std::swap(tris[t * 3 + v], tris[k * 3 + v]);
  }
  auto fast = BuildNavigationCells(tris);
  auto reference = fast;
  LinkNavigationCells(fast);
  LinkByPairs(reference);
  ASSERT_EQ(fast.size(), tris.size() / 3);
  size_t linked = 0;
  for (size_t c = 0; c < fast.size(); ++c)
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(fast[c].links[i], reference[c].links[i]) << c << " " << i;
      linked += fast[c].links[i] != -1;
    }
  EXPECT_GT(linked, fast.size());
}

TEST(NavigationCells, ManyCellsOnOneEdgeAndRepeatedCellsLinkAsThePairwiseRule) {
  // 300 fins on one edge (the walk of each cell stops after its links, not
  // after every fin), the same triangle three times (sharing all its
  // edges), and fins that share a second edge with their neighbours.
  std::vector<glm::vec3> tris;
  for (int k = 0; k < 300; ++k) {
    glm::vec3 tip(0.5f, static_cast<float>(k % 7), 1.0f + static_cast<float>(k));
    if (k % 3 == 0)
      tris.insert(tris.end(), {glm::vec3(1, 0, 0), glm::vec3(0, 0, 0), tip});
    else
      tris.insert(tris.end(), {glm::vec3(0, 0, 0), glm::vec3(1, 0, 0), tip});
  }
  for (int k = 0; k < 3; ++k) tris.insert(tris.end(), {glm::vec3(5, 0, 0), glm::vec3(6, 0, 0), glm::vec3(5, 1, 0)});
  auto fast = BuildNavigationCells(tris);
  auto reference = fast;
  LinkNavigationCells(fast);
  LinkByPairs(reference);
  for (size_t c = 0; c < fast.size(); ++c)
    for (int i = 0; i < 3; ++i) EXPECT_EQ(fast[c].links[i], reference[c].links[i]) << c << " " << i;
}

TEST(NavigationCells, GeometryOfACell) {
  auto cells = BuildNavigationCells({{0, 0, 0}, {3, 0, 0}, {0, 0, 3}, {1, 1, 1}, {1, 1, 1}, {2, 2, 2}}, 4);
  ASSERT_EQ(cells.size(), 1u);
  const TNavigationCell& c = cells[0];
  EXPECT_EQ(c.index, 4);
  EXPECT_EQ(c.c, glm::vec3(0, 3, 0));  // file z up
  EXPECT_EQ(c.wallMidpoints[0], glm::vec3(1.5f, 0, 0));
  EXPECT_EQ(c.wallMidpoints[1], glm::vec3(1.5f, 1.5f, 0));
  EXPECT_EQ(c.wallMidpoints[2], glm::vec3(0, 1.5f, 0));
  EXPECT_FLOAT_EQ(c.wallDistances[0], 1.5f);
  EXPECT_FLOAT_EQ(c.wallDistances[1], 1.5f);
  EXPECT_FLOAT_EQ(c.wallDistances[2], std::sqrt(4.5f));
  EXPECT_EQ(c.centre, glm::vec3(1, 1, 0));
  EXPECT_EQ(c.arrivalWall, -1);
}

TEST(ComponentNames, Rule) {
  for (const char* ok : {"", "hall", "_x1", "Room_2"}) EXPECT_TRUE(IsValidComponentName(ok)) << ok;
  for (const char* bad : {"1hall", "hall room", "h-all", "hällo"}) EXPECT_FALSE(IsValidComponentName(bad)) << bad;
}

}  // namespace
}  // namespace kavo::test
