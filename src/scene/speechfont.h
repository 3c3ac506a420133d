// The speech font: the one bitmap font every HUD text and every actor's
// speech text draws with. `TGLSpeechFont` builds its glyph picture at run
// time from a system font (TTextRaster): it measures the characters of its
// ranges (32 to 125 unless told otherwise), lays their cells out on the
// smallest picture that holds them all and draws each glyph white on black.
// `TGLStoredSpeechFont` can instead take a stored pair, a ".gsf" data file
// and its picture, baked earlier (kavofont); once it has, it never builds
// again.
//
// 8-bit character codes mean characters of the font's code page
// (CodePageCharToUnicode), so a game in another page gets its own letters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/textraster.h"
#include "scene/bitmapfont.h"

namespace kavo::scene {

struct TCharRange {
  int first = 32, last = 125;
};

class TGLSpeechFont : public BitmapFont {
 public:
  // The margin around each glyph inside its cell, across and down.
  static constexpr int kMarginX = 4, kMarginY = 4;
  // The size the source font falls back to after a build that did not fit.
  static constexpr int kFallbackPoints = 6;

  // Builds at once with the source font, the ranges and the code page.
  explicit TGLSpeechFont(TSourceFont source = DefaultSourceFont(), std::vector<TCharRange> ranges = {{32, 125}},
                         std::string codePage = "CP1252");
  virtual ~TGLSpeechFont() = default;
  TGLSpeechFont(const TGLSpeechFont&) = delete;
  TGLSpeechFont& operator=(const TGLSpeechFont&) = delete;

  const TSourceFont& SourceFont() const { return source_; }
  const std::vector<TCharRange>& Ranges() const { return ranges_; }
  const std::string& CodePage() const { return codePage_; }

  // Each change builds the glyph picture again (see Rebuild).
  void SetSourceFont(const TSourceFont& source);
  void SetRanges(std::vector<TCharRange> ranges);
  void SetCodePage(const std::string& codePage);

  // The run-time build. When the source font cannot be opened the font
  // becomes empty (every width 0, no picture) and a log line says why. When
  // the glyphs fit no picture of up to 512 by 512 the source font's size
  // becomes 6, the font keeps what it had and EKavoError says "Characters
  // are too large or too many. Unable to create font texture.".
  virtual void Rebuild();

 protected:
  void Build();

  TSourceFont source_;
  std::vector<TCharRange> ranges_;
  std::string codePage_;
};

class TGLStoredSpeechFont : public TGLSpeechFont {
 public:
  using TGLSpeechFont::TGLSpeechFont;

  // Never builds again once a stored font was taken.
  void Rebuild() override;
  bool LoadedFromFile() const { return loadedFromFile_; }

  // Takes a stored font: its data (the ".gsf" bytes) and its picture (the
  // picture file's bytes). Both are checked first, the data as
  // ParseStoredFont does and the picture by decoding it; only when both are
  // sound does the font take them, whole. Otherwise nothing changes and
  // `error` says why. `pictureName` names the picture in that message.
  bool LoadStored(std::string_view data, const std::string& picture, const std::string& pictureName,
                  std::string& error);

 private:
  bool loadedFromFile_ = false;
};

// The stored pair of a font, as the stored-font loader reads it back: the
// ".gsf" data (WriteStoredFont) and its picture as a PNG, the glyphs white
// on black without an alpha channel. False, with the reason, when the
// picture cannot be encoded.
bool BakeStoredFont(const BitmapFont& font, std::string& gsf, std::string& png, std::string& error);

}  // namespace kavo::scene
