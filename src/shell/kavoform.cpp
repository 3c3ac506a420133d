#include "shell/kavoform.h"

#include <SDL.h>
#include <epoxy/gl.h>
#include <cmath>
#include <SDL_mixer.h>
#include <lua.hpp>

#include <algorithm>
#include <cstdio>

#include "archive/archive.h"
#include "audio/soundsystem.h"
#include "core/log.h"
#include "game/kavogame.h"
#include "hud/kavoinventory.h"
#include "hud/kavomenu.h"
#include "hud/speechfont.h"
#include "platform/audio.h"
#include "platform/files.h"
#include "scene/collision.h"
#include "scene/fileaccess.h"
#include "scene/geometry.h"
#include "scene/scenetree.h"
#include "scene/speechfont.h"
#include "shell/classlist.h"
#include "script/environment.h"
#include "shell/input.h"
#include "shell/projectfile.h"
#include "shell/scriptedinput.h"
#include "visual/kavomesh.h"
#include "world/actorspeech.h"
#include "world/kavoactor.h"
#include "world/kavocamera.h"
#include "world/kavoroom.h"

namespace kavo {

namespace {

// The error knowledge base of the engine's documentation.
constexpr const char* kKnowledgeBase = "https://docs.kavo-engine.org";

class TCounterTime : public TTimeSource {
 public:
  explicit TCounterTime(IPlatform& p) : p_(p) {}
  double Now() override { return p_.Counter(); }

