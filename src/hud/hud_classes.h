// HUD classes whose members arrive with later work.
#pragma once

#include "hud/kavohudsprite.h"
#include "hud/kavoinventory.h"
#include "script/simpleclass.h"

namespace kavo {
KAVO_SIMPLE_CLASS_DECL(THudTrackBarClass)

}  // namespace kavo
