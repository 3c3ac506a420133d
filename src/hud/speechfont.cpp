#include "hud/speechfont.h"

#include "core/errors.h"
#include "core/log.h"
#include "scene/speechfont.h"
#include "script/context.h"

namespace kavo {

namespace {

// A stored font is 5,136 bytes; anything far past that is no font.
constexpr size_t kMaxFontDataBytes = size_t(1) << 20;
constexpr size_t kMaxPictureBytes = size_t(64) << 20;

}  // namespace

std::string SpeechFontPictureName(const std::string& fontFile) {
  const size_t slash = fontFile.find_last_of("\\/:");
  const size_t dot = fontFile.rfind('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? fontFile.substr(0, dot) : fontFile) + ".png";
}

bool LoadStoredSpeechFont(TKavoContext& ctx, scene::TGLStoredSpeechFont& font, const std::string& fontFile) {
  const TKavoFileLocation loc = ctx.files.Resolve(fontFile);
  if (loc.ResolvedPath.empty()) return false;
  auto refuse = [&](const std::string& reason) {
    KavoLog("Kavo Core: The speech font " + fontFile + " was not loaded (" + reason + "); the built-in font stays");
    return false;
  };

  // The picture lies beside the font: in the same archive, or loose in the
  // same folder (any letter case of its name).
  TKavoFileLocation pictureLoc;
  const std::string pictureName = SpeechFontPictureName(fontFile);
  if (!loc.ArchiveName.empty()) {
    pictureLoc = loc;
    pictureLoc.ResolvedPath = SpeechFontPictureName(loc.ResolvedPath);
  } else {
    pictureLoc = ctx.files.Resolve(SpeechFontPictureName(loc.ResolvedPath));
    if (!pictureLoc.ArchiveName.empty()) pictureLoc = TKavoFileLocation{};
  }

  std::string data, picture, error;
  try {
    if (!ctx.files.Read(loc, data, &error, kMaxFontDataBytes)) return refuse(error);
    if (pictureLoc.ResolvedPath.empty()) return refuse("its picture " + pictureName + " is missing");
    if (!ctx.files.Read(pictureLoc, picture, &error, kMaxPictureBytes))
      return refuse("its picture " + pictureName + ": " + error);
  } catch (const EKavoError& e) {
    // A damaged archive costs the stored font, not the game.
    return refuse(e.Message());
  }
  if (!font.LoadStored(data, picture, pictureName, error)) return refuse(error);
  return true;
}

}  // namespace kavo