 private:
  IPlatform& p_;
};

// The time source of fixed-step runs: advanced by the main loop only.
class TSteppedTime : public TTimeSource {
 public:
  double Now() override { return t; }
  double t = 0.0;
};

// Checks that the runtime pieces the engine loads are really there, in the
// order of their roles: the Ogg Vorbis decoders, the SDL and mixer runtime,
// the MPEG decoder, the Lua runtime, the C runtime.
std::string CheckRuntimePieces() {
  int have = Mix_Init(MIX_INIT_OGG | MIX_INIT_MP3);
  if (!(have & MIX_INIT_OGG)) return "libvorbisfile.so.3";
  SDL_version sdl;
  SDL_GetVersion(&sdl);
  if (sdl.major < 2) return "libSDL2-2.0.so.0";
  if (Mix_Linked_Version() == nullptr) return "libSDL2_mixer-2.0.so.0";
  if (!(have & MIX_INIT_MP3)) return "libmpg123.so.0";
  if (lua_State* L = luaL_newstate()) {
    lua_close(L);
  } else {
    return "liblua5.1.so.0";
  }
  return "";
}

bool HasKavogameExtension(const std::string& arg) {
  return arg.size() >= 9 && LowerAscii(arg.substr(arg.size() - 9)) == ".kavogame";
}

}  // namespace

TKavoForm::TKavoForm(IPlatform& p, TKavoOptions o) : platform(p), options(std::move(o)), ctx_(p, *this) {
  if (options.fixedStepMs > 0)
    timeSource = std::make_unique<TSteppedTime>();
  else
    timeSource = std::make_unique<TCounterTime>(platform);
  cadencer = std::make_unique<TCadencer>(*timeSource);
  libraryCheck = CheckRuntimePieces;
  ctx_.clock = cadencer.get();
  ctx_.services = &services;
  // The log reaches the disk through the file layer like every other file.
  Log().SetWriter([](const std::string& path, std::string_view data, bool append) {
    return append ? Files().AppendFile(path, data) : Files().WriteFile(path, data);
  });
}

TKavoForm::~TKavoForm() {
  // After a fatal error the close sequence never ran: free what is left
  // quietly, without log lines.
  std::vector<TKavo_ScriptClass*> rest = ctx_.objects.Objects();
  ctx_.objects.Clear();
  for (TKavo_ScriptClass* obj : rest) delete obj;
  FlushGraveyard();
  ctx_.script = nullptr;
  script_.reset();
  CloseAudio();
  roomHolder.reset();
  scene.reset();
  ctx_.speechFont = nullptr;
  speechFont_.reset();
  scene::ResetFileAccess();
  archives_.reset();
}

double TKavoForm::TimerNow() { return timeSource->Now(); }

bool TKavoForm::DebugMode() const { return ctx_.game != nullptr && ctx_.game->Debug; }

void TKavoForm::SetViewSize(int width, int height) {
  // The view never outgrows the desktop (in a window), 8192 by 8192
  // (headless) or what the GL context can draw: a picture of the whole view
  // must stay a sane amount of memory.
  width = std::clamp(width, 1, viewLimitWidth_);
  height = std::clamp(height, 1, viewLimitHeight_);
  // The window view follows the client size at every frame.
  if (scene) {
    scene->fullscreenSettings.width = width;
    scene->fullscreenSettings.height = height;
    // A full-screen view on show takes the new size at once.
    if (scene->fullscreenActive) platform.SetFullscreen(true, width, height);
  }
  platform.SetClientSize(width, height);
}

bool TKavoForm::IsKeyHeld(int vk) const {
  if (scriptedInput && scriptedInput->KeyHeld(vk)) return true;
  return platform.IsKeyDown(vk);
}

void TKavoForm::ProcessClick(TMouseButton button, int x, int y) {
  // A press only: no shift keys, and nothing is released afterwards.
  if (input) input->MouseDown(button, 0, x, y);
}

// ---------------------------------------------------------------- errors

std::string TKavoForm::ErrorNumberText(int number) {
  std::string digits = std::to_string(number);
  if (number >= 0 && number < 1000) digits = std::string(4 - digits.size(), '0') + digits;
  return "Error " + digits;
}

std::string TKavoForm::ErrorLink(int number) {
  return std::string(kKnowledgeBase) + "/articles/view/errorkb/error" + ErrorNumberText(number).substr(6) + "/";
}

std::string TKavoForm::ErrorDialogText(const std::string& m, int number) {
  switch (number) {
    case kErrCoreFile: return "Unable to find Kavo Engine core file (" + m + "). Try to reinstall Kavo.";
    case kErrPluginActivate: return "Unable to activate plugin";
    case kErrPluginDeactivate: return "Unable to deactivate plugin";
    case kErrModelFile: return "Unable to find file (" + m + ").";
    case kErrActorModel: return "Unable to find actor model from file (" + m + ").";
    case kErrActorShadowModel: return "Unable to find actor shadow model from file (" + m + ").";
    case kErrRoomModel: return "Unable to find room model from file (" + m + ").";
    case kErrWalkArea:
      return "Loading walkarea for room failed. Check TRoom.Walkarea, that you are using file that exists. "
             "Tried to load (" + m + ").";
    default: return m;
  }
}

void TKavoForm::ShowFatalError(const std::string& message, int number) {
  ctx_.halted = true;
  if (terminated_ || fatalShown_) return;  // the application is already ending
  fatalShown_ = true;
  TErrorDialogInfo info;
  info.caption = "Kavo Core Error";
  info.number = number;
  info.numberText = ErrorNumberText(number);
  info.text = message;
  info.linkText = "Lookup this error from Kavo Documentation:";
  info.link = ErrorLink(number);
  try {
    platform.ShowErrorDialog(info);
  } catch (...) {
  }
  Terminate(1);
}

void TKavoForm::HandleException(const std::exception& e) {
  int number = kErrUnnumbered;
  if (auto* k = dynamic_cast<const EKavoError*>(&e)) number = k->Number();
  ShowFatalError(ErrorDialogText(e.what(), number), number);
  ctx_.halted = true;
}

// ---------------------------------------------------------------- objects

void TKavoForm::Bury(TKavo_ScriptClass* obj) {
  if (script_) script_->Host().ForgetObjectTable(obj->Handle());
  graveyard_.push_back(obj);
}

void TKavoForm::FlushGraveyard() {
  while (!graveyard_.empty()) {
    std::vector<TKavo_ScriptClass*> dead;
    dead.swap(graveyard_);
    for (TKavo_ScriptClass* obj : dead) delete obj;
  }
}

// ---------------------------------------------------------------- start-up

void TKavoForm::Startup(const std::vector<std::string>& args) {
  // 1.
  ctx_.halted = false;
  ctx_.quitRequest = false;
  ctx_.files.packedMode = false;
  // 2. The window and its components.
  platform.CreateMainWindow("KAVO is initializing..", 240, 0);
  platform.HideCursorOverWindow(true);
  glContext_ = platform.CreateGLContext();
  archives_ = std::make_unique<TKavoArchiveReader>();
  ctx_.files.archives = archives_.get();
  InstallSceneFileAccess(*archives_);
  scene = std::make_unique<TKavoScene>(glContext_);
  ctx_.scene = scene.get();
  collisions = std::make_unique<scene::CollisionManager>();
  ctx_.collisions = collisions.get();
  input = std::make_unique<TKavoInput>(*this);
  if (!options.inputText.empty()) {
    scriptedInput = std::make_unique<TScriptedInput>();
    std::string error;
    scriptedInput->Parse(options.inputText, error);  // checked by the caller before start-up
  }
  if (!options.recordPath.empty()) {
    recorder = std::make_unique<TInputRecorder>();
    std::string error;
    if (!recorder->Open(options.recordPath, &error))
      KavoLog("Core error: Unable to record input to " + options.recordPath + ": " + error);
  }
  collisions->SetGravity(-300.0f);
  if (glContext_) {
    // Textures are never larger than the context can take.
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    scene::SetTextureSideLimit(maxSide);
    scene->windowSettings.renderingReport = scene::GLRenderer::DetectRenderingReport();
    scene->glslSupport = epoxy_has_gl_extension("GL_ARB_shader_objects") && epoxy_has_gl_extension("GL_ARB_vertex_program") &&
                  epoxy_has_gl_extension("GL_ARB_vertex_shader") && epoxy_has_gl_extension("GL_ARB_fragment_shader");
  }
  for (scene::MaterialLibrary* lib : {&scene->sharedMaterials, &scene->lightmaps, &scene->skyboxMaterials})
    lib->SetTextureNeeded([this](const std::string& file) { ctx_.TextureNeeded(file); });
  // `postrender` is where the post effects will run, in list order, on the
  // picture of the world.
  // `GLDirectOpenGL1` opens the inventory pass: the inventories measure
  // their items on screen, then the layer gets its own light.
  scene->glDirectOpenGL1->callback = [this](scene::DirectRenderContext& rc) {
    if (ctx_.halted) return;
    scene::LayerLight light;
    PrepareInventoryPass(ctx_, light);
    rc.layerLight = light;
  };
  // The largest view: the desktop in a window, 8192 by 8192 headless, and
  // never more than the context can draw.
  viewLimitWidth_ = viewLimitHeight_ = kMaxHeadlessView;
  if (!platform.Headless()) {
    int dw = 0, dh = 0;
    platform.GetDesktopSize(dw, dh);
    if (dw > 0 && dh > 0) {
      viewLimitWidth_ = dw;
      viewLimitHeight_ = dh;
    }
  }
  if (glContext_) {
    GLint dims[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, dims);
    if (dims[0] > 0) viewLimitWidth_ = std::min(viewLimitWidth_, static_cast<int>(dims[0]));
    if (dims[1] > 0) viewLimitHeight_ = std::min(viewLimitHeight_, static_cast<int>(dims[1]));
  }
  const double now = TimerNow();
  statusTimer.SetEnabled(true, now);
  hoverTimer.SetEnabled(false, now);
  speechTimer.SetEnabled(true, now);
  guiProgressTimer.SetEnabled(true, now);
  ProcessMessages();
  platform.SetClientSize(800, 600);
  scene->windowSettings.width = 800;
  scene->windowSettings.height = 600;
  platform.CenterWindow();
  // 3.
  pluginAutoLoad = true;
  Log().SetLevel(0);
  Log().SetConsole(false);
  startDir_ = Files().CurrentDir();
  exeDir = options.executableDir.empty() ? ExecutableDirectory() : options.executableDir;
  if (exeDir.empty() || exeDir.back() != '/') exeDir += '/';
  ctx_.files.dataRoot = exeDir;
  // 4. Every failure from here to step 24 ends in the error dialog.
  try {
    StartupSequence(args);
  } catch (const std::exception& e) {
    HandleException(e);
  } catch (...) {
    ShowFatalError("Unknown error", kErrUnnumbered);
  }
  // 25.
  cadencer->SetEnabled(true);
  // 26. The plug-in host scans the plugins folder here (unless "-noauto").
  ctx_.files.EnterDataFolder();
  startupFinished = true;
}

void TKavoForm::StartupSequence(const std::vector<std::string>& args) {
  // 5. Plug-in list and engine interface: see LoadPlugins.
  // 6.
  ReadSwitches(args);
  // 7.
  Files().SetCurrentDir(exeDir);
  Log().Start(options.logPath.empty() ? exeDir + "log.txt" : options.logPath);
  KavoLog("Kavo - Kavoscape 0.4.6 beta");
  // 8.
  Files().SetCurrentDir(exeDir);
  CheckLibraries();
  // The sound systems are there before any script can play a sound.
  StartAudio();
  // 9.
  for (size_t i = 1; i < args.size(); ++i) {
    KavoLog("Parameter[" + std::to_string(i) + "]=" + args[i]);
    if (HasKavogameExtension(args[i])) {
      ReadProjectFile(args[i]);
      break;
    }
  }
  // 10.
  if (!ctx_.files.EnterDataFolder()) throw EKavoError("\\data\\", kErrCoreFile);
  // 11.
  if (Files().FileExists("config.kvo")) {
    ctx_.files.packedMode = true;
  } else if (!Files().FileExists("config.txt") && !Files().FileExists("config.lua")) {
    throw EKavoError("\\data\\config.txt", kErrCoreFile);
  }
  // 12.
  ctx_.pointer.mouseTargetsVisible = false;
  // 13.
  CreateRegistries();
  // 14.
  roomHolder = std::make_unique<TKavoRoom>(ctx_);
  ctx_.room = roomHolder.get();
  // 15.
  script_ = std::make_unique<TKavo_ScriptEnvoirement>(ctx_);
  ctx_.script = script_.get();
  script_->Host().SetScriptTimeout(options.scriptTimeout);
  RegisterScriptClasses();
  // 16. The default menu stands in the menu list twice: at 0 and at 1.
  platform.HideCursorOverWindow(true);
  TKavo_ScriptClass* defaultMenu = MakeScriptObject<TMenuClass>(ctx_);
  ctx_.menus.Join(defaultMenu);
  // 17.
  services.cursor.offsetX = 32;
  services.cursor.offsetY = 32;
  int dw = 0, dh = 0;
  platform.GetDesktopSize(dw, dh);
  TPointerState& p = ctx_.pointer;
  p.screenCentreX = dw / 2;
  p.screenCentreY = dh / 2;
  p.lastCursorX = p.screenCentreX;
  p.lastCursorY = p.screenCentreY;
  // 18. The speech font: built at run time from the default face, range 32
  // to 125, until step 21 finds a stored one.
  speechFont_ = std::make_unique<scene::TGLStoredSpeechFont>(DefaultSourceFont(),
                                                             std::vector<scene::TCharRange>{{32, 125}}, ctx_.codePage);
  ctx_.speechFont = speechFont_.get();
  // 19.
  RunConfigScript();
  // 20.
  if (ctx_.game == nullptr) throw EKavoError("Unable to find TGame object.", kErrNoGame);
  // 21. and 22.
  ResolveStartupAssets();
  // 23.
  platform.SetCaption(ctx_.game->Caption);
  platform.SetApplicationTitle(ctx_.game->Title);
  // 24.
  hoverTimer.SetEnabled(true, TimerNow());
}

void TKavoForm::StartAudio() {
  // The virtual mixer's device only decodes: a short buffer closes at once.
  constexpr int kVirtualDeviceFrames = 256;
  CloseAudio();
  const bool virtualMixer =
      options.audio == "virtual" || (options.audio.empty() && (options.fixedStepMs > 0 || options.headless));
  std::string message;
  if (virtualMixer) {
    // Plays end on the timers' clock, so fixed-step runs hear every sound
    // end on the same frame.
    audioMixer = std::make_unique<TVirtualAudioMixer>(*timeSource);
    if (!OpenSoundMixer(*audioMixer, message, kVirtualDeviceFrames)) KavoLog("Sound System: " + message);
  } else {
    audioMixer = std::make_unique<TSdlAudioMixer>();
    if (!OpenSoundMixer(*audioMixer, message)) {
      // Without a device the game runs silently: the virtual mixer keeps
      // every sound's length, so scripts that wait for a sound still see it end.
      KavoLog("Sound System: " + message);
      audioMixer = std::make_unique<TVirtualAudioMixer>(*timeSource);
      if (OpenSoundMixer(*audioMixer, message, kVirtualDeviceFrames))
        KavoLog("Sound System: No audio device; sounds play silently");
      else
        KavoLog("Sound System: " + message);
    }
  }
  soundSystem = std::make_unique<TSDLSoundSystem>(*audioMixer, "Sound System");
  speechSoundSystem = std::make_unique<TSDLSoundSystem>(*audioMixer, "Speech Sound System");
  ctx_.sounds = soundSystem.get();
  ctx_.speechSounds = speechSoundSystem.get();
}

void TKavoForm::CloseAudio() {
  ctx_.sounds = nullptr;
  ctx_.speechSounds = nullptr;
  ctx_.speechEffects.clear();
  speechSoundSystem.reset();
  soundSystem.reset();
  if (audioMixer) audioMixer->Close();
  audioMixer.reset();
}

void TKavoForm::ReadSwitches(const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-noauto") {
      pluginAutoLoad = false;
    } else if (a == "-logtoconsole") {
      Log().SetConsole(true);
    } else if (a == "-p") {
      // Each following argument up to the next switch names a plug-in.
      size_t j = i + 1;
      while (j < args.size() && !(args[j].size() > 0 && args[j][0] == '-')) {
        commandLinePlugins.push_back(args[j]);
        ++j;
      }
    }
  }
}

