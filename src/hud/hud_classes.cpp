#include "hud/hud_classes.h"

namespace kavo {
KAVO_SIMPLE_CLASS_IMPL(THudspriteClass, &TKavoForm::hudSprites, true)
KAVO_SIMPLE_CLASS_IMPL(THudTrackBarClass, nullptr, true)
KAVO_SIMPLE_CLASS_IMPL(THudtextClass, &TKavoForm::hudTexts, true)
KAVO_SIMPLE_CLASS_IMPL(TInventoryClass, &TKavoForm::inventories, true)
KAVO_SIMPLE_CLASS_IMPL(TConversationClass, nullptr, true)
}  // namespace kavo
