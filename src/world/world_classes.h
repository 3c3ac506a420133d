// World classes whose members arrive with later work.
#pragma once

#include "script/simpleclass.h"

namespace kavo {
KAVO_SIMPLE_CLASS_DECL(TActorClass)
KAVO_SIMPLE_CLASS_DECL(TAnimationClass)
}  // namespace kavo
