#include "world/world_classes.h"

namespace kavo {
KAVO_SIMPLE_CLASS_IMPL(TActorClass, &TKavoForm::actors, true)
KAVO_SIMPLE_CLASS_IMPL(TAnimationClass, &TKavoForm::animations, true)
}  // namespace kavo
