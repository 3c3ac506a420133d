// TConversation seen from scripts: a node laid out on four bound HUD texts
// with a pair of arrow sprites while it scrolls, the order of a slot's
// writes around its restyle call, what the restyle call may do to the
// conversation, asked flags, matching and cutting of texts, the argument and
// list errors, and the save lines read back in the same run and in a fresh
// engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "hud/kavoconversation.h"
#include "hud/kavohudsprite.h"
#include "hud/kavohudtext.h"
#include "scene/bitmapfont.h"
#include "scene/nodes.h"
#include "script/context.h"
#include "support/game_fixture.h"

namespace kavo::test {
namespace {

class ConversationTest : public GameFixture {
 protected:
  void SetUp() override {
    StartGame("Game = TGame.Create()\nGame.Debug = false\n");
    font.data.widths.fill(10);
    font.data.charHeight = 20;
    Ctx().speechFont = &font;
    // Four texts bound in order, an up and a down arrow.
    Run("t0 = THudtext.Create() t1 = THudtext.Create() t2 = THudtext.Create() t3 = THudtext.Create() "
        "up = THudsprite.Create() down = THudsprite.Create() "
        "c = TConversation.Create() for i = 0, 3 do c.BindHudtext(i) end c.UpSprite = 0 c.DownSprite = 1");
    for (int i = 0; i < 4; ++i) texts[i] = Ctx().hudTexts.At(i)->Handle();
    arrows[0] = Ctx().hudSprites.At(0)->Handle();
    arrows[1] = Ctx().hudSprites.At(1)->Handle();
    NewLog();
  }
  TKavoContext& Ctx() { return form->Context(); }
  TConversationClass& Conv() {
    for (TKavo_ScriptClass* o : Ctx().objects)
      if (auto* c = ResolveAs<TConversationClass>(Ctx().handles, o->Handle())) return *c;
    throw std::runtime_error("no conversation");
  }
  THudtextClass* Text(int i) { return ResolveAs<THudtextClass>(Ctx().handles, texts[i]); }
  // The four slots: a shown text as it reads, "-" for a hidden empty one,
  // "~" + text for a hidden one that kept its text, "x" for a destroyed one.
  std::string Slots() {
    std::string out;
    for (int i = 0; i < 4; ++i) {
      THudtextClass* t = Text(i);
      const std::string s = !t ? "x" : t->visibleFlag ? t->TextNode()->text : t->TextNode()->text.empty() ? "-" : "~" + t->TextNode()->text;
      out += (i ? "|" : "") + s;
    }
    return out;
  }
  bool ArrowShown(int i) { return ResolveAs<THudspriteClass>(Ctx().handles, arrows[i])->visibleFlag; }
  // Node `node` gets options prefix0 .. prefix(n-1), each answered by pick + its number.
  void AddOptions(int node, int n, const std::string& prefix) {
    for (int i = 0; i < n; ++i)
      Run("c.AddOption(" + std::to_string(node) + ", '" + prefix + std::to_string(i) + "', 'pick" +
          std::to_string(i) + "')");
  }
  std::vector<std::string> SaveLines(const std::string& name = "c") {
    std::vector<std::string> lines;
    Conv().WriteSave(name, lines);
    return lines;
  }

