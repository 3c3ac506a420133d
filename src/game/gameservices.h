// The game-wide services the Game object carries: script timers, key
// bindings, text files read line by line, the mouse cursor picture and the
// raw speech-line data. The TGameClass script methods of these services live
// in gameservices.cpp; this header offers what the engine itself calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game/gamerecords.h"

namespace kavo {

struct TKavoContext;

// The mouse cursor sprite as scripts set it up (Game.MouseWidth,
// SetMouseOffset, ...); the frame places the sprite after each render.
struct TCursorState {
  float width = 64.0f, height = 64.0f, rotation = 0.0f;
  bool visible = true;
  int offsetX = 32, offsetY = 32;  // from the pointer to the sprite's centre
};

// What the game services keep between calls: pending script timers in the
// order set, queued speech lines with the speech flags, the save buffer,
// the shadow mode and the cursor. Bindings and text files live on the Game
// object itself.
struct TGameServices {
  std::vector<TKavoEvent> timers;
  uint64_t nextTimerSerial = 1;
  std::vector<TSpeechObject> speechQueue;
  uint64_t nextSpeechSerial = 1;
  std::vector<uint64_t> speechWalk;  // the speech step's buffer
  // A line is on show; derived from the lines themselves after each change.
  bool speechInProgress = false;
  // Kept for older callers; a skip reaches the lines on show (their own flag).
  bool speechSkip = false;
  std::vector<std::string> saveBuffer;
  int shadowMode = 2;  // 0 off, 1 darkening, 2 accurate
  TCursorState cursor;

  // Back to the state of a fresh start (start-up and the close).
  void Clear();
};

// Fires the due script timers (frame step): each timer whose due time has
// passed is taken off the list, then its function runs in the room script.
// Timers set meanwhile wait for a later frame; timers removed meanwhile are
// skipped.
void FireScriptTimers(TKavoContext& ctx);

// Appends a script timer to the timer list.
void AddScriptTimer(TKavoContext& ctx, double dueTime, const std::string& function);

// Held keys (the frame step): while the main window is the active window,
// every binding whose on-release flag is false and whose key is held calls
// its function in the GUI script.
void FireHeldKeyBindings(TKavoContext& ctx);

// Every line break (CR, LF or CR LF) of a speech text becomes CR LF.
std::string SpeechLineBreaks(const std::string& text);

}  // namespace kavo