void TKavoForm::CheckLibraries() {
  std::string missing = libraryCheck ? libraryCheck() : std::string();
  if (!missing.empty()) throw EKavoError(missing, kErrCoreFile);
}

void TKavoForm::ReadProjectFile(const std::string& path) {
  // A relative project file is looked for where kavo was started, then
  // beside the executable.
  std::string file = path;
  if (!file.empty() && file[0] != '/' && Files().FileExists(startDir_ + ToSlashes(file)))
    file = startDir_ + ToSlashes(file);
  std::string text, error;
  if (!Files().ReadFile(file, text, &error, 1 << 20)) throw EKavoError(error);
  std::string core = exeDir.substr(0, exeDir.size() - 1);
  std::string abs = Files().Absolute(file);
  std::string thisFolder = abs.substr(0, abs.find_last_of('/') + 1);
  const std::string root = ProjectDataRoot(text, core, thisFolder);
  KavoLog("Setting data folder as " + root);
  ctx_.files.dataRoot = Files().Absolute(root);
}

void TKavoForm::CreateRegistries() {
  for (TRegistryBase* r : std::initializer_list<TRegistryBase*>{
           &ctx_.objects, &ctx_.actors, &ctx_.dummies, &ctx_.hudSprites, &ctx_.hudTexts, &ctx_.meshes, &ctx_.menus,
           &ctx_.shaders, &ctx_.postEffects, &ctx_.inventories, &ctx_.animations, &ctx_.rooms, &ctx_.meshRiders})
    r->Clear();
  services.Clear();
}

