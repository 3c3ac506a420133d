// TGameClass (script class TGame): the game-wide settings and services. The
// configuration script creates it; the engine reads its fields everywhere.
#pragma once

#include <string>
#include <vector>

#include "script/scriptclass.h"

namespace kavo {

class TKavo_ScriptEnvoirement;
class TRegistryBase;

struct TBinding {
  int32_t key = 0;
  bool onRelease = false;
  std::string function;  // at most 255 characters
};

class TGameClass : public TKavo_ScriptClass {
  KAVO_SCRIPT_CLASS()
 public:
  explicit TGameClass(TKavoContext& ctx) : TKavo_ScriptClass(ctx) {}
  void Create() override;
  void DestroyObject() override;

  // Stored properties.
  std::string SpeechfontFilename = "GUI\\speechfont.gsf";
  std::string WalkpawnsFilename = "GUI\\walkpawns.3ds";
  std::string GUIScript = "GUI.txt";
  std::string Caption = "Kavo";
  std::string Title = "Kavo";
  std::string PreviousRoom;
  std::string CurrentRoomStore;  // receives writes; reads give the loaded room
  int32_t MouseX = 0, MouseY = 0;
  bool MouseEnabled = true, MouseVisible = true, MouseLook = false, MouseMoveAroundTarget = false,
       MouseLookInvert = false;
  double DeltaTime = 0.0;
  float FPS = 0.0f;
  std::string Acceleration;
  bool GLSLSupport = false;
  bool Debug = true;
  bool Fullscreen = false;
  bool GameLoading = false;
  bool DisableScene = false;
  bool saveInProgress = false;
  std::string currentCursorFile;

  std::vector<TBinding> bindings;
  std::vector<std::vector<std::string>> textFiles;
  std::vector<std::string> textFileNames;

  // Script methods.
  void Script_LOG(TKavo_ScriptFunctionData& d);
  void Script_LoadScript(TKavo_ScriptFunctionData& d);
  void Script_CallFunction(TKavo_ScriptFunctionData& d);
  void Script_Close(TKavo_ScriptFunctionData& d);
  void Script_ShowMenu(TKavo_ScriptFunctionData& d);
  void Script_HideMenu(TKavo_ScriptFunctionData& d);
  void Script_HideAllMenus(TKavo_ScriptFunctionData& d);
  void Script_SetBackgroundRGB(TKavo_ScriptFunctionData& d);
  void Script_SetGlobalAmbienceRGB(TKavo_ScriptFunctionData& d);
  void Script_SetFogRGB(TKavo_ScriptFunctionData& d);

  // Services (gameservices.cpp).
  void Script_Bind(TKavo_ScriptFunctionData& d);
  void Script_Unbind(TKavo_ScriptFunctionData& d);
  void Script_IsKeyDown(TKavo_ScriptFunctionData& d);
  void Script_Ord(TKavo_ScriptFunctionData& d);
  void Script_ProcessClick(TKavo_ScriptFunctionData& d);
  void Script_Get3DX(TKavo_ScriptFunctionData& d);
  void Script_Get3DY(TKavo_ScriptFunctionData& d);
  void Script_Get3DZ(TKavo_ScriptFunctionData& d);
  void Script_GetMeshName(TKavo_ScriptFunctionData& d);
  void Script_GetDummyName(TKavo_ScriptFunctionData& d);
  void Script_GetActorName(TKavo_ScriptFunctionData& d);
  void Script_GetHudspriteName(TKavo_ScriptFunctionData& d);
  void Script_GetHudtextName(TKavo_ScriptFunctionData& d);
  void Script_SetMouseCursor(TKavo_ScriptFunctionData& d);
  void Script_SetMouseOffset(TKavo_ScriptFunctionData& d);
  void Script_SetMouseTransparency(TKavo_ScriptFunctionData& d);
  void Script_SetShadowMode(TKavo_ScriptFunctionData& d);
  void Script_SetTimer(TKavo_ScriptFunctionData& d);
  void Script_LoadTextFile(TKavo_ScriptFunctionData& d);
  void Script_ForgetTextFile(TKavo_ScriptFunctionData& d);
  void Script_ReadLine(TKavo_ScriptFunctionData& d);
  void Script_AddRawConversationData(TKavo_ScriptFunctionData& d);
  void Script_ClearConversations(TKavo_ScriptFunctionData& d);
  void Script_SkipToNextConversation(TKavo_ScriptFunctionData& d);

  // Position of a text file in the table (name compared without regard to
  // case), or -1.
  int TextFileIndex(const std::string& name) const;

 private:
  void Get3D(TKavo_ScriptFunctionData& d, const char* method, int axis);
  void GetName(TKavo_ScriptFunctionData& d, const char* method, const TRegistryBase& list);
};

// The 102 key-code globals, in registration order.
struct TKeyCodeName {
  const char* name;
  int code;
};
extern const TKeyCodeName kKeyCodeNames[];
extern const size_t kKeyCodeCount;
// Registers TGame and the key-code globals after it.
void RegisterGameClass(TKavo_ScriptEnvoirement& env);

// Loads the GUI script once ("scripts\" + Game.GUIScript).
void LoadGuiScript(TKavoContext& ctx);

// Colour from three script numbers: each rounded (ties to even), its lowest
// 8 bits used; r in the low byte, b in the high byte.
uint32_t ColorFromArgs(const TKavo_ScriptFunctionData& d, const char* method);

}  // namespace kavo
