#include "audio/kavosound.h"

#include <exception>

#include "audio/soundsystem.h"
#include "core/log.h"
#include "core/strings.h"

namespace kavo {

namespace {
using T = TSoundClass;

// Where a resolved file lies, as the sample's name: the same file asked for
// in other words (letter case, "/" or "\") is the same sample.
std::string PlaceOf(const TKavoFileLocation& loc) {
  if (loc.ArchiveName.empty()) return loc.ResolvedPath;
  return loc.ArchiveFolder + loc.ArchiveName + "|" + loc.ResolvedPath;
}

bool Flag(const TKavo_ScriptFunctionData& d, size_t i) { return IntegerArg(d, i, "boolean") != 0; }
}  // namespace

const TScriptClassInfo& TSoundClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TSoundClass", &TKavo_ScriptClass::StaticInfo(), MakeScriptObject<T>);
    TClassBuilder<T>(i)
        .Method("Play", &T::Script_Play, "index (integer), loop (boolean): plays a sample once or for ever")
        .Method("Stop", &T::Script_Stop, "index (integer): halts every play of the sample")
        .Method("StopAll", &T::Script_StopAll, "")
        .Method("Unload", &T::Script_Unload, "stops and frees every sample; indexes start again at 0")
        .Method("IsPlaying", &T::Script_IsPlaying, "index (integer) -> 1 while the sample is heard, else 0")
        .Method("GetSoundPos", &T::Script_GetSoundPos, "deprecated: only logs")
        .Method("SetVolume", &T::Script_SetVolume, "index, volume (integers, 0..128): the sample's heard plays")
        .Method("GetVolume", &T::Script_GetVolume, "index (integer) -> volume; 0 for a bad index, -1 before a play")
        .Method("SetPan", &T::Script_SetPan, "index, pan (integers, 0 left .. 100 right)")
        .Method("GetPan", &T::Script_GetPan, "index (integer) -> pan; 0 for a bad index, -1 before a play")
        .Method("SetPitch", &T::Script_SetPitch, "deprecated: only logs")
        .Method("GetPitch", &T::Script_GetPitch, "deprecated: only logs")
        .Method("FadeIn", &T::Script_FadeIn, "index, milliseconds (integers): restarts a played sample fading in")
        .Method("FadeOut", &T::Script_FadeOut, "index, milliseconds (integers)")
        .Method("AddFromFile", &T::Script_AddFromFile,
                "file (string) -> the sample's index (the earlier one for a file already loaded), -1 on failure")
        .Method("AddSpeechFX", &T::Script_AddSpeechFX, "file (string)[, name]: a speech sample named by name or file")
        .Method("UnloadSpeech", &T::Script_UnloadSpeech, "stops and frees every speech sample and forgets their names")
        .Method("SetMasterVolume", &T::Script_SetMasterVolume, "volume (integer, 0..128): scales every sound")
        .Method("SetSpeechVolume", &T::Script_SetSpeechVolume, "volume (integer, 0..128): scales the speech samples")
        .Method("Destroy", &T::Script_Destroy, "");
    return i;
  }();
  return info;
}

int64_t LoadSoundFile(TKavoContext& ctx, TSDLSoundSystem& system, const std::string& file) {
  const TKavoFileLocation loc = ctx.files.Resolve(ToBackslashes(file));
  if (loc.ResolvedPath.empty()) {
    system.Error("Error while loading " + file + " !");
    return -1;
  }
  const std::string place = PlaceOf(loc);
  const int64_t known = system.IndexOf(place);
  if (known >= 0) return known;
  std::string bytes, why;
  bool read = false;
  try {
    read = ctx.files.Read(loc, bytes, &why, IAudioMixer::kMaxSourceBytes);
  } catch (const std::exception& e) {
    why = e.what();  // a broken archive: the sound is missing, the game goes on
  }
  ctx.files.EnterDataFolder();
  if (!read) {
    system.Error("Error while loading " + file + " !");
    system.Note(file + ": " + why);
    return -1;
  }
  return system.AddFromStream(place, bytes);
}

uint64_t PlaySpeechEffect(TKavoContext& ctx, std::string_view name) {
  if (!ctx.speechSounds || name.empty()) return 0;
  const int64_t index = ctx.speechSounds->IndexOfLabel(name);
  return index >= 0 ? ctx.speechSounds->PlayOnce(index) : 0;
}

bool SpeechEffectHeard(TKavoContext& ctx, uint64_t token) {
  return ctx.speechSounds && ctx.speechSounds->IsPlayHeard(token);
}

void StopSpeechEffect(TKavoContext& ctx, uint64_t token) {
  if (ctx.speechSounds) ctx.speechSounds->StopPlay(token);
}

// Without audio systems (never made, or freed by the close) every method
// still checks its arguments and then does nothing.

