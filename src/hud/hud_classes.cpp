#include "hud/hud_classes.h"

namespace kavo {
KAVO_SIMPLE_CLASS_IMPL(THudTrackBarClass, KAVO_NO_REGISTRY)
KAVO_SIMPLE_CLASS_IMPL(TConversationClass, KAVO_NO_REGISTRY)
}  // namespace kavo