void TKavoForm::RegisterScriptClasses() {
  // The twenty classes in their fixed order; the key-code globals follow TGame.
  for (const TScriptClassEntry& c : ScriptClasses()) {
    if (c.info == &TGameClass::StaticInfo)
      RegisterGameClass(*script_);
    else
      script_->AddClass(c.info(), c.name);
  }
}

void TKavoForm::RunConfigScript() {
  if (ctx_.files.packedMode) {
    script_->LoadFile("config/config.txt", false);
  } else if (Files().FileExists("config.txt")) {
    script_->LoadFile("config.txt", false);
  } else {
    script_->LoadFile("config.lua", false);
  }
}

void TKavoForm::ResolveStartupAssets() {
  TGameClass& game = *ctx_.game;
  // 21. The game's stored speech font; without one the run-time font stays,
  // built again when the configuration script chose another code page.
  if (!LoadStoredSpeechFont(ctx_, *speechFont_, game.SpeechfontFilename) && speechFont_->CodePage() != ctx_.codePage)
    speechFont_->SetCodePage(ctx_.codePage);
  // 22.
  TKavoFileLocation walk = ctx_.files.Resolve(game.WalkpawnsFilename);
  if (walk.ResolvedPath.empty()) throw EKavoError("\\data\\" + game.WalkpawnsFilename, kErrCoreFile);
  walkpawnsLocation = walk;
  LoadModelInto(ctx_, *scene->walkpawns, walk, game.WalkpawnsFilename);
}

