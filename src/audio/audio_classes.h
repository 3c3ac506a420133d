// Audio classes whose members arrive with later work.
#pragma once

#include "script/simpleclass.h"

namespace kavo {
KAVO_SIMPLE_CLASS_DECL(TSoundClass)
}  // namespace kavo
