// Where the speech font comes from at start-up: the stored pair the game
// names in Game.SpeechfontFilename (the ".gsf" data and, beside it, the
// picture of the same name with the extension ".png" in any letter case),
// loose in the data folder or both in one archive.
#pragma once

#include <string>

namespace kavo {

struct TKavoContext;
namespace scene {
class TGLStoredSpeechFont;
}

// The picture's name for a stored font: the extension replaced by ".png"
// (or ".png" added when there is none).
std::string SpeechFontPictureName(const std::string& fontFile);

// Loads the stored pair into the font. A font file the file manager does
// not find is passed over without a word: the run-time font stays. A found
// one must come with its picture, and both must pass the font's checks;
// else one log line names the file and the reason, and the run-time font
// stays too. Returns whether the stored font was taken.
bool LoadStoredSpeechFont(TKavoContext& ctx, scene::TGLStoredSpeechFont& font, const std::string& fontFile);

}  // namespace kavo