// ---------------------------------------------------------------- main loop

namespace {

// One frame, in order: every subsystem that works per frame has its line
// here, and a new one joins by adding its line in its place. The walk stops
// as soon as the halt flag is set.
struct TFrameStepEntry {
  const char* what;
  void (*run)(TKavoForm& form, TKavoContext& ctx, double delta);
};

const TFrameStepEntry kFrameSteps[] = {
    // The scene advances first: the actors' models move on by the delta and
    // their frame and end events are delivered.
    {"advance the actors' models", [](TKavoForm&, TKavoContext& c, double d) { AdvanceActorModels(c, d); }},
    {"repaint the window view", [](TKavoForm& f, TKavoContext&, double) { f.RenderFrame(); }},
    {"keep the delta", [](TKavoForm& f, TKavoContext&, double d) { f.lastFrameDelta = d; }},
    {"step the collisions",
     [](TKavoForm&, TKavoContext& c, double d) {
       SyncMeshCollisions(c);
       SyncActorBodies(c);
       c.collisions->Step(d);
       ActorsFollowBodies(c);
     }},
    {"camera follow", [](TKavoForm&, TKavoContext& c, double d) { CameraFollow(c, d); }},
    {"actors", [](TKavoForm&, TKavoContext& c, double d) { StepActors(c, d); }},
    {"held-key bindings", [](TKavoForm&, TKavoContext& c, double) { FireHeldKeyBindings(c); }},
    {"game time",
     [](TKavoForm&, TKavoContext& c, double d) {
       // Game.CurrentTime reads the frame clock itself.
       if (c.game != nullptr) c.game->DeltaTime = d;
     }},
    // The running keyframe animations join here.
    {"script timers", [](TKavoForm&, TKavoContext& c, double) { FireScriptTimers(c); }},
    // Sounds that ended free their channels for the next frame's plays.
    {"audio", [](TKavoForm& f, TKavoContext&, double) {
       if (f.audioMixer) f.audioMixer->Update();
     }},
    // Last: whether the pointer is over an inventory item (the 2D-hover flag).
    {"inventories' pointer test", [](TKavoForm&, TKavoContext& c, double) { InventoriesPointerTest(c); }},
};

// The periodic timers and what each runs.
struct TTimerEntry {
  TKavoTimer TKavoForm::*timer;
  void (TKavoForm::*tick)();
};

}  // namespace