  scene::BitmapFont font;
  TObjectHandle texts[4] = {};
  TObjectHandle arrows[2] = {};
};

TEST_F(ConversationTest, ScrollingLaysOptionsOnTheSlotsAndShowsTheArrows) {
  Run("c.AddNode() c.AddNode()");
  AddOptions(0, 6, "o");
  AddOptions(1, 3, "p");
  struct Step {
    const char* lua;
    int offset;
    const char* slots;
    bool up, down;
  } steps[] = {
      {"c.ShowNode(0)", 0, "o0|o1|o2|o3", false, true},
      {"c.MoveDown()", 1, "o1|o2|o3|o4", true, true},
      {"c.MoveDown()", 2, "o2|o3|o4|o5", true, false},
      {"c.MoveDown()", 2, "o2|o3|o4|o5", true, false},
      // A shorter node from the same offset: the slots past its options go
      // blank rather than keep the longer node's lines.
      {"c.ShowNode(1)", 2, "p2|-|-|-", true, false},
      {"c.MoveUp() c.MoveUp()", 0, "p0|p1|p2|-", false, false},
      {"c.MoveDown()", 0, "p0|p1|p2|-", false, false},  // three options, four slots
      {"c.MoveUp()", 0, "p0|p1|p2|-", false, false},
      {"c.ShowNode(0)", 0, "o0|o1|o2|o3", false, true},
  };
  for (const Step& s : steps) {
    Run(s.lua);
    SCOPED_TRACE(s.lua);
    EXPECT_EQ(Conv().ScrollOffset(), s.offset);
    EXPECT_EQ(Slots(), s.slots);
    EXPECT_EQ(ArrowShown(0), s.up);
    EXPECT_EQ(ArrowShown(1), s.down);
  }
  EXPECT_EQ(Text(1)->OnMouseUp, "pick1");
  Run("c.MoveDown() c.MoveDown()");
  EXPECT_EQ(Text(1)->OnMouseUp, "pick3");
}

TEST_F(ConversationTest, ArrowsAreManagedAsAPairAndALoneDownArrowOnlyEverShows) {
  struct Case {
    const char* what;
    int up, down, options;
    bool upBefore, downBefore, upAfter, downAfter;
  } cases[] = {
      {"pair, overflow", 0, 1, 6, true, false, false, true},
      {"pair, no overflow", 0, 1, 3, true, true, false, false},
      {"down alone, overflow", -1, 1, 6, true, false, true, true},
      {"down alone, no overflow", -1, 1, 3, true, true, true, true},
      {"up names no sprite", 99, 1, 3, true, true, true, true},
      {"down names no sprite", 0, 99, 6, true, true, true, true},
      {"up alone", 0, -1, 6, true, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Run("c.ClearNodes() c.AddNode() c.UpSprite = " + std::to_string(c.up) + " c.DownSprite = " + std::to_string(c.down) +
        " up.Visible = " + (c.upBefore ? "true" : "false") + " down.Visible = " + (c.downBefore ? "true" : "false"));
    AddOptions(0, c.options, "o");
    Run("c.ShowNode(0)");
    EXPECT_EQ(ArrowShown(0), c.upAfter);
    EXPECT_EQ(ArrowShown(1), c.downAfter);
    EXPECT_EQ(Slots(), c.options == 6 ? "o0|o1|o2|o3" : "o0|o1|o2|-");
  }
}

TEST_F(ConversationTest, ASlotIsEnabledAndRestyledBeforeItsTextAndHandlerAreWritten) {
  Run("function restyle() Game.LOG('restyle ' .. t1.Enabled .. ' [' .. t1.Text .. '] [' .. t1.OnMouseUp .. '] ' "
      ".. tostring(t1.Visible)) end "
      "t1.OnMouseMove = 'restyle' t1.Visible = false t1.Enabled = 7 "
      "c.AddNode() c.AddOption(0, 'Hello', 'hi') c.AddOption(0, 'Bye', 'bye') c.SetAsked(0, 1)");
  Run("c.ShowNode(0)");
  EXPECT_EQ(NewLog(), (std::vector<std::string>{"restyle 0 [] [] False"}));
  EXPECT_EQ(Slots(), "Hello|Bye|-|-");
  EXPECT_EQ(Text(0)->Enabled, 1);
  EXPECT_EQ(Text(1)->Enabled, 0);
  EXPECT_EQ(Text(1)->OnMouseUp, "bye");

  // An option added to the shown node waits for the next render; asking by
  // text re-renders the shown node.
  Run("c.AddOption(0, 'Later', 'later')");
  EXPECT_EQ(Slots(), "Hello|Bye|-|-");
  Run("c.SetAsked(0, 'Hello')");
  EXPECT_EQ(Slots(), "Hello|Bye|Later|-");
  EXPECT_EQ(Text(0)->Enabled, 0);
  EXPECT_EQ(Text(2)->Enabled, 1);
  EXPECT_EQ(Text(2)->OnMouseUp, "later");
  NewLog();
  // Asking an option of a node not on show renders nothing.
  Run("c.AddNode() c.AddOption(1, 'Other') c.SetAsked(1, 0)");
  EXPECT_TRUE(NewLog().empty());
  EXPECT_TRUE(Conv().Nodes()[1].options[0].asked);
}

TEST_F(ConversationTest, TheRestyleCallMayChangeAnythingWithoutHarm) {
  struct Case {
    const char* action;  // run by the first restyle call of t1
    const char* slots;
  } cases[] = {
      {"", "o0|o1|o2|o3"},
      {"c.Destroy()", "o0|old|old|old"},            // the render stops
      {"t1.Destroy()", "o0|x|o2|o3"},               // the slot is passed over
      {"t3.Destroy()", "o0|o1|o2|x"},
      {"c.UnBindHudtext(2)", "o0|o1|o2|o3"},        // this render keeps its slots
      {"c.ClearNodes()", "o0|old|old|old"},         // the render stops; nothing is hidden
      {"c.HideNodes()", "-|-|-|-"},                 // the hide stands
      {"c.MoveDown()", "o1|o2|o3|o4"},              // the newer render stands
      {"c.RemoveOption(0, 'o0')", "o1|o2|o3|o4"},
      {"up.Destroy() down.Destroy()", "o0|o1|o2|o3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    form.reset();
    platform = TTestPlatform();
    seen_ = 0;
    SetUp();
    Run(std::string("done = false function restyle() if not done then done = true ") + c.action + " end end "
        "t1.OnMouseMove = 'restyle' c.AddNode()");
    AddOptions(0, 6, "o");
    Run("t0.Text = 'old' t1.Text = 'old' t2.Text = 'old' t3.Text = 'old'");
    Run("c.ShowNode(0)");
    EXPECT_EQ(Slots(), c.slots);
    for (const std::string& line : NewLog()) EXPECT_EQ(line.find("rror"), std::string::npos) << line;
    EXPECT_TRUE(platform.dialogs.empty());
  }
}

TEST_F(ConversationTest, ARestyleCallThatShowsTheNodeAgainEndsInAScriptError) {
  Run("function restyle() c.ShowNode(0) end t1.OnMouseMove = 'restyle' c.AddNode()");
  AddOptions(0, 2, "o");
  Run("c.ShowNode(0) Game.LOG('after')");
  EXPECT_EQ(Slots(), "o0|o1|-|-");
  bool overflow = false;
  for (const std::string& line : NewLog()) overflow |= line.find("stack overflow") != std::string::npos;
  EXPECT_TRUE(overflow);
}

TEST_F(ConversationTest, BoundTextsAreKeptByHandle) {
  Run("c.AddNode()");
  AddOptions(0, 3, "o");
  Run("t1.Destroy() c.ShowNode(0)");
  EXPECT_EQ(Slots(), "o0|x|o1|o2");
  EXPECT_EQ(Conv().BoundTexts().size(), 3u);
  // IDs are positions: t2 is text 1 now, t3 text 2, a new text 3. The slot
  // past the options (t2 at the end) is hidden and emptied.
  Run("n = THudtext.Create() c.UnBindHudtext(1) c.BindHudtext(3) c.BindHudtext(1) c.ShowNode(0)");
  EXPECT_EQ(Slots(), "o0|x|-|o1");
  EXPECT_EQ(Ctx().hudTexts.At(3)->TextNode()->text, "o2");
  auto lines = SaveLines();
  const std::vector<std::string> binds(std::find(lines.begin(), lines.end(), "c.ClearHudtextBinds();"),
                                       std::find(lines.begin(), lines.end(), "c.ClearNodes();"));
  EXPECT_EQ(binds, (std::vector<std::string>{"c.ClearHudtextBinds();", "c.BindHudtext(0);", "c.BindHudtext(2);",
                                             "c.BindHudtext(3);", "c.BindHudtext(1);"}));
  Run("c.ClearHudtextBinds() c.ShowNode(0)");
  EXPECT_TRUE(Conv().BoundTexts().empty());
}

TEST_F(ConversationTest, ClearNodesKeepsTheOffsetAndHideNodesResetsIt) {
  Run("c.AddNode()");
  AddOptions(0, 6, "o");
  Run("c.ShowNode(0) c.MoveDown() c.MoveDown() c.ClearNodes()");
  EXPECT_EQ(Conv().CurrentNode(), -1);
  EXPECT_EQ(Conv().ScrollOffset(), 2);
  EXPECT_EQ(Slots(), "o2|o3|o4|o5");
  EXPECT_TRUE(ArrowShown(0));
  Run("c.MoveDown()");  // no node on show
  EXPECT_EQ(Conv().ScrollOffset(), 2);
  Run("c.AddNode()");
  AddOptions(0, 6, "q");
  Run("c.ShowNode(0)");
  EXPECT_EQ(Slots(), "q2|q3|q4|q5");
  Run("c.HideNodes()");
  EXPECT_EQ(Slots(), "-|-|-|-");
  EXPECT_FALSE(ArrowShown(0));
  EXPECT_FALSE(ArrowShown(1));
  EXPECT_EQ(Conv().CurrentNode(), -1);
  EXPECT_EQ(Conv().ScrollOffset(), 0);
  // Without nodes there is nothing to hide.
  Run("c.ClearNodes() t0.Text = 'kept' t0.Visible = true up.Visible = true c.HideNodes()");
  EXPECT_EQ(Slots(), "kept|-|-|-");
  EXPECT_TRUE(ArrowShown(0));
}

TEST_F(ConversationTest, OptionsMatchTheFirstExactTextAndAreCutToAShortString) {
  Run("c.AddNode() c.AddOption(0, 'Yes', 'first') c.AddOption(0, 'yes') c.AddOption(0, 'Yes', 'third') c.ShowNode(0)");
  Run("c.RemoveOption(0, 'YES') c.SetAsked(0, 'YES')");
  EXPECT_EQ(Slots(), "Yes|yes|Yes|-");
  EXPECT_FALSE(Text(0)->Enabled == 0 || Text(2)->Enabled == 0);
  Run("c.SetAsked(0, 'Yes')");
  EXPECT_EQ(Text(0)->Enabled, 0);
  EXPECT_EQ(Text(2)->Enabled, 1);
  Run("c.RemoveOption(0, 'Yes')");  // the shown node re-renders
  EXPECT_EQ(Slots(), "yes|Yes|-|-");
  EXPECT_EQ(Text(1)->OnMouseUp, "third");
  EXPECT_EQ(Text(1)->Enabled, 1);

  const std::string longText(300, 'a'), longName(300, 'f');
  Run("c.AddOption(0, string.rep('a', 300), string.rep('f', 300)) c.ShowNode(0)");
  const auto& option = Conv().Nodes()[0].options.back();
  EXPECT_EQ(option.text, longText.substr(0, 255));
  EXPECT_EQ(option.handler, longName.substr(0, 255));
  EXPECT_EQ(Text(2)->TextNode()->text, longText.substr(0, 255));
  Run("c.RemoveOption(0, string.rep('a', 300))");  // the same long text finds it
  EXPECT_EQ(Conv().Nodes()[0].options.size(), 2u);
}

TEST_F(ConversationTest, BadArgumentsAndIndicesRaiseScriptErrors) {
  Run("c.AddNode() c.AddOption(0, 'a') c.ShowNode(0)");
  NewLog();
  const std::pair<const char*, const char*> cases[] = {
      {"c.BindHudtext('x')", "Function (BindHudtext) requires integer in first argument."},
      {"c.BindHudtext(1.5)", "Function (BindHudtext) requires integer in first argument."},
      {"c.BindHudtext(4)", "List index out of bounds (4)"},
      {"c.UnBindHudtext()", "Function (UnBindHudtext) requires integer in first argument."},
      {"c.UnBindHudtext(-1)", "List index out of bounds (-1)"},
      {"c.AddOption('0', 'a')", "Function (AddOption) requires integer in first argument."},
      {"c.AddOption(0, 5)", "Function (AddOption) requires string in second argument."},
      {"c.AddOption(0, 'a', 5)", "Function (AddOption) requires string in third argument, which is optional."},
      {"c.AddOption(1, 'a')", "List index out of bounds (1)"},
      {"c.RemoveOption(0)", "Function (RemoveOption) requires string in second argument."},
      {"c.RemoveOption(2, 'a')", "List index out of bounds (2)"},
      {"c.SetAsked('0', 0)", "Function (SetAsked) requires integer in first argument."},
      {"c.SetAsked(0, 0.5)", "Function (SetAsked) requires integer or string in second argument."},
      {"c.SetAsked(0, {})", "Function (SetAsked) requires integer or string in second argument."},
      {"c.SetAsked(0, 1)", "List index out of bounds (1)"},
      {"c.SetAsked(-3, 'a')", "List index out of bounds (-3)"},
      {"c.ShowNode('a')", "Function (ShowNode) requires integer in first argument."},
      {"c.ShowNode(1)", "List index out of bounds (1)"},
      {"c.ShowNode(-1)", "List index out of bounds (-1)"},
  };
  for (const auto& [call, message] : cases) {
    Run(call);
    auto log = NewLog();
    ASSERT_FALSE(log.empty()) << call;
    EXPECT_NE(log[0].find(message), std::string::npos) << call << ": " << log[0];
  }
  // Nothing changed on the way.
  EXPECT_EQ(Conv().CurrentNode(), 0);
  EXPECT_EQ(Conv().Nodes().size(), 1u);
  EXPECT_EQ(Conv().Nodes()[0].options.size(), 1u);
  EXPECT_FALSE(Conv().Nodes()[0].options[0].asked);
  EXPECT_EQ(Conv().BoundTexts().size(), 4u);
  EXPECT_EQ(Slots(), "a|-|-|-");
}

TEST_F(ConversationTest, SaveLinesQuoteEveryStringAndKeepAskedFlagsByIndex) {
  Run("c.ClearHudtextBinds() c.BindHudtext(0) c.BindHudtext(2) c.AddNode() c.AddNode() "
      "c.AddOption(0, 'Say \"hi\" \\\\ ', 'greet') c.AddOption(0, 'Same') c.AddOption(0, 'Same', 'second') "
      "c.SetAsked(0, 2) c.AddOption(1, 'line\\nbreak\\0end') c.AddOption(2 - 1, 'x', '\\\"') c.SetAsked(1, 'x')");
  auto lines = SaveLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "if (c == nil) then c = TConversation.Create(); end");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "c.UpSprite = 0;"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "c.DownSprite = 1;"), lines.end());
  const std::vector<std::string> tail(std::find(lines.begin(), lines.end(), "c.ClearHudtextBinds();"), lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "c.ClearHudtextBinds();",
                      "c.BindHudtext(0);",
                      "c.BindHudtext(2);",
                      "c.ClearNodes();",
                      "c.AddNode();",
                      "c.AddOption(0,\"Say \\\"hi\\\" \\\\ \",\"greet\");",
                      "c.AddOption(0,\"Same\");",
                      "c.AddOption(0,\"Same\",\"second\");",
                      "c.SetAsked(0,2);",
                      "c.AddNode();",
                      "c.AddOption(1,\"line\\nbreak\\000end\");",
                      "c.AddOption(1,\"x\",\"\\\"\");",
                      "c.SetAsked(1,1);",
                  }));
}

