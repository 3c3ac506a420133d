// The speech font at start-up: the run-time font from step 18, replaced at
// step 21 by the stored pair the game names when the pair is there and
// sound (loose, with its picture in any letter case, or in an archive);
// every other case keeps the run-time font, with one log line when a font
// file was found but not taken. Game.CodePage rebuilds the run-time font.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>

#include "archive/archive.h"
#include "scene/speechfont.h"
#include "support/game_fixture.h"

namespace kavo::test {
namespace {

struct BakedPair {
  std::string gsf, png;
  int charHeight = 0;
};

// A 10-point font, so it is told apart from the 8-point run-time one.
const BakedPair& Baked() {
  static const BakedPair pair = [] {
    TSourceFont ten = DefaultSourceFont();
    ten.pointSize = 10;
    const scene::TGLSpeechFont font(ten);
    BakedPair p;
    std::string error;
    if (!scene::BakeStoredFont(font, p.gsf, p.png, error)) ADD_FAILURE() << error;
    p.charHeight = font.data.charHeight;
    return p;
  }();
  return pair;
}

int RunTimeCharHeight() {
  static const int h = scene::TGLSpeechFont().data.charHeight;
  return h;
}

std::string WithRectCount(int32_t r) {
  std::string s = Baked().gsf;
  std::memcpy(s.data() + 8, &r, 4);
  return s;
}

std::string Archive(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string out;
  TKavoArchiveWriter w(TKavoPackMethod::Block);
  w.CreateInMemory(out);
  for (const auto& [name, data] : entries) w.Add(name, data);
  w.Finish();
  return out;
}

struct FontCase {
  const char* name;
  std::function<void(const TempDir&)> files;
  bool taken;
  const char* reason;  // in the log line when not taken; "" for no line
};

class StoredSpeechFont : public GameFixture, public ::testing::WithParamInterface<FontCase> {};

TEST_P(StoredSpeechFont, IsTakenOnlyWhenWhole) {
  const FontCase& c = GetParam();
  c.files(dir);
  StartGame("Game = TGame.Create()\n");
  ASSERT_TRUE(platform.dialogs.empty()) << platform.dialogs[0].text;
  scene::TGLStoredSpeechFont* font = form->SpeechFont();
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(form->Context().speechFont, font);
  EXPECT_EQ(font->LoadedFromFile(), c.taken);
  EXPECT_EQ(font->data.charHeight, c.taken ? Baked().charHeight : RunTimeCharHeight());
  EXPECT_FALSE(font->picture.Empty());

  std::vector<std::string> refusals;
  for (const std::string& line : Log())
    if (line.find("speech font") != std::string::npos) refusals.push_back(line);
  if (!*c.reason) {
    EXPECT_TRUE(refusals.empty()) << refusals[0];
    return;
  }
  ASSERT_EQ(refusals.size(), 1u);
  EXPECT_EQ(refusals[0].rfind("Kavo Core: The speech font GUI\\speechfont.gsf was not loaded (", 0), 0u) << refusals[0];
  EXPECT_NE(refusals[0].find(c.reason), std::string::npos) << refusals[0];
  EXPECT_NE(refusals[0].find("the built-in font stays"), std::string::npos) << refusals[0];
}

void Loose(const TempDir& d, const std::string& gsf, const std::string& pictureName, const std::string& png) {
  d.Write("data/GUI/speechfont.gsf", gsf);
  if (!pictureName.empty()) d.Write("data/GUI/" + pictureName, png);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, StoredSpeechFont,
    ::testing::Values(
        FontCase{"no_font_file", [](const TempDir&) {}, false, ""},
        FontCase{"loose_pair", [](const TempDir& d) { Loose(d, Baked().gsf, "speechfont.png", Baked().png); }, true,
                 ""},
        FontCase{"picture_only_in_upper_case",
                 [](const TempDir& d) { Loose(d, Baked().gsf, "speechfont.PNG", Baked().png); }, true, ""},
        FontCase{"archived_pair",
                 [](const TempDir& d) {
                   d.Write("data/GUI.kvo",
                           Archive({{"speechfont.gsf", Baked().gsf}, {"SPEECHFONT.PNG", Baked().png}}));
                 },
                 true, ""},
        FontCase{"archived_pair_without_picture",
                 [](const TempDir& d) { d.Write("data/GUI.kvo", Archive({{"speechfont.gsf", Baked().gsf}})); },
                 false, "its picture GUI\\speechfont.png"},
        FontCase{"no_picture", [](const TempDir& d) { Loose(d, Baked().gsf, "", ""); }, false,
                 "its picture GUI\\speechfont.png is missing"},
        FontCase{"undecodable_picture",
                 [](const TempDir& d) { Loose(d, Baked().gsf, "speechfont.png", Baked().png.substr(0, 60)); }, false,
                 "couldn't be decoded"},
        FontCase{"rect_count_minus_one",
                 [](const TempDir& d) { Loose(d, WithRectCount(-1), "speechfont.png", Baked().png); }, false,
                 "rectangle count -1 "},
        FontCase{"rect_count_257",
                 [](const TempDir& d) { Loose(d, WithRectCount(257), "speechfont.png", Baked().png); }, false,
                 "rectangle count 257 "},
        FontCase{"rect_count_int_max",
                 [](const TempDir& d) { Loose(d, WithRectCount(INT32_MAX), "speechfont.png", Baked().png); }, false,
                 "rectangle count 2147483647 "},
        FontCase{"truncated",
                 [](const TempDir& d) { Loose(d, Baked().gsf.substr(0, 2000), "speechfont.png", Baked().png); },
                 false, "cut short"}),
    [](const ::testing::TestParamInfo<FontCase>& info) { return std::string(info.param.name); });

using SpeechFontStartup = GameFixture;

TEST_F(SpeechFontStartup, TheGameNamesItsFontFile) {
  dir.Write("data/fonts/big.gsf", Baked().gsf);
  dir.Write("data/fonts/big.png", Baked().png);
  StartGame("Game = TGame.Create()\nGame.SpeechfontFilename = 'fonts\\\\big.gsf'\n");
  ASSERT_TRUE(form->SpeechFont()->LoadedFromFile());
  EXPECT_EQ(form->SpeechFont()->data.charHeight, Baked().charHeight);
}

TEST_F(SpeechFontStartup, CodePageRebuildsTheRunTimeFontAndUnknownPagesAreRefused) {
  StartGame(
      "Game = TGame.Create()\n"
      "Game.CodePage = 'KLINGON'\n"
      "Game.LOG('page ' .. Game.CodePage)\n"
      "Game.CodePage = 'CP1251'\n");
  EXPECT_TRUE(LogHas("  Kavo Core: Unknown code page KLINGON; texts stay in CP1252"));
  EXPECT_TRUE(LogHas("  page CP1252"));
  EXPECT_EQ(form->Context().codePage, "CP1251");
  EXPECT_EQ(form->SpeechFont()->CodePage(), "CP1251");
  EXPECT_EQ(form->SpeechFont()->data.charHeight, RunTimeCharHeight());
}

TEST_F(SpeechFontStartup, AStoredFontIsNotRebuiltForTheCodePage) {
  dir.Write("data/GUI/speechfont.gsf", Baked().gsf);
  dir.Write("data/GUI/speechfont.png", Baked().png);
  StartGame("Game = TGame.Create()\nGame.CodePage = 'CP1251'\n");
  EXPECT_TRUE(form->SpeechFont()->LoadedFromFile());
  EXPECT_EQ(form->SpeechFont()->data.charHeight, Baked().charHeight);
  EXPECT_EQ(form->Context().codePage, "CP1251");
}

}  // namespace
}  // namespace kavo::test