int TKavoForm::Run() {
  while (!terminated_) RunOnce();
  return exitStatus_;
}

void TKavoForm::ProcessMessages() {
  TInputEvent e;
  while (!terminated_ && platform.PollEvent(e)) DispatchEvent(e);
  if (!terminated_) FireTimers();
}

void TKavoForm::RunOnce() {
  ProcessMessages();
  if (!terminated_) Idle();
  FlushGraveyard();
}

void TKavoForm::DispatchEvent(const TInputEvent& e) {
  // Nothing reaches the game before start-up has finished.
  if (!startupFinished) return;
  if (recorder && e.kind != TInputEvent::Kind::CloseRequest) recorder->Record(cadencer->CurrentTime() * 1000.0, e);
  try {
    if (e.kind == TInputEvent::Kind::CloseRequest) {
      CloseMainWindow();
      return;
    }
    if (ctx_.halted) return;
    input->Dispatch(e);
  } catch (const std::exception& ex) {
    KavoLog(std::string("Core error: ") + ex.what());
  }
}

void TKavoForm::FireTimers() {
  if (!startupFinished) return;
  static const TTimerEntry kTimers[] = {
      {&TKavoForm::statusTimer, &TKavoForm::StatusTick},
      {&TKavoForm::hoverTimer, &TKavoForm::HoverTick},
      {&TKavoForm::speechTimer, &TKavoForm::SpeechTick},
      {&TKavoForm::guiProgressTimer, &TKavoForm::GuiProgressTick},
  };
  for (const TTimerEntry& entry : kTimers) {
    if (terminated_) return;
    TKavoTimer& t = this->*entry.timer;
    const double now = TimerNow();
    if (!t.Due(now)) continue;
    t.Fired(now);
    if (entry.tick == nullptr) continue;
    try {
      (this->*entry.tick)();
    } catch (const std::exception& ex) {
      // A failing timer is reported and the engine keeps running.
      KavoLog(std::string("Core error: ") + ex.what());
    } catch (...) {
      KavoLog("Core error: Unknown error in timer " + t.Name());
    }
  }
}

