// Plain records the main form keeps for the Game object's services: pending
// script timers and queued speech lines.
#pragma once

#include <cstdint>
#include <string>

namespace kavo {

// One pending script timer (Game.SetTimer). `serial` grows with every timer
// made, and timers are only ever appended, so the form's timer list stays
// sorted by serial: the timer walk finds a timer again by binary search after
// a script call changed the list.
struct TKavoEvent {
  double dueTime = 0.0;  // frame-clock seconds (Game.CurrentTime scale)
  std::string function;  // at most 255 characters
  uint64_t serial = 0;
  bool fired = false;  // taken off during a walk; the walk's end removes it
};

// One queued speech line. The speech step shows it above the actor, keeps it
// at least `duration` ms and then calls `endFunction` in the room script.
// A line keeps its own state: whether it is on show, whether it has ended,
// the play of its own speech sample and whether a skip reached it; the
// text is only what it shows (two identical lines play in turn, and an
// empty line still runs its course).
struct TSpeechObject {
  std::string endFunction;  // empty: none
  int32_t actorIndex = 0;   // the speaker's actor ID when queued
  std::string text;         // in the code page, line breaks as CR LF
  std::string sound;        // speech effect played at the start; empty: none
  float startTime = 0.0f;   // ms of frame-clock time when first shown; 0 = not yet
  int32_t duration = 0;     // ms
  bool blocking = false;    // may not start while another line is spoken

  uint64_t serial = 0;      // grows with every line queued: the queue stays sorted by it
  uint64_t speaker = 0;     // the speaking actor's object handle; 0: none
  uint64_t voice = 0;       // the play of its speech sample; 0: none
  bool onShow = false;
  bool finished = false;
  bool skipped = false;     // a skip asked while it was on show
};

}  // namespace kavo