TEST_F(ConversationTest, SaveLinesRebuildTheConversationInTheSameRunAndInAFreshEngine) {
  Run("c.ClearHudtextBinds() c.BindHudtext(3) c.BindHudtext(1) c.UpSprite = 1 c.DownSprite = 0 "
      "c.AddNode() c.AddNode() c.AddOption(1, 'Same', 'one') c.AddOption(1, 'Same', 'two') c.AddOption(1, 'third') "
      "c.SetAsked(1, 1) c.ShowNode(1) c.MoveDown()");
  ASSERT_EQ(Conv().ScrollOffset(), 1);
  const auto saved = SaveLines();
  std::string script;
  for (const std::string& l : saved) script += l + "\n";
  auto check = [&](int offset) {
    EXPECT_EQ(SaveLines(), saved);
    const auto& options = Conv().Nodes().at(1).options;
    ASSERT_EQ(options.size(), 3u);
    EXPECT_FALSE(options[0].asked);
    EXPECT_TRUE(options[1].asked);
    EXPECT_EQ(Conv().CurrentNode(), -1);  // hidden until a script shows a node
    EXPECT_EQ(Conv().ScrollOffset(), offset);
  };

  // The same run: everything is replaced, and the offset stays as it was.
  Run("c.ClearHudtextBinds() c.ClearNodes() c.AddNode() c.AddOption(0, 'stale') c.UpSprite = -1 c.DownSprite = -1");
  Run(script);
  check(1);
  Run("c.ShowNode(1)");
  EXPECT_EQ(Slots(), "|third||Same");  // slots t3, t1 from option 1
  EXPECT_EQ(Text(3)->Enabled, 0);
  EXPECT_TRUE(ArrowShown(1));  // the up arrow is sprite 1 now

  // A fresh engine whose texts and sprites were made again in order.
  form.reset();
  platform = TTestPlatform();
  seen_ = 0;
  SetUp();
  Run("c.Destroy() c = nil");
  Run(script);
  check(0);
  Run("c.ShowNode(1)");
  EXPECT_EQ(Slots(), "|Same||Same");
  EXPECT_EQ(Text(1)->OnMouseUp, "two");
  EXPECT_EQ(Text(1)->Enabled, 0);
  EXPECT_EQ(Text(3)->Enabled, 1);
}

}  // namespace
}  // namespace kavo::test