void TKavoForm::Idle() {
  if (options.fixedStepMs > 0) {
    static_cast<TSteppedTime*>(timeSource.get())->t += options.fixedStepMs / 1000.0;
  } else {
    platform.Sleep(1);
  }
  double delta = 0.0;
  if (cadencer->Progress(delta)) {
    FrameStep(delta);
    ++frameSteps;
    // Scripted input arrives at the frame whose clock time reaches it,
    // through the same handlers as real input.
    if (scriptedInput && !terminated_) {
      for (TInputEvent& e : scriptedInput->Due(cadencer->CurrentTime() * 1000.0)) {
        if (e.kind == TInputEvent::Kind::MouseWheel && e.x < 0 && ctx_.game) {
          e.x = ctx_.game->MouseX;
          e.y = ctx_.game->MouseY;
        }
        DispatchEvent(e);
        if (terminated_) break;
      }
    }
    if (options.frames >= 0 && frameSteps >= options.frames && !closing_ && !terminated_) CloseMainWindow();
  }
}

void TKavoForm::RunOneFrame() {
  double delta = 0.0;
  if (cadencer->Progress(delta)) {
    FrameStep(delta);
    ++frameSteps;
  }
}

void TKavoForm::FrameStep(double delta) {
  if (ctx_.halted) return;
  try {
    for (const TFrameStepEntry& step : kFrameSteps) {
      step.run(*this, ctx_, delta);
      if (ctx_.halted) break;
    }
  } catch (const std::exception& e) {
    HandleException(e);
  }
  // A frame clock switched off by now closes the main window.
  if (!ctx_.halted && !cadencer->Enabled()) CloseMainWindow();
}

void TKavoForm::RenderFrame() {
  if (ctx_.halted || !scene) return;
  if (glContext_) platform.MakeGLCurrent();
  int w = 0, h = 0;
  platform.GetClientSize(w, h);
  scene->windowSettings.width = w;
  scene->windowSettings.height = h;
  scene->Render(ctx_.halted);
  // After the frame: the pointer sprite's centre goes to the mouse position
  // plus the cursor offset (64 by 64 puts its top-left corner on the pointer).
  if (TGameClass* game = ctx_.game) {
    const TCursorState& cursor = services.cursor;
    scene::HudSpriteNode& c = *scene->mousecursor;
    c.SetXY(static_cast<float>(game->MouseX + cursor.offsetX), static_cast<float>(game->MouseY + cursor.offsetY));
    c.width = cursor.width;
    c.height = cursor.height;
    c.rotation = cursor.rotation;
    c.SetVisible(cursor.visible);
  }
  if (glContext_) platform.SwapBuffers();
}

void TKavoForm::WriteScreenshot() {
  if (options.screenshotPath.empty() || !scene) return;
  const scene::View& v = scene->windowView;
  if (v.LastFramePixels().empty()) {
    KavoLog("Core error: No frame was rendered, no screenshot written");
    return;
  }
  std::string error;
  if (!scene::SavePNG(options.screenshotPath, v.LastFramePixels(), v.LastFrameWidth(), v.LastFrameHeight(), &error))
    KavoLog("Core error: Unable to write screenshot " + options.screenshotPath + " " + error);
}

void TKavoForm::StatusTick() {
  TGameClass* game = ctx_.game;
  if (game == nullptr || ctx_.halted || !scene) return;
  if (game->Fullscreen != scene->fullscreenActive) {
    // The full-screen view takes over the display; the window view is
    // shown exactly when not in full screen.
    platform.SetFullscreen(game->Fullscreen, scene->fullscreenSettings.width, scene->fullscreenSettings.height);
    scene->fullscreenActive = game->Fullscreen;
    return;
  }
  if (scene->fullscreenActive) {
    if (lastFrameDelta > 0) game->FPS = static_cast<float>(1.0 / lastFrameDelta);
  } else {
    game->FPS = scene->windowView.FramesPerSecond();
  }
  const std::string& report = scene->windowSettings.renderingReport;
  game->Acceleration = (report == "Unknown" || report == "Hardware" || report == "Software") ? report : "";
}

void TKavoForm::SpeechTick() { RunSpeechStep(ctx_); }

void TKavoForm::HoverTick() {
  if (ctx_.halted) return;
  if (ctx_.quitRequest) {
    ctx_.halted = true;
    CloseMainWindow();
    return;
  }
  MeasureActorMovement(ctx_);
  input->HoverPicking();
}

void TKavoForm::GuiProgressTick() {
  if (ctx_.halted || ctx_.game == nullptr) return;
  if (roomHolder) roomHolder->Progress();
  if (ctx_.halted || ctx_.game == nullptr) return;
  LoadGuiScript(ctx_);
  script_->CallNoArgs("OnGUIProgress");
}