void TSoundClass::Script_Play(TKavo_ScriptFunctionData& d) {
  const int64_t index = IntegerArg(d, 0);
  const bool loop = Flag(d, 1);
  if (Ctx.sounds) Ctx.sounds->Play(index, loop);
}

void TSoundClass::Script_Stop(TKavo_ScriptFunctionData& d) {
  const int64_t index = IntegerArg(d, 0);
  if (Ctx.sounds) Ctx.sounds->Stop(index);
}

void TSoundClass::Script_StopAll(TKavo_ScriptFunctionData&) {
  if (Ctx.sounds) Ctx.sounds->StopAll();
}

void TSoundClass::Script_Unload(TKavo_ScriptFunctionData&) {
  if (!Ctx.sounds) return;
  Ctx.sounds->StopAll();
  Ctx.sounds->UnloadAll();
}

void TSoundClass::Script_IsPlaying(TKavo_ScriptFunctionData& d) {
  const int64_t index = IntegerArg(d, 0);
  d.Result = TVariant(Ctx.sounds != nullptr && Ctx.sounds->IsPlaying(index));
}

void TSoundClass::Script_GetSoundPos(TKavo_ScriptFunctionData&) { KavoLog("TSound.GetSoundPos is deprecated"); }
void TSoundClass::Script_SetPitch(TKavo_ScriptFunctionData&) { KavoLog("TSound.SetPitch is deprecated"); }
void TSoundClass::Script_GetPitch(TKavo_ScriptFunctionData&) { KavoLog("TSound.GetPitch is deprecated"); }

void TSoundClass::Script_SetVolume(TKavo_ScriptFunctionData& d) {
  const int64_t index = IntegerArg(d, 0), volume = IntegerArg(d, 1);
  if (Ctx.sounds) Ctx.sounds->SetVolume(index, volume);
}

void TSoundClass::Script_GetVolume(TKavo_ScriptFunctionData& d) {
  const int64_t index = IntegerArg(d, 0);
  d.Result = TVariant(Ctx.sounds ? Ctx.sounds->GetVolume(index) : int64_t(0));
}

void TSoundClass::Script_SetPan(TKavo_ScriptFunctionData& d) {
  const int64_t index = IntegerArg(d, 0), pan = IntegerArg(d, 1);
  if (Ctx.sounds) Ctx.sounds->SetPan(index, pan);
}

void TSoundClass::Script_GetPan(TKavo_ScriptFunctionData& d) {
  const int64_t index = IntegerArg(d, 0);
  d.Result = TVariant(Ctx.sounds ? Ctx.sounds->GetPan(index) : int64_t(0));
}

void TSoundClass::Script_FadeIn(TKavo_ScriptFunctionData& d) {
  const int64_t index = IntegerArg(d, 0), ms = IntegerArg(d, 1);
  if (Ctx.sounds) Ctx.sounds->FadeIn(index, ms);
}

void TSoundClass::Script_FadeOut(TKavo_ScriptFunctionData& d) {
  const int64_t index = IntegerArg(d, 0), ms = IntegerArg(d, 1);
  if (Ctx.sounds) Ctx.sounds->FadeOut(index, ms);
}

void TSoundClass::Script_AddFromFile(TKavo_ScriptFunctionData& d) {
  const std::string& file = StringArg(d, 0);
  d.Result = TVariant(Ctx.sounds ? LoadSoundFile(Ctx, *Ctx.sounds, file) : int64_t(-1));
}

void TSoundClass::Script_AddSpeechFX(TKavo_ScriptFunctionData& d) {
  const std::string& file = StringArg(d, 0);
  const std::string name = HasArg(d, 1) ? d.Args[1].ToText() : file;
  if (!Ctx.speechSounds) return;
  const int64_t index = LoadSoundFile(Ctx, *Ctx.speechSounds, file);
  // Only a sample that loaded is named; a name given again names the newer one.
  if (index < 0) return;
  Ctx.speechSounds->SetLabel(name, index);
  for (const std::string& known : Ctx.speechEffects)
    if (SameTextIgnoringCase(known, name)) return;
  Ctx.speechEffects.push_back(name);
}

void TSoundClass::Script_UnloadSpeech(TKavo_ScriptFunctionData&) {
  Ctx.speechEffects.clear();
  if (!Ctx.speechSounds) return;
  Ctx.speechSounds->StopAll();
  Ctx.speechSounds->UnloadAll();
}

void TSoundClass::Script_SetMasterVolume(TKavo_ScriptFunctionData& d) {
  const int64_t volume = IntegerArg(d, 0);
  for (TSDLSoundSystem* s : {Ctx.sounds, Ctx.speechSounds})
    if (s) s->SetMasterVolume(volume);
}

void TSoundClass::Script_SetSpeechVolume(TKavo_ScriptFunctionData& d) {
  const int64_t volume = IntegerArg(d, 0);
  if (Ctx.speechSounds) Ctx.speechSounds->SetSystemVolume(volume);
}

}  // namespace kavo
