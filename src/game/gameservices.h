// The game-wide services the Game object carries: script timers, key
// bindings, text files read line by line, the mouse cursor picture and the
// raw speech-line data. The TGameClass script methods of these services live
// in gameservices.cpp; this header offers what the engine itself calls.
#pragma once

#include <string>
#include <vector>

#include "game/gamerecords.h"

namespace kavo {

class TKavoForm;

// Fires the due script timers (frame step): each timer whose due time has
// passed is taken off the list, then its function runs in the room script.
// Timers set meanwhile wait for a later frame; timers removed meanwhile are
// skipped.
void FireScriptTimers(TKavoForm& form);

// Appends a script timer to the form's timer list.
void AddScriptTimer(TKavoForm& form, double dueTime, const std::string& function);

// Splits text into lines ending at CR, LF or CR LF; a final line break adds
// no empty line.
std::vector<std::string> SplitTextLines(const std::string& text);

// Every line break (CR, LF or CR LF) of a speech text becomes CR LF.
std::string SpeechLineBreaks(const std::string& text);

}  // namespace kavo
