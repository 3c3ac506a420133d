// TKavoForm: the engine root. One per process; it owns the platform window,
// the frame clock and timers, the script environment, the registries of
// script objects and everything else that is not a script class. Start-up,
// the main loop, the error path and the close sequence live here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "game/gamerecords.h"
#include "platform/platform.h"
#include "script/scriptclass.h"
#include "script/filemanager.h"
#include "core/cadencer.h"

namespace kavo {
namespace scene {
class StaticMeshNode;
class Node;
class CollisionManager;
}

class TKavo_ScriptEnvoirement;
class TGameClass;
class TMaterialsClass;
class TMenuClass;
class TKavoScene;
class TKavoArchiveReader;
struct TMeshBookkeeping;

// How the process was started (our own switches, beyond the game's).
struct TKavoOptions {
  bool headless = false;
  long long frames = -1;      // close after this many frame steps; -1 = never
  double fixedStepMs = 0.0;   // > 0: every frame advances the clock by exactly this
  std::string logPath;        // empty: "log.txt" beside the executable
  std::string screenshotPath;
  std::string inputText;   // the text of an --input file
  std::string recordPath;  // --record FILE
  std::string executableDir;  // empty: the running executable's directory
};

// The settings of a 3D view that scripts reach through the Game object.
struct TKavoViewSettings {
  int width = 800, height = 600;
  bool fogEnabled = true;
  float fogStart = 400.0f, fogEnd = 1000.0f;
  uint32_t fogColor = 0, backgroundColor = 0, ambientColor = 0;  // 0xBBGGRR
  bool lighting = true;
  std::string renderingReport = "Unknown";
};

class TKavoForm {
 public:
  TKavoForm(IPlatform& platform, TKavoOptions options);
  ~TKavoForm();
  TKavoForm(const TKavoForm&) = delete;
  TKavoForm& operator=(const TKavoForm&) = delete;

  // The start-up sequence, run once with the whole command line (index 0 is
  // the executable path).
  void Startup(const std::vector<std::string>& args);
  // Runs the message loop until the application terminates; returns the
  // process exit status (0 after a normal close, 1 after a fatal error).
  int Run();
  // One pass of the loop: events, timers, one idle frame. For tests.
  void RunOnce();
  bool Terminated() const { return terminated_; }
  int ExitStatus() const { return exitStatus_; }

  // Errors.
  void ShowFatalError(const std::string& message, int number);
  void HandleException(const std::exception& e);
  void TextureNeeded(const std::string& textureFile);
  static std::string ErrorDialogText(const std::string& message, int number);
  static std::string ErrorNumberText(int number);
  static std::string ErrorLink(int number);

  // Closing.
  void CloseMainWindow();  // close query, then the close sequence
  void RequestQuit() { quitRequest = true; }

  // Script objects.
  void RemoveObject(TKavo_ScriptClass* obj);
  void Bury(TKavo_ScriptClass* obj);  // freed once no native call uses it
  void FlushGraveyard();
  TKavo_ScriptEnvoirement& Script() { return *script_; }
  bool HasScript() const { return script_ != nullptr; }
  bool DebugMode() const;  // a Game object exists and its Debug is true
  void SetGame(TGameClass* game) { game_ = game; }
  TGameClass* Game() const { return game_; }

  // Loads the GUI script once ("scripts\" + Game.GUIScript).
  void LoadGuiScript();
  // Loads the current room's script once ("scripts\" + room script file).
  void LoadRoomScript();
  std::string RoomScriptFile() const { return roomScriptFile; }

  // Files.
  std::string DataFolder() const { return dataRoot + "data/"; }
  bool EnterDataFolder();

  // Window.
  // Game.Width and Game.Height: the main window's client size and the
  // full-screen view's size.
  void SetViewSize(int width, int height);

  // State (members of the main window).
  IPlatform& platform;
  TKavoOptions options;
  bool halted = false;
  bool quitRequest = false;
  bool packedMode = false;
  bool pluginAutoLoad = true;
  bool startupFinished = false;
  bool contextReset = false;
  std::string exeDir;    // ends in "/"
  std::string dataRoot;  // ends in "/"
  std::string modelBeingLoaded;
  std::string roomScriptFile;
  int mouseOffsetX = 32, mouseOffsetY = 32;
  int screenCentreX = 0, screenCentreY = 0;
  int lastCursorX = 0, lastCursorY = 0;
  float scriptLoadMs = 0.0f, scriptHeapSize = 0.0f;
  TKavoViewSettings windowView, fullscreenView;
  std::string roomName;  // the room holder's name: the current room
  float cursorWidth = 64.0f, cursorHeight = 64.0f, cursorRotation = 0.0f;
  bool cursorVisible = true;
  double gravity = -300.0;
  bool glslSupport = false;
  bool mouseTargetsVisible = false;
  std::vector<std::string> commandLinePlugins;
  // The first missing runtime piece, or empty; replaceable for tests.
  std::function<std::string()> libraryCheck;
  double lastFrameDelta = 0.0;
  long long frameSteps = 0;

