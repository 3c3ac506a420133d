#include "game/kavogame.h"

#include <cmath>

#include "core/log.h"
#include "game/gameservices.h"
#include "hud/kavomenu.h"
#include "scene/collision.h"
#include "scene/scenetree.h"
#include "script/context.h"
#include "script/environment.h"

namespace kavo {

const TKeyCodeName kKeyCodeNames[] = {
    {"VK_LBUTTON", 1}, {"VK_RBUTTON", 2}, {"VK_MBUTTON", 4}, {"VK_MWHEEL", 128}, {"VK_CANCEL", 3},
    {"VK_BACK", 8}, {"VK_TAB", 9}, {"VK_CLEAR", 12}, {"VK_RETURN", 13}, {"VK_SHIFT", 16},
    {"VK_CONTROL", 17}, {"VK_MENU", 18}, {"VK_PAUSE", 19}, {"VK_CAPITAL", 20}, {"VK_KANA", 21},
    {"VK_HANGUL", 21}, {"VK_JUNJA", 23}, {"VK_FINAL", 24}, {"VK_HANJA", 25}, {"VK_KANJI", 25},
    {"VK_CONVERT", 28}, {"VK_NONCONVERT", 29}, {"VK_ACCEPT", 30}, {"VK_MODECHANGE", 31},
    {"VK_ESCAPE", 27}, {"VK_SPACE", 32}, {"VK_PRIOR", 33}, {"VK_NEXT", 34}, {"VK_END", 35},
    {"VK_HOME", 36}, {"VK_LEFT", 37}, {"VK_UP", 38}, {"VK_RIGHT", 39}, {"VK_DOWN", 40},
    {"VK_SELECT", 41}, {"VK_PRINT", 42}, {"VK_EXECUTE", 43}, {"VK_SNAPSHOT", 44}, {"VK_INSERT", 45},
    {"VK_DELETE", 46}, {"VK_HELP", 47}, {"VK_LWIN", 91}, {"VK_RWIN", 92}, {"VK_APPS", 93},
    {"VK_NUMPAD0", 96}, {"VK_NUMPAD1", 97}, {"VK_NUMPAD2", 98}, {"VK_NUMPAD3", 99}, {"VK_NUMPAD4", 100},
    {"VK_NUMPAD5", 101}, {"VK_NUMPAD6", 102}, {"VK_NUMPAD7", 103}, {"VK_NUMPAD8", 104},
    {"VK_NUMPAD9", 105}, {"VK_MULTIPLY", 106}, {"VK_ADD", 107}, {"VK_SEPARATOR", 108},
    {"VK_SUBTRACT", 109}, {"VK_DECIMAL", 110}, {"VK_DIVIDE", 111}, {"VK_F1", 112}, {"VK_F2", 113},
    {"VK_F3", 114}, {"VK_F4", 115}, {"VK_F5", 116}, {"VK_F6", 117}, {"VK_F7", 118}, {"VK_F8", 119},
    {"VK_F9", 120}, {"VK_F10", 121}, {"VK_F11", 122}, {"VK_F12", 123}, {"VK_F13", 124}, {"VK_F14", 125},
    {"VK_F15", 126}, {"VK_F16", 127}, {"VK_F17", 128}, {"VK_F18", 129}, {"VK_F19", 130}, {"VK_F20", 131},
    {"VK_F21", 132}, {"VK_F22", 133}, {"VK_F23", 134}, {"VK_F24", 135}, {"VK_NUMLOCK", 144},
    {"VK_SCROLL", 145}, {"VK_LSHIFT", 160}, {"VK_RSHIFT", 161}, {"VK_LCONTROL", 162},
    {"VK_RCONTROL", 163}, {"VK_LMENU", 164}, {"VK_RMENU", 165}, {"VK_PROCESSKEY", 229},
    {"VK_ATTN", 246}, {"VK_CRSEL", 247}, {"VK_EXSEL", 248}, {"VK_EREOF", 249}, {"VK_PLAY", 250},
    {"VK_ZOOM", 251}, {"VK_NONAME", 252}, {"VK_PA1", 253}, {"VK_OEM_CLEAR", 254},
};
const size_t kKeyCodeCount = sizeof(kKeyCodeNames) / sizeof(kKeyCodeNames[0]);

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
        .Method("SkipToNextConversation", &T::Script_SkipToNextConversation, "");
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
