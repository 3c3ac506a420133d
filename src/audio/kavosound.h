// TSoundClass (script class TSound): scripts play sounds through it. A TSound
// object holds no sounds of its own: every one works on the main window's
// two sound systems, the general one (effects and music) and the speech one,
// so sample indexes are shared by all TSound objects and outlive them.
//
// Files load through the file manager, loose or from an archive, under the
// place they resolve to: asking for the same file twice gives its index
// again, whether it lies loose or packed. The speech-effect list holds the
// name of every speech sample that loaded, and the speech system knows each
// name's own sample (TSDLSoundSystem::IndexOfLabel), so a failed load never
// shifts the others.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/context.h"
#include "script/scriptclass.h"

namespace kavo {

class TSDLSoundSystem;

class TSoundClass : public TKavo_ScriptClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TSoundClass(TKavoContext& ctx) : TKavo_ScriptClass(ctx) {}

  void Script_Destroy(TKavo_ScriptFunctionData&) { DestroyObject(); }
  void Script_Play(TKavo_ScriptFunctionData& d);
  void Script_Stop(TKavo_ScriptFunctionData& d);
  void Script_StopAll(TKavo_ScriptFunctionData& d);
  void Script_Unload(TKavo_ScriptFunctionData& d);
  void Script_IsPlaying(TKavo_ScriptFunctionData& d);
  void Script_GetSoundPos(TKavo_ScriptFunctionData& d);
  void Script_SetVolume(TKavo_ScriptFunctionData& d);
  void Script_GetVolume(TKavo_ScriptFunctionData& d);
  void Script_SetPan(TKavo_ScriptFunctionData& d);
  void Script_GetPan(TKavo_ScriptFunctionData& d);
  void Script_SetPitch(TKavo_ScriptFunctionData& d);
  void Script_GetPitch(TKavo_ScriptFunctionData& d);
  void Script_FadeIn(TKavo_ScriptFunctionData& d);
  void Script_FadeOut(TKavo_ScriptFunctionData& d);
  void Script_AddFromFile(TKavo_ScriptFunctionData& d);
  void Script_AddSpeechFX(TKavo_ScriptFunctionData& d);
  void Script_UnloadSpeech(TKavo_ScriptFunctionData& d);
  void Script_SetMasterVolume(TKavo_ScriptFunctionData& d);
  void Script_SetSpeechVolume(TKavo_ScriptFunctionData& d);
};

// Loads a game file (data-folder relative, loose or archived) into a sound
// system; a file already loaded there gives its index again. Returns the
// sample's index, -1 when nothing loaded (the reason is logged).
int64_t LoadSoundFile(TKavoContext& ctx, TSDLSoundSystem& system, const std::string& file);

// For the speech step. A line's sound name is a speech effect when it is in
// ctx.speechEffects (letter case ignored). PlaySpeechEffect plays the speech
// sample of that name once and returns the play's token, 0 when nothing is
// played (no such name, no audio). SpeechEffectHeard tells whether that very
// play is still heard; false for 0.
uint64_t PlaySpeechEffect(TKavoContext& ctx, std::string_view name);
bool SpeechEffectHeard(TKavoContext& ctx, uint64_t token);
void StopSpeechEffect(TKavoContext& ctx, uint64_t token);

}  // namespace kavo