  TObjectHandles handles;
  std::vector<TKavo_ScriptClass*> objects;
  std::vector<TKavo_ScriptClass*> actors, dummies, hudSprites, hudTexts, meshes, menus, shaders, postEffects,
      inventories, animations, runningAnimations, rooms;
  std::vector<std::string> loadedScripts, speechEffects, saveBuffer;
  // Game services: script timers in the order set, queued speech lines, the
  // speech flags and the shadow mode (0 off, 1 darkening, 2 accurate).
  std::vector<TKavoEvent> timers;
  std::vector<TSpeechObject> speechQueue;
  bool speechInProgress = false, speechSkip = false;
  int shadowMode = 2;
  std::vector<void*> plugins;
  TMaterialsClass* materialsObject = nullptr;
  TMenuClass* defaultMenu = nullptr;

  // Clock and timers.
  std::unique_ptr<TTimeSource> timeSource;
  std::unique_ptr<TCadencer> cadencer;
  TKavoTimer statusTimer{"status", 0.1}, hoverTimer{"hover", 0.1}, speechTimer{"speech", 0.1},
      guiProgressTimer{"guiprogress", 0.2};
  double TimerNow();  // the timers' clock: unscaled source time

  // Hooks later subsystems attach to.
  std::function<void(double delta)> onFrameStep;
  std::function<void(const TInputEvent&)> onInput;
  std::function<void(double delta)> onFrameStepLate;
  std::function<void()> onHover, onRoomProgress, onCloseScene;
  std::function<void(TKavo_ScriptClass& inventory)> onPrepareInventory;

  TKavoFileLocation speechFontLocation, walkpawnsLocation;

  // The archive reader: every ".kvo" archive opened so far.
  TKavoArchiveReader& Archives() { return *archives_; }

  // The fixed scene tree with its views; made with the window.
  std::unique_ptr<TKavoScene> scene;
  std::unique_ptr<kavo::scene::CollisionManager> collisions;
  std::unique_ptr<class TKavoRoom> roomHolder;
  std::unique_ptr<class TKavoInput> input;
  std::unique_ptr<class TScriptedInput> scriptedInput;
  std::unique_ptr<class TInputRecorder> recorder;
  // Held-key test: the platform's keys and the keys scripted input holds.
  bool IsKeyHeld(int vk) const;
  bool freeCamera = false;
  // Which script object owns a scene node (dummies' boxes, meshes, actors).
  std::unordered_map<const kavo::scene::Node*, TObjectHandle> nodeOwners;
  std::shared_ptr<TMeshBookkeeping> meshBookkeeping;  // shadow occluders, inventory item lists
  bool hover2D = false;
  // Runs one frame of the frame clock now (mouse moves do this).
  void RunOneFrame();
  // Draws one frame of the window view and places the pointer after it.
  void RenderFrame();
  // Loads a model into a mesh node through the file layer (disk or archive);
  // the model's folder becomes current so its textures are found.
  void LoadModelInto(kavo::scene::StaticMeshNode& node, const TKavoFileLocation& loc, const std::string& name);

 private:
  void StartupSequence(const std::vector<std::string>& args);
  void ReadSwitches(const std::vector<std::string>& args);
  void CheckLibraries();
  void ReadProjectFile(const std::string& path);
  void CreateRegistries();
  void RegisterScriptClasses();
  void RunConfigScript();
  void ResolveStartupAssets();
  void LoadPlugins();

  void DispatchEvent(const TInputEvent& e);
  void FireTimers();
  void Idle();
  void FrameStep(double delta);
  void StatusTick();
  void HoverTick();
  void SpeechTick();
  void GuiProgressTick();

  void CloseSequence();
  void CameraFollow(double delta);
  void FireHeldKeyBindings();
  void SetInventoryLight();
  void WriteScreenshot();
  void ProcessMessages();  // lets pending window messages run
  void Terminate(int status);

  std::unique_ptr<TKavo_ScriptEnvoirement> script_;
  std::unique_ptr<TKavoArchiveReader> archives_;
  TGameClass* game_ = nullptr;
  std::vector<TKavo_ScriptClass*> graveyard_;
  bool terminated_ = false;
  bool fatalShown_ = false;
  std::string startDir_;
  bool glContext_ = false;
  bool closing_ = false;
  int exitStatus_ = 0;
};

}  // namespace kavo
