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
struct TSpeechObject {
  std::string endFunction;  // empty: none
  int32_t actorIndex = 0;   // index into the actor list
  std::string text;         // the list key; cleared when the line ends
  std::string sound;        // speech effect played at the start; empty: none
  float startTime = 0.0f;   // ms of frame-clock time when first shown; 0 = not yet
  int32_t duration = 0;     // ms
  bool blocking = false;    // may not start while another line is spoken
};

}  // namespace kavo
