// TGameClass (script class TGame): the game-wide settings and services. The
// configuration script creates it; the engine reads its fields everywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "game/keycodes.h"
#include "script/binding.h"
#include "script/scriptclass.h"

namespace kavo {

class TKavo_ScriptEnvoirement;
class TRegistryBase;

struct TBinding {
  int32_t key = 0;
  bool onRelease = false;
  std::string function;  // at most 255 characters
};

// A text file loaded with Game.LoadTextFile: its bytes once, and where each
// line starts and ends in them (a line break ends at CR, LF or CR LF).
class TTextFile {
 public:
  // The largest text file scripts may load.
  static constexpr size_t kMaxBytes = size_t(8) << 20;
  explicit TTextFile(std::string text);
  size_t LineCount() const { return starts_.size(); }
  std::string Line(size_t i) const { return text_.substr(starts_[i], ends_[i] - starts_[i]); }
  std::vector<std::string> Lines() const;

 private:
  std::string text_;
  std::vector<uint32_t> starts_, ends_;
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
  bool saveInProgress = false;  // from gathering a save's lines to its after-save events
  bool saveGathering = false;   // a save's lines are being gathered
  std::string currentCursorFile;

  std::vector<TBinding> bindings;
  std::vector<TTextFile> textFiles;
  std::vector<std::string> textFileNames;

  // Game.CodePage: the 8-bit code page HUD texts are shown in and the
  // run-time speech font is drawn for (set by the configuration script; the
  // font follows at start-up). A name iconv does not know is refused with a
  // log line.
  void SetCodePage(const std::string& name);

  // Script methods.
  void Script_LOG(TKavo_ScriptFunctionData& d);
  void Script_LoadScript(const std::string& file);
  void Script_CallFunction(const std::string& function);
  void Script_Close();
  void Script_ShowMenu(int64_t menu);
  void Script_HideMenu(int64_t menu);
  void Script_HideAllMenus();
  void Script_SetBackgroundRGB(double r, double g, double b);
  void Script_SetGlobalAmbienceRGB(double r, double g, double b);
  void Script_SetFogRGB(double r, double g, double b);

  // Services (gameservices.cpp).
  void Script_Bind(TKavo_ScriptFunctionData& d);
  void Script_Unbind(TVirtualKey key);
  bool Script_IsKeyDown(TVirtualKey key);
  int Script_Ord(const std::string& s);
  void Script_ProcessClick(int64_t x, int64_t y, int64_t button);
  double Script_Get3DX(double x, double y);
  double Script_Get3DY(double x, double y);
  double Script_Get3DZ(double x, double y);
  std::string Script_GetMeshName(int64_t id);
  std::string Script_GetDummyName(int64_t id);
  std::string Script_GetActorName(int64_t id);
  std::string Script_GetHudspriteName(int64_t id);
  std::string Script_GetHudtextName(int64_t id);
  void Script_SetMouseCursor(const std::string& file);
  void Script_SetMouseOffset(int64_t x, int64_t y);
  void Script_SetMouseTransparency(TOrdinal mode);
  void Script_SetShadowMode(int64_t mode);
  void Script_SetTimer(double dueTime, const std::string& function);
  int Script_LoadTextFile(const std::string& name);
  bool Script_ForgetTextFile(const std::string& name);
  TVariant Script_ReadLine(const std::string& name, std::optional<int64_t> line);
  void Script_AddRawConversationData(TKavo_ScriptFunctionData& d);
  void Script_ClearConversations(TKavo_ScriptFunctionData& d);
  void Script_SaveGame(TKavo_ScriptFunctionData& d);
  void Script_LoadGame(TKavo_ScriptFunctionData& d);
  void Script_SaveExists(TKavo_ScriptFunctionData& d);
  void Script_SkipToNextConversation(TKavo_ScriptFunctionData& d);

  // Position of a text file in the table (name compared without regard to
  // case), or -1.
  int TextFileIndex(const std::string& name) const;

 private:
  double Get3D(double x, double y, int axis);
  std::string GetName(int64_t index, const TRegistryBase& list);
};

// Registers TGame and the key-code globals after it.
void RegisterGameClass(TKavo_ScriptEnvoirement& env);

// Loads the GUI script once ("scripts\" + Game.GUIScript).
void LoadGuiScript(TKavoContext& ctx);

// Colour from three script numbers: each rounded (ties to even), its lowest
// 8 bits used; r in the low byte, b in the high byte.
uint32_t ColorFromNumbers(double r, double g, double b);

}  // namespace kavo
