// The game-wide services the Game object carries that the frame loop acts
// on: script timers.
#pragma once

namespace kavo {

class TKavoForm;

// Fires the due script timers (frame step): each timer whose due time has
// passed is taken off the list, then its function runs in the room script.
void FireScriptTimers(TKavoForm& form);

}  // namespace kavo