// ---------------------------------------------------------------- closing

bool TKavoForm::RenderCapturedFrame(const char* what) {
  try {
    if (glContext_) platform.MakeGLCurrent();
    scene::View& v = scene->windowView;
    const bool was = v.CaptureFrames();
    v.SetCaptureFrames(true);
    scene->Render(false);
    v.SetCaptureFrames(was);
  } catch (const std::exception& e) {
    KavoLog(std::string("Core error: Unable to draw the ") + what + ": " + e.what());
    return false;
  }
  return true;
}

bool TKavoForm::SnapshotWindowView(std::vector<uint8_t>& rgba, int& width, int& height) {
  rgba.clear();
  width = height = 0;
  if (!scene || !scene->UsesGL() || !RenderCapturedFrame("snapshot")) return false;
  const scene::View& v = scene->windowView;
  rgba = v.LastFramePixels();
  width = v.LastFrameWidth();
  height = v.LastFrameHeight();
  return !rgba.empty();
}

void TKavoForm::CaptureScreenshot() {
  // The view is read back once, for the picture --screenshot writes at the
  // close: the frame as the game last showed it, also after a fatal error.
  if (options.screenshotPath.empty() || !scene) return;
  RenderCapturedFrame("screenshot");
}

void TKavoForm::CloseMainWindow() {
  if (closing_ || terminated_) return;
  closing_ = true;
  CaptureScreenshot();
  // Close query: unless halted, every plug-in is deactivated in load order.
  CloseSequence();
}

void TKavoForm::CloseSequence() {
  auto guarded = [](const char* what, const std::function<void()>& step) {
    try {
      step();
    } catch (const std::exception& e) {
      KavoLog(std::string("Core error: ") + what + ": " + e.what());
    } catch (...) {
      KavoLog(std::string("Core error: ") + what);
    }
  };
  // 1.
  platform.SetCaption("Kavo Core is shutting down...");
  ctx_.halted = true;
  // 2. The window view gets the engine's own mouse handlers back.
  // 3.
  statusTimer.SetEnabled(false, 0);
  if (platform.IsFullscreen()) platform.SetFullscreen(false, 0, 0);
  hoverTimer.SetEnabled(false, 0);
  speechTimer.SetEnabled(false, 0);
  // 4.
  ProcessMessages();
  cadencer->SetEnabled(false);
  ProcessMessages();
  // 5.
  KavoLog("Kavo Core:\xA0" "Closing Kavo..");
  KavoLog("Kavo Core: Destroying script objects..");
  // 6.
  TRegistry<TKavo_ScriptClass>& objects = ctx_.objects;
  const size_t count = objects.Count();
  for (size_t i = 0; i < count && !objects.Empty(); ++i) {
    TKavo_ScriptClass* first = objects.Front();
    guarded("Destroying script objects", [&] { first->DestroyObject(); });
    if (!objects.Empty() && objects.Front() == first) objects.Leave(first);  // never loop on a failing object
    ProcessMessages();
  }
  FlushGraveyard();
  // 7. The room holder's nodes go before the libraries, views and contexts they use.
  guarded("Freeing the room", [&] {
    ctx_.room = nullptr;
    roomHolder.reset();
  });
  ProcessMessages();
  guarded("Writing the screenshot", [&] { WriteScreenshot(); });
  guarded("Freeing the scene", [&] {
    if (glContext_) platform.MakeGLCurrent();
    ctx_.scene = nullptr;
    ctx_.collisions = nullptr;
    scene.reset();
  });
  guarded("Releasing rendering contexts", [&] { platform.ReleaseGLContext(); });
  ProcessMessages();
  // 8. to 10.
  guarded("Freeing the archive reader", [&] {
    scene::ResetFileAccess();
    ctx_.files.archives = nullptr;
    archives_.reset();
  });
  guarded("Closing the sound systems", [&] { CloseAudio(); });
  ProcessMessages();
  CreateRegistries();
  // 11.
  guarded("Closing the script environment", [&] {
    ctx_.script = nullptr;
    script_.reset();
  });
  // 12.
  KavoLog("Kavo Core: Have a nice day!");
  // 13.
  Terminate(0);
}

void TKavoForm::Terminate(int status) {
  if (terminated_) return;
  terminated_ = true;
  exitStatus_ = status;
}

}  // namespace kavo
