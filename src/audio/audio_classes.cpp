#include "audio/audio_classes.h"

namespace kavo {
KAVO_SIMPLE_CLASS_IMPL(TSoundClass, nullptr, true)
}  // namespace kavo
