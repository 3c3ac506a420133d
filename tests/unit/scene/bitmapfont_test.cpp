// The bitmap font's arithmetic: string widths, the glyph picture's size
// search, and the stored form with its checks.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scene/bitmapfont.h"

namespace kavo::scene {
namespace {

TEST(BitmapFont, LinesBreakAtCrLfCrAndLf) {
  using L = std::vector<std::string_view>;
  EXPECT_EQ(TextLines(""), L{""});
  EXPECT_EQ(TextLines("one"), L{"one"});
  EXPECT_EQ(TextLines("a\r\nb\rc\nd"), (L{"a", "b", "c", "d"}));
  EXPECT_EQ(TextLines("a\n\rb"), (L{"a", "", "b"}));  // LF then CR: two breaks
  EXPECT_EQ(TextLines("a\r\n"), (L{"a", ""}));
}

TEST(BitmapFont, StringWidthCountsSpacingAndItalicCorrection) {
  BitmapFontData f;
  f.widths['a'] = 5;
  f.widths['b'] = 7;
  EXPECT_EQ(f.StringWidth(""), 0);
  EXPECT_EQ(f.StringWidth("ab"), 5 + 7 + 2 * 1 - 1);
  // A character outside the drawn range (e acute, code 233) takes the spacing only.
  EXPECT_EQ(f.StringWidth("a\xE9"), 5 + 0 + 2 * 1 - 1);
  f.italicCorrection = -2;
  EXPECT_EQ(f.StringWidth("ab"), 5 + 7 + 2 * (-2 + 1) - 1);
}

// Every size the search may pick, tried by hand: the pick fits, has the
// smallest area of those that fit, and is the squarer (then the first) at
// equal area.
TEST(BitmapFont, TheGlyphPictureIsTheSmallestAndSquarestThatHoldsAll) {
  struct Case {
    const char* what;
    int first, last, width, height;
    bool fits;
  } cases[] = {
      {"8-point range 32-125", 32, 125, 8, 16, true},
      {"wide glyphs", 32, 125, 30, 20, true},
      {"one glyph", 65, 65, 10, 10, true},
      {"full range, large", 0, 255, 40, 60, false},
      {"tall cells", 32, 125, 4, 100, true},
  };
  const int sides[] = {64, 128, 256, 512};
  for (const Case& c : cases) {
    std::array<int32_t, 256> widths{};
    for (int i = c.first; i <= c.last; ++i) widths[size_t(i)] = c.width;
    const int n = c.last - c.first + 1;
    int W = 0, H = 0;
    const bool found = ChooseGlyphPictureSize(widths, c.height, n, W, H);
    ASSERT_EQ(found, c.fits) << c.what;
    if (!found) continue;
    EXPECT_EQ(LayoutGlyphs(widths, c.height, W, H), n) << c.what;
    for (int h : sides)
      for (int w : sides) {
        if (LayoutGlyphs(widths, c.height, w, h) != n) continue;
        EXPECT_GE(w * h, W * H) << c.what << ": " << w << "x" << h << " also fits";
        if (w * h == W * H) {
          EXPECT_GE(std::abs(w - h), std::abs(W - H)) << c.what;
        }
      }
  }
  // Equal area and equal squareness: the first in the search order (heights
  // outer) stays. 128 x 64 comes before 64 x 128.
  std::array<int32_t, 256> widths{};
  for (int i = 0; i < 8; ++i) widths[size_t(i)] = 26;  // cells of 28: two a row at width 64, four at 128
  int W = 0, H = 0;
  ASSERT_TRUE(ChooseGlyphPictureSize(widths, 32, 8, W, H));
  EXPECT_EQ(W, 128);
  EXPECT_EQ(H, 64);
}

TEST(BitmapFont, LayoutPlacesGlyphsInRowsByTheNextCodesWidth) {
  std::array<int32_t, 256> widths{};
  widths['A'] = 10;  // cell 12
  widths['B'] = 10;
  widths['C'] = 40;  // 'B' ends the row: 12 + 12 + 40 + 2 > 64
  std::vector<std::string> placed;
  LayoutGlyphs(widths, 16, 64, 64, [&](int code, int x, int y, int cw) {
    placed.push_back(std::string(1, char(code)) + std::to_string(x) + "," + std::to_string(y) + "/" + std::to_string(cw));
  });
  EXPECT_EQ(placed, (std::vector<std::string>{"A0,0/12", "B12,0/12", "C0,16/42"}));
  const GlyphRect r = CellRect(12, 0, 12, 16, 64, 64);
  EXPECT_FLOAT_EQ(r.left, 13.05f / 64);
  EXPECT_FLOAT_EQ(r.top, (64 - 0.05f) / 64);
  EXPECT_FLOAT_EQ(r.right, (12 + 12 - 1.05f) / 64);
  EXPECT_FLOAT_EQ(r.bottom, (64 - 15.95f) / 64);
}

std::string Le32(int32_t v) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &v, 4);  // the tests run on little-endian machines
  return s;
}

