#include "world/world_classes.h"

namespace kavo {
KAVO_SIMPLE_CLASS_IMPL(TAnimationClass, KAVO_REGISTRY(animations))
}  // namespace kavo
