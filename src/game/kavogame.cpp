#include "game/kavogame.h"

#include "game/savegame.h"

#include <cmath>

#include "core/log.h"
#include "core/strings.h"
#include "game/gameservices.h"
#include "hud/kavomenu.h"
#include "platform/codepage.h"
#include "scene/collision.h"
#include "scene/scenetree.h"
#include "script/context.h"
#include "script/environment.h"

namespace kavo {

const TScriptClassInfo& TGameClass::StaticInfo() {
  static TScriptClassInfo info = [] {
    TScriptClassInfo i("TGameClass", &TKavo_ScriptClass::StaticInfo(), MakeScriptObject<TGameClass>);
    using T = TGameClass;
    using P = TPropType;
    TClassBuilder<T>(i)
        .Prop("FogStart", P::Single, [](T& g) { return g.Ctx.scene->windowSettings.fogStart; },
              [](T& g, double v) { g.Ctx.scene->windowSettings.fogStart = static_cast<float>(v); })
        .Prop("FogEnd", P::Single, [](T& g) { return g.Ctx.scene->windowSettings.fogEnd; },
              [](T& g, double v) { g.Ctx.scene->windowSettings.fogEnd = static_cast<float>(v); })
        .Prop("FogEnabled", P::Boolean, [](T& g) { return g.Ctx.scene->windowSettings.fogEnabled; },
              [](T& g, const TVariant& v) { g.Ctx.scene->windowSettings.fogEnabled = v.AsBool(); })
        .Field("SpeechfontFilename", P::ShortString, &T::SpeechfontFilename)
        .Prop("CodePage", P::ShortString, [](T& g) { return g.Ctx.codePage; },
              [](T& g, const TVariant& v) { g.SetCodePage(v.AsString()); })
        .Field("WalkpawnsFilename", P::ShortString, &T::WalkpawnsFilename)
        .Field("GUIScript", P::LongString, &T::GUIScript)
        .Prop("Width", P::Integer,
              [](T& g) {
                int w, h;
                g.Ctx.platform.GetClientSize(w, h);
                return TVariant(w);
              },
              [](T& g, const TVariant& v) {
                int w, h;
                g.Ctx.platform.GetClientSize(w, h);
                g.Ctx.host.SetViewSize(static_cast<int>(v.AsInt()), h);
              })
        .Prop("Height", P::Integer,
              [](T& g) {
                int w, h;
                g.Ctx.platform.GetClientSize(w, h);
                return TVariant(h);
              },
              [](T& g, const TVariant& v) {
                int w, h;
                g.Ctx.platform.GetClientSize(w, h);
                g.Ctx.host.SetViewSize(w, static_cast<int>(v.AsInt()));
              })
        .Field("Caption", P::LongString, &T::Caption)
        .Field("Title", P::LongString, &T::Title)
        .Field("PreviousRoom", P::LongString, &T::PreviousRoom)
        .Prop("CurrentRoom", P::LongString, [](T& g) { return g.Ctx.roomName; },
              [](T& g, const TVariant& v) { g.CurrentRoomStore = v.AsString(); })
        .Prop("MouseX", P::Integer, [](T& g) { return g.MouseX; },
              [](T& g, const TVariant& v) {
                if (v.AsInt() != 0) g.MouseX = static_cast<int32_t>(v.AsInt());
              })
        .Prop("MouseY", P::Integer, [](T& g) { return g.MouseY; },
              [](T& g, const TVariant& v) {
                if (v.AsInt() != 0) g.MouseY = static_cast<int32_t>(v.AsInt());
              })
        .Prop("MouseWidth", P::Integer,
              [](T& g) { return static_cast<int>(std::nearbyint(g.Ctx.services->cursor.width)); },
              [](T& g, const TVariant& v) { g.Ctx.services->cursor.width = static_cast<float>(v.AsInt()); })
        .Prop("MouseHeight", P::Integer,
              [](T& g) { return static_cast<int>(std::nearbyint(g.Ctx.services->cursor.height)); },
              [](T& g, const TVariant& v) { g.Ctx.services->cursor.height = static_cast<float>(v.AsInt()); })
        .Field("MouseEnabled", P::Boolean, &T::MouseEnabled)
        .Prop("MouseRotation", P::Single, [](T& g) { return static_cast<double>(g.Ctx.services->cursor.rotation); },
              [](T& g, const TVariant& v) { g.Ctx.services->cursor.rotation = static_cast<float>(v.AsDouble()); })
        .Prop("MouseVisible", P::Boolean, [](T& g) { return g.MouseVisible; },
              [](T& g, const TVariant& v) {
                g.MouseVisible = v.AsBool();
                g.Ctx.services->cursor.visible = g.MouseVisible;
              })
        .Field("MouseLook", P::Boolean, &T::MouseLook)
        .Field("MouseMoveAroundTarget", P::Boolean, &T::MouseMoveAroundTarget)
        .Field("MouseLookInvert", P::Boolean, &T::MouseLookInvert)
        .Prop("Gravity", P::Double, [](T& g) { return static_cast<double>(g.Ctx.collisions->Gravity()); },
              [](T& g, const TVariant& v) {
                if (static_cast<float>(v.AsDouble()) != g.Ctx.collisions->Gravity())
                  g.Ctx.collisions->SetGravity(static_cast<float>(v.AsDouble()));
              })
        .Prop("TimeMultiplier", P::Double, [](T& g) { return static_cast<double>(g.Ctx.clock->TimeMultiplier()); },
              [](T& g, const TVariant& v) {
                if (v.AsDouble() != g.Ctx.clock->TimeMultiplier()) g.Ctx.clock->SetTimeMultiplier(v.AsDouble());
              })
        .Prop("CurrentTime", P::Double, [](T& g) { return static_cast<double>(g.Ctx.clock->CurrentTime()); },
              [](T& g, const TVariant& v) { g.Ctx.clock->SetCurrentTime(v.AsDouble()); })
        .Field("DeltaTime", P::Double, &T::DeltaTime)
        .Field("FPS", P::Single, &T::FPS)
        .Field("Acceleration", P::LongString, &T::Acceleration)
        .Prop("FlatShading", P::Boolean, [](T& g) { return !g.Ctx.scene->windowSettings.lighting; },
              [](T& g, const TVariant& v) { g.Ctx.scene->windowSettings.lighting = !v.AsBool(); })
        .Field("GLSLSupport", P::Boolean, &T::GLSLSupport)
        .Field("Debug", P::Boolean, &T::Debug)
        .Field("Fullscreen", P::Boolean, &T::Fullscreen)
        .Field("GameLoading", P::Boolean, &T::GameLoading)
        .Field("DisableScene", P::Boolean, &T::DisableScene)
        .Method("LOG", &T::Script_LOG, "[any]")
        .Bind<&T::Script_LoadScript>("LoadScript")
        .Bind<&T::Script_CallFunction>("CallFunction")
        .Bind<&T::Script_Close>("Close")
        .Bind<&T::Script_ShowMenu>("ShowMenu")
        .Bind<&T::Script_HideMenu>("HideMenu")
        .Bind<&T::Script_HideAllMenus>("HideAllMenus")
        .Bind<&T::Script_SetBackgroundRGB>("SetBackgroundRGB")
        .Bind<&T::Script_SetGlobalAmbienceRGB>("SetGlobalAmbienceRGB")
        .Bind<&T::Script_SetFogRGB>("SetFogRGB")
        .Method("Bind", &T::Script_Bind, "virtual key code, string [, any: on release]")
        .Bind<&T::Script_Unbind>("Unbind")
        .Bind<&T::Script_IsKeyDown>("IsKeyDown")
        .Bind<&T::Script_Ord>("Ord")
        .Bind<&T::Script_ProcessClick>("ProcessClick")
        .Bind<&T::Script_Get3DX>("Get3DX")
        .Bind<&T::Script_Get3DY>("Get3DY")
        .Bind<&T::Script_Get3DZ>("Get3DZ")
        .Bind<&T::Script_GetMeshName>("GetMeshName")
        .Bind<&T::Script_GetDummyName>("GetDummyName")
        .Bind<&T::Script_GetActorName>("GetActorName")
        .Bind<&T::Script_GetHudspriteName>("GetHudspriteName")
        .Bind<&T::Script_GetHudtextName>("GetHudtextName")
        .Bind<&T::Script_SetMouseCursor>("SetMouseCursor")
        .Bind<&T::Script_SetMouseOffset>("SetMouseOffset")
        .Bind<&T::Script_SetMouseTransparency>("SetMouseTransparency")
        .Bind<&T::Script_SetShadowMode>("SetShadowMode")
        .Bind<&T::Script_SetTimer>("SetTimer")
        .Bind<&T::Script_LoadTextFile>("LoadTextFile")
        .Bind<&T::Script_ForgetTextFile>("ForgetTextFile")
        .Bind<&T::Script_ReadLine>("ReadLine")
        .Method("AddRawConversationData", &T::Script_AddRawConversationData, "[actor, text, start time, duration, blocking, end function]")
        .Method("ClearConversations", &T::Script_ClearConversations, "")
        .Method("SkipToNextConversation", &T::Script_SkipToNextConversation, "[true: stop the voices too]")
        .Method("SaveGame", &T::Script_SaveGame, "[file name] (default autosave.txt)")
        .Method("LoadGame", &T::Script_LoadGame, "file name")
        .Method("SaveExists", &T::Script_SaveExists, "file name: 1 when the save is there, else 0");
    return i;
  }();
  return info;
}

void TGameClass::Create() {
  TKavo_ScriptClass::Create();
  Ctx.game = this;
  GLSLSupport = Ctx.scene->glslSupport;
  Acceleration = Ctx.scene->windowSettings.renderingReport;
}

void TGameClass::DestroyObject() {
  if (Ctx.game == this) Ctx.game = nullptr;
  TKavo_ScriptClass::DestroyObject();
}

void TGameClass::SetCodePage(const std::string& name) {
  if (!IsKnownCodePage(name)) {
    KavoLog("Kavo Core: Unknown code page " + name + "; texts stay in " + Ctx.codePage);
    return;
  }
  Ctx.codePage = name;
}

void TGameClass::Script_LOG(TKavo_ScriptFunctionData& d) {
  // A string goes to the log as it is (the log cuts what is too long).
  if (HasArg(d, 0) && d.Args[0].IsString())
    KavoLog(d.Args[0].AsString());
  else
    KavoLog(HasArg(d, 0) ? d.Args[0].ToText() : std::string());
}

void TGameClass::Script_LoadScript(const std::string& file) { Ctx.script->LoadFile(file, false); }

void TGameClass::Script_CallFunction(const std::string& function) {
  Ctx.LoadRoomScript();
  Ctx.script->CallNoArgs(function);
}

void TGameClass::Script_Close() { Ctx.quitRequest = true; }

void TGameClass::Script_ShowMenu(int64_t menu) { Ctx.menus.At(menu)->Show(); }
void TGameClass::Script_HideMenu(int64_t menu) { Ctx.menus.At(menu)->Hide(); }

void TGameClass::Script_HideAllMenus() {
  // Hiding may run menu scripts that create or destroy menus.
  Ctx.menus.ForEachLive([](TMenuClass& m) { m.Hide(); });
}

uint32_t ColorFromNumbers(double r, double g, double b) {
  uint32_t c = 0;
  const double channels[] = {r, g, b};
  for (size_t i = 0; i < 3; ++i) c |= static_cast<uint32_t>(RoundToInteger(channels[i]) & 0xFF) << (8 * i);
  return c;
}

void TGameClass::Script_SetBackgroundRGB(double r, double g, double b) {
  Ctx.scene->windowSettings.backgroundColor = ColorFromNumbers(r, g, b);
}
void TGameClass::Script_SetGlobalAmbienceRGB(double r, double g, double b) {
  Ctx.scene->windowSettings.ambientColor = ColorFromNumbers(r, g, b);
}
void TGameClass::Script_SetFogRGB(double r, double g, double b) {
  Ctx.scene->windowSettings.fogColor = ColorFromNumbers(r, g, b);
}

void RegisterGameClass(TKavo_ScriptEnvoirement& env) {
  env.AddClass(TGameClass::StaticInfo(), "TGame");
  for (size_t i = 0; i < kKeyCodeCount; ++i) env.SetGlobal(TVariant(kKeyCodeNames[i].code), kKeyCodeNames[i].name);
}

void LoadGuiScript(TKavoContext& ctx) {
  if (ctx.script && ctx.game) ctx.script->LoadFile("scripts\\" + ctx.game->GUIScript, false);
}

}  // namespace kavo

namespace kavo {

void TGameClass::Script_SaveGame(TKavo_ScriptFunctionData& d) { RunSaveGame(*this, d); }

void TGameClass::Script_LoadGame(TKavo_ScriptFunctionData& d) { RunLoadGame(*this, d); }

void TGameClass::Script_SaveExists(TKavo_ScriptFunctionData& d) {
  const std::string file = StringArg(d, 0);
  d.Result = TVariant(static_cast<int64_t>(Ctx.files.Resolve(ToBackslashes(file)).ResolvedPath.empty() ? 0 : 1));
}

}  // namespace kavo
