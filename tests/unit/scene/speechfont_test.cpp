// The speech font's run-time build from a system font (DejaVu Sans, as the
// engine uses by default): cell sizes from the face's measures, the widths
// of the ranges in the code page, the picture the size search picks, the
// glyphs drawn into their cells, italic fonts, a font too large, a face
// that cannot be opened, and the stored pair taken whole or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "core/errors.h"
#include "scene/speechfont.h"
#include "support/pictures.h"

namespace kavo::scene {
namespace {

TTextRaster OpenRaster(const TSourceFont& f) {
  TTextRaster r;
  std::string error;
  EXPECT_TRUE(r.Open(f, error)) << error;
  return r;
}

int WidthOf(const TTextRaster& r, char32_t c) { return r.TextWidth(std::u32string_view(&c, 1)); }

// Whether any pixel inside the rectangle (picture pixels) is not black.
bool InkIn(const Texture& t, int left, int top, int right, int bottom) {
  const std::vector<uint8_t>& px = t.Pixels();
  for (int y = std::max(top, 0); y < std::min(bottom, t.Height()); ++y)
    for (int x = std::max(left, 0); x < std::min(right, t.Width()); ++x) {
      const uint8_t* p = &px[(size_t(y) * size_t(t.Width()) + size_t(x)) * 4];
      if (p[0] | p[1] | p[2]) return true;
    }
  return false;
}

TEST(SpeechFont, RunTimeBuildOfTheDefaultFace) {
  const TGLSpeechFont font;
  const TTextRaster r = OpenRaster(DefaultSourceFont());
  const BitmapFontData& d = font.data;
  const int widest = std::max({r.TextWidth(U"_"), r.TextWidth(U"W"), r.TextWidth(U"M")});
  EXPECT_EQ(d.charWidth, widest + 2 + 8);
  EXPECT_EQ(d.charHeight, r.TextHeight(U"\"_pI|,") + 8 + 2);
  EXPECT_GT(r.TextHeight(U"x"), 6);  // an 8-point face at 96 dpi is about 11 pixels high
  EXPECT_LT(r.TextHeight(U"x"), 20);
  EXPECT_EQ(d.italicCorrection, 0);
  EXPECT_EQ(d.horizontalSpacing, 1);

  // The 94 characters of 32 to 125, each its face width and the margins.
  int drawn = 0;
  for (int c = 0; c < 256; ++c) {
    if (c >= 32 && c <= 125) {
      EXPECT_EQ(d.widths[size_t(c)], WidthOf(r, char32_t(c)) + 8) << c;
      ++drawn;
    } else {
      EXPECT_EQ(d.widths[size_t(c)], 0) << c;
    }
  }
  EXPECT_EQ(drawn, 94);

  // The picture is the one the search picks: every glyph fits, and no
  // candidate of smaller area (or equal area and squarer) does.
  const int W = font.picture.Width(), H = font.picture.Height();
  ASSERT_FALSE(font.picture.Empty());
  EXPECT_EQ(LayoutGlyphs(d.widths, d.charHeight, W, H), 94);
  for (int h : {64, 128, 256, 512})
    for (int w : {64, 128, 256, 512}) {
      if (LayoutGlyphs(d.widths, d.charHeight, w, h) != 94) continue;
      EXPECT_GE(w * h, W * H) << w << "x" << h;
      if (w * h == W * H) EXPECT_GE(std::abs(w - h), std::abs(W - H)) << w << "x" << h;
    }
  EXPECT_EQ(font.picture.AlphaMode(), TextureAlphaMode::BlackTransparent);

  // Each glyph lies in its cell: ink in 'A' and 'W', none in the space's
  // cell, and the rectangle is the cell's.
  int cells = 0;
  LayoutGlyphs(d.widths, d.charHeight, W, H, [&](int code, int x, int y, int cw) {
    ++cells;
    const GlyphRect expect = CellRect(x, y, cw, d.charHeight, W, H);
    EXPECT_EQ(d.rects[size_t(code)].left, expect.left) << code;
    EXPECT_EQ(d.rects[size_t(code)].bottom, expect.bottom) << code;
    if (code == ' ') EXPECT_FALSE(InkIn(font.picture, x, y, x + cw, y + d.charHeight));
    if (code == 'A' || code == 'W' || code == '|')
      EXPECT_TRUE(InkIn(font.picture, x, y, x + cw, y + d.charHeight)) << char(code);
  });
  EXPECT_EQ(cells, 94);
  // Nothing is drawn past the cells: the picture's last row is black (94
  // glyphs never fill the picture to its bottom edge).
  EXPECT_FALSE(InkIn(font.picture, 0, H - 1, W, H));
}

TEST(SpeechFont, EmptyTextsMeasureZero) {
  const TGLSpeechFont font;
  EXPECT_EQ(font.data.StringWidth(""), 0);
  const TTextRaster r = OpenRaster(DefaultSourceFont());
  EXPECT_EQ(r.TextWidth(U""), 0);
  // A string's width: its characters, each with the spacing, less one spacing.
  EXPECT_EQ(font.data.StringWidth("Hi"), font.data.widths['H'] + font.data.widths['i'] + 1);
}

TEST(SpeechFont, ItalicFontsGiveBackAThirdOfTheCell) {
  TSourceFont italic = DefaultSourceFont();
  italic.italic = true;
  const TGLSpeechFont font(italic);
  const TTextRaster r = OpenRaster(italic);
  const int cell = std::max({r.TextWidth(U"_"), r.TextWidth(U"W"), r.TextWidth(U"M")}) + 10;
  EXPECT_EQ(font.data.italicCorrection, -(cell / 3));
  EXPECT_EQ(font.data.charWidth, cell + cell / 3);
  // The correction is added to each width and taken off each advance.
  EXPECT_EQ(font.data.widths['A'], WidthOf(r, U'A') + 8 + cell / 3);
  EXPECT_EQ(font.data.StringWidth("AA"), 2 * font.data.widths['A'] + 2 * (1 - cell / 3) - 1);
}

TEST(SpeechFont, CodesAreTheCodePagesCharacters) {
  // Code 0xEC is "ì" in Western pages and "м" in Cyrillic ones.
  const TGLSpeechFont western(DefaultSourceFont(), {{0xEC, 0xEC}}, "CP1252");
  const TGLSpeechFont cyrillic(DefaultSourceFont(), {{0xEC, 0xEC}}, "CP1251");
  const TTextRaster r = OpenRaster(DefaultSourceFont());
  EXPECT_EQ(western.data.widths[0xEC], WidthOf(r, U'\u00EC') + 8);
  EXPECT_EQ(cyrillic.data.widths[0xEC], WidthOf(r, U'\u043C') + 8);
  EXPECT_NE(western.data.widths[0xEC], cyrillic.data.widths[0xEC]);
  // Ranges backwards are passed over; overlapping ones count each code once.
  const TGLSpeechFont overlapping(DefaultSourceFont(), {{65, 70}, {68, 72}, {90, 80}});
  int drawn = 0;
  for (int32_t w : overlapping.data.widths) drawn += w > 0;
  EXPECT_EQ(drawn, 8);
  EXPECT_FALSE(overlapping.picture.Empty());
}

TEST(SpeechFont, AFontTooLargeFailsAndFallsBackToSixPoints) {
  TGLSpeechFont font;
  const BitmapFontData before = font.data;
  font.SetRanges({{32, 255}});
  TSourceFont huge = DefaultSourceFont();
  huge.pointSize = 200;
  try {
    font.SetSourceFont(huge);
    FAIL() << "a 200-point font fitted";
  } catch (const EKavoError& e) {
    EXPECT_STREQ(e.what(), "Characters are too large or too many. Unable to create font texture.");
  }
  EXPECT_EQ(font.SourceFont().pointSize, 6);
  // The font drawn so far stays whole.
  EXPECT_EQ(font.data.charHeight, before.charHeight);
  EXPECT_FALSE(font.picture.Empty());
}

TEST(SpeechFont, AFaceThatCannotBeOpenedLeavesAnEmptyFont) {
  TSourceFont missing;
  missing.file = "/nonexistent/face.ttf";
  const TGLSpeechFont font(missing);
  EXPECT_EQ(font.data.StringWidth("abc"), 2);  // the spacing only
  EXPECT_EQ(font.data.charHeight, 0);
  EXPECT_TRUE(font.picture.Empty());
  // Not a font at all, and a size no face has.
  TTextRaster r;
  std::string error;
  TSourceFont notAFont = DefaultSourceFont();
  notAFont.file = std::string(KAVO_TEST_DATA) + "/models/walkpawns.3ds";
  EXPECT_FALSE(r.Open(notAFont, error));
  EXPECT_NE(error.find("not a font"), std::string::npos) << error;
  TSourceFont zero = DefaultSourceFont();
  zero.pointSize = 0;
  EXPECT_FALSE(r.Open(zero, error));
  EXPECT_EQ(r.TextWidth(U"abc"), 0);
}

TEST(SpeechFont, StoredPairIsTakenWholeOrNotAtAll) {
  TSourceFont ten = DefaultSourceFont();
  ten.pointSize = 10;
  const TGLSpeechFont baked(ten);
  std::string gsf, png, error;
  ASSERT_TRUE(BakeStoredFont(baked, gsf, png, error)) << error;
  EXPECT_EQ(gsf.size(), 5136u);

  TGLStoredSpeechFont font;
  const BitmapFontData runTime = font.data;
  std::string truncated = gsf.substr(0, 3000);
  std::string badCount = gsf;
  const int32_t minusOne = -1;
  std::memcpy(badCount.data() + 8, &minusOne, 4);
  struct Case {
    const char* what;
    std::string data, picture, reason;
  } bad[] = {
      {"cut short", truncated, png, "cut short"},
      {"R = -1", badCount, png, "rectangle count -1"},
      {"a picture that does not decode", gsf, png.substr(0, 40), "couldn't be decoded"},
      {"no picture bytes", gsf, "", "empty"},
  };
  for (const Case& c : bad) {
    EXPECT_FALSE(font.LoadStored(c.data, c.picture, "speechfont.png", error)) << c.what;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    EXPECT_FALSE(font.LoadedFromFile()) << c.what;
    EXPECT_EQ(font.data.widths, runTime.widths) << c.what;
  }

  ASSERT_TRUE(font.LoadStored(gsf, png, "speechfont.png", error)) << error;
  EXPECT_TRUE(font.LoadedFromFile());
  EXPECT_EQ(font.data.charWidth, baked.data.charWidth);
  EXPECT_EQ(font.data.charHeight, baked.data.charHeight);
  EXPECT_EQ(font.data.widths, baked.data.widths);
  EXPECT_EQ(font.data.rects['A'].left, baked.data.rects['A'].left);
  ASSERT_EQ(font.picture.Width(), baked.picture.Width());
  ASSERT_EQ(font.picture.Height(), baked.picture.Height());
  EXPECT_EQ(font.picture.Pixels(), baked.picture.Pixels());  // black still transparent
  // A stored font is never built again.
  font.SetCodePage("CP1251");
  EXPECT_EQ(font.data.widths, baked.data.widths);
}

}  // namespace
}  // namespace kavo::scene
