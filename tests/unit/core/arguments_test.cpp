// The argument checks' messages, as scripts see them: the method's own
// published name, the kind word and the position, optional arguments checked
// only when given, and the same message whichever way the call went in
// (plain numbers or the argument record).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/game_fixture.h"

namespace kavo::test {
namespace {

class Arguments : public GameFixture {
 protected:
  void SetUp() override {
    StartGame("Game = TGame.Create()\nGame.Debug = false\nm = TMesh.Create()\nd = TDummy.Create()\n");
    NewLog();
  }
};

TEST_F(Arguments, MessagesNameMethodKindAndPosition) {
  const std::string prefix = "Script Error: Calling object property failed: (Function (";
  struct Case {
    const char* call;
    const char* message;  // "" when the call passes its checks
  } cases[] = {
      // Kinds.
      {"Game.ShowMenu(1.5)", "ShowMenu) requires integer in first argument."},
      {"Game.ShowMenu('0')", "ShowMenu) requires integer in first argument."},
      {"Game.SetFogRGB(1, 'x', 3)", "SetFogRGB) requires number in second argument."},
      {"Game.SetTimer(1, 2)", "SetTimer) requires string in second argument."},
      {"Game.IsKeyDown(1.5)", "IsKeyDown) requires virtual key code in first argument."},
      {"Game.SetMouseTransparency('a')", "SetMouseTransparency) requires ordinal in first argument."},
      {"d.SetPosition(1, 2, {})", "SetPosition) requires float in third argument."},
      {"x = d.DistanceToPoint(3, 4, 0)", ""},
      {"x = d.DistanceToPoint(3, 4, true)", ""},  // booleans are ordinal, so numeric
      {"x = d.DistanceToPoint(3, 4, '0')", "DistanceToPoint) requires number in third argument."},
      // Positions, up to the fourth.
      {"Game.ProcessClick(1, 2, 'x')", "ProcessClick) requires integer in third argument."},
      {"Game.SetFogRGB('a', 'b', 'c')", "SetFogRGB) requires number in first argument."},
      // A missing required argument fails its own check.
      {"Game.SetFogRGB(1, 2)", "SetFogRGB) requires number in third argument."},
      {"Game.Ord()", "Ord) requires string in first argument."},
      // nil arrives as the integer 1: it passes an integer check.
      {"Game.SetShadowMode(nil)", ""},
      // Optional arguments: checked only when given.
      {"m.ApplyShader(0)", ""},
      {"m.ApplyShader(0, 1, 1.5)", "ApplyShader) requires integer in third argument."},
      {"Game.ReadLine('none')", ""},
      {"Game.ReadLine('none', 'x')", "ReadLine) requires integer in second argument."},
      {"d.RunAnimation(0, 5)", "RunAnimation) requires string in second argument, which is optional."},
      // The number path and the record path agree.
      {"Game.SetFogRGB(1, 2, 3)", ""},
      {"Game.SetFogRGB(1, 2, 3, 'extra')", ""},
      {"Game.ShowMenu(0, 'extra')", ""},
  };
  for (const Case& c : cases) {
    Run(c.call);
    auto log = NewLog();
    if (*c.message == '\0') {
      EXPECT_TRUE(log.empty()) << c.call << ": " << ::testing::PrintToString(log);
    } else {
      ASSERT_EQ(log.size(), 1u) << c.call << ": " << ::testing::PrintToString(log);
      EXPECT_EQ(log[0], prefix + c.message + ")!") << c.call;
    }
  }
}

TEST_F(Arguments, BoundResultsAndFailingBodies) {
  // Results of bound methods reach Lua as the conversion rules say: booleans
  // as 1 or 0, numbers, strings.
  Run("Game.LOG(Game.IsKeyDown(65) .. ' ' .. Game.Ord('A') .. ' ' .. Game.GetMeshName(0) .. '|')");
  EXPECT_EQ(NewLog(), (std::vector<std::string>{"0 65 m|"}));
  // A body that raises after its checks passed: one message, and the call
  // still yields its last argument.
  Run("x = Game.Get3DX(0/0, 1) Game.LOG(x)");
  EXPECT_EQ(NewLog(), (std::vector<std::string>{
                          "Script Error: Calling object property failed: (Invalid floating point operation)!", "1"}));
}

}  // namespace
}  // namespace kavo::test
