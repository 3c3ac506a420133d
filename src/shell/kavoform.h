// TKavoForm: the engine root. One per process; it owns the platform window,
// the frame clock and timers, the scene, the script environment and the
// engine context every script object works against. Start-up, the main
// loop (the frame step and the timers), the error path and the close
// sequence live here; everything else lives in the subsystems it calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/cadencer.h"
#include "game/gameservices.h"
#include "platform/platform.h"
#include "script/context.h"

namespace kavo {
namespace scene {
class CollisionManager;
class TGLStoredSpeechFont;
}

class TKavo_ScriptEnvoirement;
class TKavoScene;
class TKavoArchiveReader;
class TKavoRoom;
class TKavoInput;
class TScriptedInput;
class TInputRecorder;
class IAudioMixer;
class TSDLSoundSystem;

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
  double scriptTimeout = 10.0;  // seconds one call into Lua may run; 0: no limit
  // The mixer sounds play on: "sdl" (the audio device), "virtual" (plays on
  // the engine's clock, heard by nobody) or empty: virtual for fixed-step
  // and headless runs, else sdl.
  std::string audio;
};

class TKavoForm : private IKavoEngineHost {
 public:
  TKavoForm(IPlatform& platform, TKavoOptions options);
  ~TKavoForm() override;
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
  void ShowFatalError(const std::string& message, int number) override;
  void HandleException(const std::exception& e);
  static std::string ErrorDialogText(const std::string& message, int number);
  static std::string ErrorNumberText(int number);
  static std::string ErrorLink(int number);

  // Closing: the close query, then the close sequence.
  void CloseMainWindow();

  // Runs one frame of the frame clock now (mouse moves do this).
  void RunOneFrame();
  // Draws one frame of the window view and places the pointer after it.
  void RenderFrame();

  // The engine as script classes see it.
  TKavoContext& Context() { return ctx_; }
  TKavo_ScriptEnvoirement& Script() { return *script_; }
  TGameClass* Game() const { return ctx_.game; }
  std::string DataFolder() const { return ctx_.files.DataFolder(); }
  // The speech font (null before start-up step 18).
  scene::TGLStoredSpeechFont* SpeechFont() const { return speechFont_.get(); }
  // The archive reader: every ".kvo" archive opened so far.
  TKavoArchiveReader& Archives() { return *archives_; }

  IPlatform& platform;
  TKavoOptions options;
  // The game services' state: timers, speech queue, save buffer, cursor.
  TGameServices services;
  bool pluginAutoLoad = true;
  bool startupFinished = false;
  std::string exeDir;  // ends in "/"
  std::vector<std::string> commandLinePlugins;
  // The first missing runtime piece, or empty; replaceable for tests.
  std::function<std::string()> libraryCheck;
  double lastFrameDelta = 0.0;
  long long frameSteps = 0;

  // Clock and timers.
  std::unique_ptr<TTimeSource> timeSource;
  std::unique_ptr<TCadencer> cadencer;
  TKavoTimer statusTimer{"status", 0.1}, hoverTimer{"hover", 0.1}, speechTimer{"speech", 0.1},
      guiProgressTimer{"guiprogress", 0.2};
  double TimerNow();  // the timers' clock: unscaled source time

  TKavoFileLocation walkpawnsLocation;

  // The fixed scene tree with its views; made with the window.
  std::unique_ptr<TKavoScene> scene;
  std::unique_ptr<scene::CollisionManager> collisions;
  std::unique_ptr<TKavoRoom> roomHolder;
  std::unique_ptr<TKavoInput> input;
  std::unique_ptr<TScriptedInput> scriptedInput;
  std::unique_ptr<TInputRecorder> recorder;

  // The mixer and the two sound systems on it (general, speech); the
  // systems go before the mixer.
  std::unique_ptr<IAudioMixer> audioMixer;
  std::unique_ptr<TSDLSoundSystem> soundSystem, speechSoundSystem;

 private:
  // IKavoEngineHost: what the script classes ask of the main window.
  void Bury(TKavo_ScriptClass* obj) override;
  bool DebugMode() const override;
  bool IsKeyHeld(int vk) const override;
  bool SnapshotWindowView(std::vector<uint8_t>& rgba, int& width, int& height) override;
  void ProcessClick(TMouseButton button, int x, int y) override;
  void SetViewSize(int width, int height) override;
  std::vector<std::string>& SaveBuffer() override { return services.saveBuffer; }

  void StartupSequence(const std::vector<std::string>& args);
  void ReadSwitches(const std::vector<std::string>& args);
  void CheckLibraries();
  void ReadProjectFile(const std::string& path);
  void CreateRegistries();
  void RegisterScriptClasses();
  void RunConfigScript();
  void ResolveStartupAssets();
  void StartAudio();
  void CloseAudio();

  void DispatchEvent(const TInputEvent& e);
  void FireTimers();
  void Idle();
  void FrameStep(double delta);
  void StatusTick();
  void HoverTick();
  void SpeechTick();
  // Draws the window view once and keeps the frame read back; false (with a
  // log line naming what it was for) when drawing failed.
  bool RenderCapturedFrame(const char* what);
  void GuiProgressTick();
  void FlushGraveyard();

  void CloseSequence();
  void CaptureScreenshot();
  void WriteScreenshot();
  void ProcessMessages();  // lets pending window messages run
  void Terminate(int status);

  TKavoContext ctx_;
  std::unique_ptr<TKavo_ScriptEnvoirement> script_;
  std::unique_ptr<TKavoArchiveReader> archives_;
  std::unique_ptr<scene::TGLStoredSpeechFont> speechFont_;
  std::vector<TKavo_ScriptClass*> graveyard_;
  bool terminated_ = false;
  bool fatalShown_ = false;
  std::string startDir_;
  bool glContext_ = false;
  bool closing_ = false;
  int exitStatus_ = 0;
  static constexpr int kMaxHeadlessView = 8192;
  int viewLimitWidth_ = kMaxHeadlessView, viewLimitHeight_ = kMaxHeadlessView;
};

}  // namespace kavo
