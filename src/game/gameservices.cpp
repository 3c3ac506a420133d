#include "game/gameservices.h"

#include "shell/kavoform.h"

namespace kavo {

void FireScriptTimers(TKavoForm&) {}

}  // namespace kavo
