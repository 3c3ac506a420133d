#include "audio/audio_classes.h"

namespace kavo {
KAVO_SIMPLE_CLASS_IMPL(TSoundClass, KAVO_NO_REGISTRY)
}  // namespace kavo
