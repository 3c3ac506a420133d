#include "hud/hud_classes.h"

namespace kavo {
KAVO_SIMPLE_CLASS_IMPL(THudTrackBarClass, KAVO_NO_REGISTRY)
}  // namespace kavo
