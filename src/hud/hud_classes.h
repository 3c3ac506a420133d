// HUD classes whose members arrive with later work.
#pragma once

#include "script/simpleclass.h"

namespace kavo {
KAVO_SIMPLE_CLASS_DECL(THudspriteClass)
KAVO_SIMPLE_CLASS_DECL(THudTrackBarClass)
KAVO_SIMPLE_CLASS_DECL(THudtextClass)
KAVO_SIMPLE_CLASS_DECL(TInventoryClass)
KAVO_SIMPLE_CLASS_DECL(TConversationClass)
}  // namespace kavo
