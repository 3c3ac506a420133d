#include "shell/classlist.h"

#include "audio/kavosound.h"
#include "game/kavogame.h"
#include "hud/hud_classes.h"
#include "hud/kavoconversation.h"
#include "hud/kavohudtext.h"
#include "hud/kavomenu.h"
#include "visual/kavomesh.h"
#include "visual/visual_classes.h"
#include "world/kavocamera.h"
#include "world/kavodummy.h"
#include "world/kavoroom.h"
#include "world/kavoactor.h"
#include "world/world_classes.h"

namespace kavo {

const std::vector<TScriptClassEntry>& ScriptClasses() {
  static const std::vector<TScriptClassEntry> classes = {
      {"TRoom", &TRoomClass::StaticInfo},
      {"TActor", &TActorClass::StaticInfo},
      {"TCamera", &TCameraClass::StaticInfo},
      {"TLight", &TLightClass::StaticInfo},
      {"TDummy", &TDummyClass::StaticInfo},
      {"THudsprite", &THudspriteClass::StaticInfo},
      {"THudtrackbar", &THudTrackBarClass::StaticInfo},
      {"THudtext", &THudtextClass::StaticInfo},
      {"TMesh", &TMeshClass::StaticInfo},
      {"TMenu", &TMenuClass::StaticInfo},
      {"TSprite", &TSpriteClass::StaticInfo},
      {"TGame", &TGameClass::StaticInfo},
      {"TShader", &TShaderClass::StaticInfo},
      {"TPostEffect", &TPostEffectClass::StaticInfo},
      {"TSkybox", &TSkyBoxClass::StaticInfo},
      {"TSound", &TSoundClass::StaticInfo},
      {"TInventory", &TInventoryClass::StaticInfo},
      {"TAnimation", &TAnimationClass::StaticInfo},
      {"TConversation", &TConversationClass::StaticInfo},
      {"TMaterials", &TMaterialsClass::StaticInfo},
  };
  return classes;
}

}  // namespace kavo