TEST(BitmapFont, StoredFontsRoundTripAndBadOnesAreRefusedWhole) {
  BitmapFontData f;
  f.charWidth = 14;
  f.charHeight = 21;
  for (int i = 32; i < 126; ++i) {
    f.widths[size_t(i)] = i % 9 + 3;
    f.rects[size_t(i)] = {i / 256.0f, 1.0f - i / 512.0f, (i + 5) / 256.0f, 0.5f};
  }
  const std::string stored = WriteStoredFont(f);
  EXPECT_EQ(stored.size(), 5136u);
  BitmapFontData back;
  std::string error;
  ASSERT_TRUE(ParseStoredFont(stored, back, error)) << error;
  EXPECT_EQ(back.charWidth, 14);
  EXPECT_EQ(back.charHeight, 21);
  EXPECT_EQ(back.widths, f.widths);
  EXPECT_EQ(back.rects[65].left, f.rects[65].left);
  EXPECT_EQ(back.rects[65].bottom, f.rects[65].bottom);

  auto withCount = [&](int32_t r) { return stored.substr(0, 8) + Le32(r) + stored.substr(12); };
  std::string nanRect = stored;
  const float nan = std::nanf("");
  std::memcpy(nanRect.data() + 12 + 16 * 65, &nan, 4);
  struct Case {
    const char* what;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"R = -1", withCount(-1), "rectangle count -1"},
      {"R = 257", withCount(257), "rectangle count 257"},
      {"R = 2^31 - 1", withCount(INT32_MAX), "rectangle count 2147483647"},
      {"empty", "", "header"},
      {"cut in the rectangles", stored.substr(0, 100), "rectangles are cut short"},
      {"cut in the widths", stored.substr(0, 5000), "width table is cut short"},
      {"no width count", stored.substr(0, 12 + 4096), "width count"},
      {"a huge cell", Le32(5000) + stored.substr(4), "character size 5000"},
      {"a negative width", stored.substr(0, 5136 - 4) + Le32(-1), "width -1 of character 255"},
      {"a NaN rectangle", nanRect, "rectangle 65 is not finite"},
  };
  for (const Case& c : cases) {
    BitmapFontData kept = back;
    std::string why;
    EXPECT_FALSE(ParseStoredFont(c.bytes, kept, why)) << c.what;
    EXPECT_NE(why.find(c.reason), std::string::npos) << c.what << ": " << why;
    EXPECT_EQ(kept.widths, back.widths) << c.what;  // left as it was
    EXPECT_EQ(kept.charWidth, back.charWidth) << c.what;
  }
  // Fewer rectangles are fine: the rest stay empty.
  std::string few = Le32(14) + Le32(21) + Le32(1) + stored.substr(12, 16) + stored.substr(12 + 4096);
  ASSERT_TRUE(ParseStoredFont(few, back, error)) << error;
  EXPECT_EQ(back.rects[65].left, 0.0f);
}

}  // namespace
}  // namespace kavo::scene
