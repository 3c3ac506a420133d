// kavofont: bakes and checks stored speech fonts for game authors.
//
//   kavofont bake FONT --size PT [--bold] [--italic] [--range A-B]...
//                 [--codepage PAGE] -o OUT.gsf
//       builds the speech font from a TrueType or OpenType face exactly as
//       the engine does at run time (ranges 32-125 unless given; each
//       --range adds one; code page CP1252 unless given) and writes OUT.gsf
//       and its picture OUT.png beside it. The engine loads the pair when
//       Game.SpeechfontFilename names OUT.gsf (default "GUI\speechfont.gsf").
//   kavofont show FILE.gsf
//       loads a stored pair through the engine's own checks (the picture is
//       FILE with the extension ".png" in any letter case) and prints its
//       cell size, picture size and the first characters' widths.
//
// Exit status 0 on success, 1 when a file cannot be read, written or is
// refused (the reason goes to standard error), 2 on a usage error.
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "core/errors.h"
#include "hud/speechfont.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/textraster.h"
#include "scene/speechfont.h"

namespace {

using kavo::Files;
using kavo::scene::TCharRange;

int Usage() {
  std::cerr << "usage: kavofont bake FONT --size PT [--bold] [--italic] [--range A-B]... [--codepage PAGE] -o OUT.gsf\n"
               "       kavofont show FILE.gsf\n";
  return 2;
}

int Fail(const std::string& why) {
  std::cerr << "kavofont: " << why << "\n";
  return 1;
}

// A whole decimal number within [lo, hi].
bool ParseNumber(const std::string& text, int lo, int hi, int& out) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  out = std::atoi(text.c_str());
  return out >= lo && out <= hi;
}

bool ParseRange(const std::string& text, TCharRange& r) {
  const size_t dash = text.find('-');
  return dash != std::string::npos && ParseNumber(text.substr(0, dash), 0, 255, r.first) &&
         ParseNumber(text.substr(dash + 1), 0, 255, r.last) && r.first <= r.last;
}

// The picture beside a stored font: FILE with ".png", else any letter case of it.
bool FindPicture(const std::string& fontFile, std::string& picture) {
  picture = kavo::SpeechFontPictureName(fontFile);
  if (Files().FileExists(picture)) return true;
  if (auto found = Files().FindIgnoringCase(picture)) {
    picture = *found;
    return true;
  }
  return false;
}

int Bake(const std::vector<std::string>& args) {
  kavo::TSourceFont source;
  source.file = args[1];
  std::vector<TCharRange> ranges;
  std::string codePage = "CP1252", out;
  bool sized = false;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--bold") {
      source.bold = true;
    } else if (a == "--italic") {
      source.italic = true;
    } else if (a == "--size" && hasValue) {
      if (!ParseNumber(args[++i], kavo::kMinFontPoints, kavo::kMaxFontPoints, source.pointSize)) return Usage();
      sized = true;
    } else if (a == "--range" && hasValue) {
      TCharRange r;
      if (!ParseRange(args[++i], r)) return Usage();
      ranges.push_back(r);
    } else if (a == "--codepage" && hasValue) {
      codePage = args[++i];
    } else if (a == "-o" && hasValue) {
      out = args[++i];
    } else {
      return Usage();
    }
  }
  if (!sized || out.empty()) return Usage();
  if (ranges.empty()) ranges.push_back(TCharRange{32, 125});
  if (!kavo::IsKnownCodePage(codePage)) return Fail("unknown code page " + codePage);

  // The engine would go on with an empty font; a baker says why it cannot.
  {
    kavo::TTextRaster raster;
    std::string why;
    if (!raster.Open(source, why)) return Fail(source.file + ": " + why);
  }
  std::string gsf, png, error;
  try {
    kavo::scene::TGLSpeechFont font(source, ranges, codePage);
    if (!kavo::scene::BakeStoredFont(font, gsf, png, error)) return Fail(error);
    std::cout << "baked " << out << ": cell " << font.data.charWidth << " x " << font.data.charHeight
              << ", picture " << font.picture.Width() << " x " << font.picture.Height() << "\n";
  } catch (const kavo::EKavoError& e) {
    return Fail(source.file + " at " + std::to_string(source.pointSize) + " points: " + e.Message());
  }
  const std::string picture = kavo::SpeechFontPictureName(out);
  if (!Files().WriteFile(out, gsf, &error)) return Fail(out + ": " + error);
  if (!Files().WriteFile(picture, png, &error)) return Fail(picture + ": " + error);
  return 0;
}

int Show(const std::string& file) {
  std::string data, pictureFile, picture, why;
  if (!Files().ReadFile(file, data, &why, size_t(1) << 20)) return Fail(file + ": " + why);
  if (!FindPicture(file, pictureFile)) return Fail(file + ": its picture " + pictureFile + " is missing");
  if (!Files().ReadFile(pictureFile, picture, &why, size_t(64) << 20)) return Fail(pictureFile + ": " + why);
  // An empty stand-in (no face) that the stored pair replaces whole.
  kavo::TSourceFont none;
  kavo::scene::TGLStoredSpeechFont font(none);
  if (!font.LoadStored(data, picture, pictureFile, why)) return Fail(file + ": " + why);
  const kavo::scene::BitmapFontData& f = font.data;
  std::cout << "file: " << file << "\n"
            << "picture: " << pictureFile << " " << font.picture.Width() << " x " << font.picture.Height() << "\n"
            << "CharWidth: " << f.charWidth << "\n"
            << "CharHeight: " << f.charHeight << "\n";
  int drawn = 0;
  for (int32_t w : f.widths) drawn += w > 0;
  std::cout << "characters drawn: " << drawn << "\n";
  std::cout << "widths from 32:";
  for (int c = 32; c < 48; ++c) std::cout << " " << f.widths[size_t(c)];
  std::cout << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "bake") return Bake(args);
  if (args.size() == 2 && args[0] == "show") return Show(args[1]);
  return Usage();
}
