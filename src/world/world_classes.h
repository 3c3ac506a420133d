// World classes whose members arrive with later work.
#pragma once

#include "script/simpleclass.h"

namespace kavo::scene {
class Node;
}

namespace kavo {

KAVO_SIMPLE_CLASS_DECL(TAnimationClass)

}  // namespace kavo
