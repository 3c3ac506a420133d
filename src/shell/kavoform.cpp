#include "shell/kavoform.h"

#include <SDL.h>
#include <epoxy/gl.h>
#include <cmath>
#include <SDL_mixer.h>
#include <lua.hpp>

#include <algorithm>
#include <cstdio>

#include "archive/archive.h"
#include "audio/audio_classes.h"
#include "game/kavogame.h"
#include "hud/hud_classes.h"
#include "hud/kavomenu.h"
#include "platform/files.h"
#include "scene/fileaccess.h"
#include "script/environment.h"
#include "shell/gamefiles.h"
#include "core/log.h"
#include "shell/scenetree.h"
#include "scene/geometry.h"
#include "scene/collision.h"
#include "world/kavoroom.h"
#include "shell/input.h"
#include "shell/scriptedinput.h"
#include "game/gameservices.h"
#include "visual/kavomesh.h"
#include "visual/visual_classes.h"
#include "world/kavocamera.h"
#include "world/kavodummy.h"
#include "world/world_classes.h"

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

TKavoForm::TKavoForm(IPlatform& p, TKavoOptions o) : platform(p), options(std::move(o)) {
  if (options.fixedStepMs > 0)
    timeSource = std::make_unique<TSteppedTime>();
  else
    timeSource = std::make_unique<TCounterTime>(platform);
  cadencer = std::make_unique<TCadencer>(*timeSource);
  libraryCheck = CheckRuntimePieces;
  // The log reaches the disk through the file layer like every other file.
  Log().SetWriter([](const std::string& path, std::string_view data, bool append) {
    return append ? Files().AppendFile(path, data) : Files().WriteFile(path, data);
  });
}

TKavoForm::~TKavoForm() {
  // After a fatal error the close sequence never ran: free what is left
  // quietly, without log lines.
  std::vector<TKavo_ScriptClass*> rest = objects;
  objects.clear();
  for (TKavo_ScriptClass* obj : rest) delete obj;
  FlushGraveyard();
  script_.reset();
  roomHolder.reset();
  scene.reset();
  scene::ResetFileAccess();
  archives_.reset();
}

double TKavoForm::TimerNow() { return timeSource->Now(); }

bool TKavoForm::DebugMode() const { return game_ != nullptr && game_->Debug; }

bool TKavoForm::EnterDataFolder() { return Files().SetCurrentDir(DataFolder()); }

void TKavoForm::SetViewSize(int width, int height) {
  // The window view follows the client size at every frame.
  fullscreenView.width = width;
  fullscreenView.height = height;
  platform.SetClientSize(width, height);
}

void TKavoForm::LoadGuiScript() {
  if (script_ && game_) script_->LoadFile("scripts\\" + game_->GUIScript, false);
}

void TKavoForm::LoadRoomScript() {
  if (script_) script_->LoadFile("scripts\\" + roomScriptFile, false);
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
  halted = true;
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
  halted = true;
}

void TKavoForm::TextureNeeded(const std::string& textureFile) {
  if (halted || packedMode) return;
  // Found beside the model on disk, or in the archive the model came from.
  if (Files().FileExists(textureFile) || Files().FindIgnoringCase(textureFile) || scene::SceneFileExists(textureFile))
    return;
  std::string text = "Mesh (" + modelBeingLoaded + ") depends texture (" + textureFile +
                     "), which couldn't be found. Make sure the directory of the mesh includes the needed texture.";
  KavoLog("Fatal Error: " + text);
  halted = true;
  // Halting without a dialog would freeze the game: the dialog always follows.
  ShowFatalError(text, kErrTexture);
  throw EKavoError(text, kErrTexture);
}

// ---------------------------------------------------------------- objects

void TKavoForm::RemoveObject(TKavo_ScriptClass* obj) {
  auto it = std::find(objects.begin(), objects.end(), obj);
  if (it != objects.end()) objects.erase(it);
}

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
  halted = false;
  quitRequest = false;
  packedMode = false;
  // 2. The window and its components.
  platform.CreateMainWindow("KAVO is initializing..", 240, 0);
  platform.HideCursorOverWindow(true);
  glContext_ = platform.CreateGLContext();
  archives_ = std::make_unique<TKavoArchiveReader>();
  InstallSceneFileAccess(*archives_);
  scene = std::make_unique<TKavoScene>(glContext_);
  collisions = std::make_unique<scene::CollisionManager>();
  input = std::make_unique<TKavoInput>(*this);
  if (!options.inputText.empty()) {
    scriptedInput = std::make_unique<TScriptedInput>();
    std::string error;
    scriptedInput->Parse(options.inputText, error);  // checked by the caller before start-up
  }
  if (!options.recordPath.empty()) {
    recorder = std::make_unique<TInputRecorder>();
    recorder->Open(options.recordPath);
  }
  collisions->SetGravity(-300.0f);
  if (glContext_) {
    windowView.renderingReport = scene::GLRenderer::DetectRenderingReport();
    glslSupport = epoxy_has_gl_extension("GL_ARB_shader_objects") && epoxy_has_gl_extension("GL_ARB_vertex_program") &&
                  epoxy_has_gl_extension("GL_ARB_vertex_shader") && epoxy_has_gl_extension("GL_ARB_fragment_shader");
  }
  for (scene::MaterialLibrary* lib : {&scene->sharedMaterials, &scene->lightmaps, &scene->skyboxMaterials})
    lib->SetTextureNeeded([this](const std::string& file) { TextureNeeded(file); });
  scene->postrender->callback = [this](scene::DirectRenderContext&) {
    // The post effects run here, in list order, on the picture of the world.
    if (halted || game_ == nullptr) return;
  };
  scene->glDirectOpenGL1->callback = [this](scene::DirectRenderContext& ctx) {
    if (!halted && ctx.hasGL) SetInventoryLight();
  };
  if (!options.screenshotPath.empty()) scene->windowView.SetCaptureFrames(true);
  const double now = TimerNow();
  statusTimer.SetEnabled(true, now);
  hoverTimer.SetEnabled(false, now);
  speechTimer.SetEnabled(true, now);
  guiProgressTimer.SetEnabled(true, now);
  ProcessMessages();
  platform.SetClientSize(800, 600);
  windowView.width = 800;
  windowView.height = 600;
  platform.CenterWindow();
  // 3.
  pluginAutoLoad = true;
  Log().SetLevel(0);
  Log().SetConsole(false);
  startDir_ = Files().CurrentDir();
  exeDir = options.executableDir.empty() ? ExecutableDirectory() : options.executableDir;
  if (exeDir.empty() || exeDir.back() != '/') exeDir += '/';
  dataRoot = exeDir;
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
  // 26.
  if (!halted && pluginAutoLoad) LoadPlugins();
  EnterDataFolder();
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
  // 9.
  for (size_t i = 1; i < args.size(); ++i) {
    KavoLog("Parameter[" + std::to_string(i) + "]=" + args[i]);
    if (HasKavogameExtension(args[i])) {
      ReadProjectFile(args[i]);
      break;
    }
  }
  // 10.
  if (!EnterDataFolder()) throw EKavoError("\\data\\", kErrCoreFile);
  // 11.
  if (Files().FileExists("config.kvo")) {
    packedMode = true;
  } else if (!Files().FileExists("config.txt") && !Files().FileExists("config.lua")) {
    throw EKavoError("\\data\\config.txt", kErrCoreFile);
  }
  // 12.
  mouseTargetsVisible = false;
  // 13.
  CreateRegistries();
  // 14.
  roomHolder = std::make_unique<TKavoRoom>(*this);
  // 15.
  script_ = std::make_unique<TKavo_ScriptEnvoirement>(*this);
  RegisterScriptClasses();
  // 16.
  contextReset = true;
  platform.HideCursorOverWindow(true);
  defaultMenu = static_cast<TMenuClass*>(MakeScriptObject<TMenuClass>(*this));
  menus.push_back(defaultMenu);
  // 17.
  mouseOffsetX = 32;
  mouseOffsetY = 32;
  int dw = 0, dh = 0;
  platform.GetDesktopSize(dw, dh);
  screenCentreX = dw / 2;
  screenCentreY = dh / 2;
  lastCursorX = screenCentreX;
  lastCursorY = screenCentreY;
  // 18. The speech font starts empty.
  // 19.
  RunConfigScript();
  // 20.
  if (game_ == nullptr) throw EKavoError("Unable to find TGame object.", kErrNoGame);
  // 21. and 22.
  ResolveStartupAssets();
  // 23.
  platform.SetCaption(game_->Caption);
  platform.SetApplicationTitle(game_->Title);
  // 24.
  hoverTimer.SetEnabled(true, TimerNow());
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
  std::vector<std::string_view> lines = SplitLines(text);
  size_t first = 0;
  while (first < lines.size() && lines[first].substr(0, 2) == "--") ++first;
  if (first >= lines.size()) throw ListIndexError(static_cast<long long>(first));
  std::string root(lines[first]);
  std::string core = exeDir.substr(0, exeDir.size() - 1);
  std::string abs = Files().Absolute(file);
  std::string thisFolder = abs.substr(0, abs.find_last_of('/') + 1);
  auto replaceAll = [](std::string s, const std::string& token, const std::string& with) {
    std::string lower = LowerAscii(s), ltoken = LowerAscii(token), out;
    size_t pos = 0;
    while (true) {
      size_t hit = lower.find(ltoken, pos);
      if (hit == std::string::npos) break;
      out += s.substr(pos, hit - pos) + with;
      pos = hit + token.size();
    }
    return out + s.substr(pos);
  };
  root = replaceAll(root, "<KavoCore>", core);
  root = replaceAll(root, "<ThisFile>", thisFolder);
  root = ToSlashes(root) + "/";
  KavoLog("Setting data folder as " + root);
  dataRoot = Files().Absolute(root);
}

void TKavoForm::CreateRegistries() {
  loadedScripts.clear();
  objects.clear();
  actors.clear();
  dummies.clear();
  hudSprites.clear();
  postEffects.clear();
  hudTexts.clear();
  meshes.clear();
  menus.clear();
  shaders.clear();
  inventories.clear();
  animations.clear();
  runningAnimations.clear();
  speechEffects.clear();
  speechQueue.clear();
  saveBuffer.clear();
}

void TKavoForm::RegisterScriptClasses() {
  TKavo_ScriptEnvoirement& env = *script_;
  env.AddClass(TRoomClass::StaticInfo(), "TRoom");
  env.AddClass(TActorClass::StaticInfo(), "TActor");
  env.AddClass(TCameraClass::StaticInfo(), "TCamera");
  env.AddClass(TLightClass::StaticInfo(), "TLight");
  env.AddClass(TDummyClass::StaticInfo(), "TDummy");
  env.AddClass(THudspriteClass::StaticInfo(), "THudsprite");
  env.AddClass(THudTrackBarClass::StaticInfo(), "THudtrackbar");
  env.AddClass(THudtextClass::StaticInfo(), "THudtext");
  env.AddClass(TMeshClass::StaticInfo(), "TMesh");
  env.AddClass(TMenuClass::StaticInfo(), "TMenu");
  env.AddClass(TSpriteClass::StaticInfo(), "TSprite");
  RegisterGameClass(*this);
  env.AddClass(TShaderClass::StaticInfo(), "TShader");
  env.AddClass(TPostEffectClass::StaticInfo(), "TPostEffect");
  env.AddClass(TSkyBoxClass::StaticInfo(), "TSkybox");
  env.AddClass(TSoundClass::StaticInfo(), "TSound");
  env.AddClass(TInventoryClass::StaticInfo(), "TInventory");
  env.AddClass(TAnimationClass::StaticInfo(), "TAnimation");
  env.AddClass(TConversationClass::StaticInfo(), "TConversation");
  env.AddClass(TMaterialsClass::StaticInfo(), "TMaterials");
}

void TKavoForm::RunConfigScript() {
  if (packedMode) {
    script_->LoadFile("config/config.txt", false);
  } else if (Files().FileExists("config.txt")) {
    script_->LoadFile("config.txt", false);
  } else {
    script_->LoadFile("config.lua", false);
  }
}

void TKavoForm::ResolveStartupAssets() {
  // The speech font is only resolved here; its loader reads it.
  speechFontLocation = ResolveGameFile(*this, game_->SpeechfontFilename);
  TKavoFileLocation walk = ResolveGameFile(*this, game_->WalkpawnsFilename);
  if (walk.ResolvedPath.empty()) throw EKavoError("\\data\\" + game_->WalkpawnsFilename, kErrCoreFile);
  walkpawnsLocation = walk;
  std::string folder = ToSlashes(walk.ResolvedPath);
  folder = folder.substr(0, folder.find_last_of('/') + 1);
  if (walk.ArchiveName.empty()) Files().SetCurrentDir(DataFolder() + folder);
  LoadModelInto(*scene->walkpawns, walk, game_->WalkpawnsFilename);
}

void TKavoForm::LoadModelInto(scene::StaticMeshNode& node, const TKavoFileLocation& loc, const std::string& name) {
  modelBeingLoaded = name;
  struct Clear {
    std::string& s;
    ~Clear() { s.clear(); }
  } clear{modelBeingLoaded};
  std::string bytes, error;
  if (!loc.ArchiveName.empty()) {
    if (!ReadGameFile(*this, loc, bytes, &error)) throw EKavoError(ToBackslashes(loc.ResolvedPath), kErrModelFile);
    node.LoadFromBytes(ToSlashes(loc.ResolvedPath), bytes);
    return;
  }
  std::string path = ToSlashes(loc.ResolvedPath);
  std::string folder = path.substr(0, path.find_last_of('/') + 1);
  Files().SetCurrentDir(DataFolder() + folder);
  std::string bare = path.substr(folder.size());
  if (!Files().FileExists(bare)) throw EKavoError(ToBackslashes(loc.ResolvedPath), kErrModelFile);
  node.LoadFromFile(bare);
}

void TKavoForm::LoadPlugins() {
  // The plug-in host scans the plugins folder here.
}

// ---------------------------------------------------------------- main loop

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

bool TKavoForm::IsKeyHeld(int vk) const {
  if (scriptedInput && scriptedInput->KeyHeld(vk)) return true;
  return platform.IsKeyDown(vk);
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
    if (halted) return;
    if (onInput) onInput(e);
    input->Dispatch(e);
  } catch (const std::exception& ex) {
    KavoLog(std::string("Core error: ") + ex.what());
  }
}

void TKavoForm::FireTimers() {
  if (!startupFinished) return;
  TKavoTimer* timers[] = {&statusTimer, &hoverTimer, &speechTimer, &guiProgressTimer};
  for (TKavoTimer* t : timers) {
    if (terminated_) return;
    const double now = TimerNow();
    if (!t->Due(now)) continue;
    t->Fired(now);
    try {
      if (t == &statusTimer) StatusTick();
      else if (t == &hoverTimer) HoverTick();
      else if (t == &speechTimer) SpeechTick();
      else GuiProgressTick();
    } catch (const std::exception& ex) {
      // A failing timer is reported and the engine keeps running.
      KavoLog(std::string("Core error: ") + ex.what());
    } catch (...) {
      KavoLog("Core error: Unknown error in timer " + t->Name());
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
        if (e.kind == TInputEvent::Kind::MouseWheel && e.x < 0 && game_) {
          e.x = game_->MouseX;
          e.y = game_->MouseY;
        }
        DispatchEvent(e);
        if (terminated_) break;
      }
    }
    if (options.frames >= 0 && frameSteps >= options.frames && !closing_ && !terminated_) CloseMainWindow();
  }
}

void TKavoForm::FireHeldKeyBindings() {
  // Only while the main window is the active window (not the full-screen view).
  if (game_ == nullptr || !platform.IsActiveWindow() || (scene && scene->fullscreenActive)) return;
  std::vector<TBinding> snapshot = game_->bindings;  // calls may rebind
  for (const TBinding& b : snapshot) {
    if (b.onRelease || !IsKeyHeld(b.key)) continue;
    LoadGuiScript();
    script_->CallNoArgs(b.function);
    if (halted || game_ == nullptr) return;
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
  if (halted) return;
  try {
    // 2. Repaint the window view.
    RenderFrame();
    // 3.
    lastFrameDelta = delta;
    // 4.
    SyncMeshCollisions(*this);
    collisions->Step(delta);
    // 5.
    if (!freeCamera) CameraFollow(delta);
    // 6. Actors join here.
    if (onFrameStep) onFrameStep(delta);
    // 7.
    FireHeldKeyBindings();
    // 8. Game.CurrentTime reads the frame clock.
    if (game_ != nullptr) game_->DeltaTime = delta;
    // 9. Running keyframe animations join here.
    // 10.
    FireScriptTimers(*this);
    // 11. The inventories' pointer test joins here.
    if (onFrameStepLate) onFrameStepLate(delta);
  } catch (const std::exception& e) {
    HandleException(e);
  }
  if (!halted && !cadencer->Enabled()) CloseMainWindow();
}

void TKavoForm::RenderFrame() {
  if (halted || !scene) return;
  if (glContext_) platform.MakeGLCurrent();
  int w = 0, h = 0;
  platform.GetClientSize(w, h);
  windowView.width = w;
  windowView.height = h;
  scene->Render(windowView, halted);
  // After the frame: the pointer sprite's centre goes to the mouse position
  // plus the cursor offset (64 by 64 puts its top-left corner on the pointer).
  if (game_ != nullptr) {
    scene::HudSpriteNode& c = *scene->mousecursor;
    c.SetXY(static_cast<float>(game_->MouseX + mouseOffsetX), static_cast<float>(game_->MouseY + mouseOffsetY));
    c.width = cursorWidth;
    c.height = cursorHeight;
    c.rotation = cursorRotation;
    c.SetVisible(cursorVisible);
  }
  if (glContext_) platform.SwapBuffers();
}

void TKavoForm::CameraFollow(double delta) {
  scene::CameraNode& cam = *scene->mainCamera;
  glm::vec3 target = scene->cameraposition->Position();
  glm::vec3 d = target - cam.Position();
  if (std::fabs(d.x) < 0.1f && std::fabs(d.y) < 0.1f && std::fabs(d.z) < 0.1f) {
    cam.SetPosition(target);
  } else {
    // Each axis closes its own gap at a rate of one per second.
    cam.SetPosition(cam.Position() + d * static_cast<float>(delta));
  }
  if (cam.Tag() == 0) cam.SetPosition(target);
}

void TKavoForm::SetInventoryLight() {
  for (TKavo_ScriptClass* inv : inventories)
    if (onPrepareInventory) onPrepareInventory(*inv);
  glm::vec3 p = scene->invlight->AbsolutePosition();
  const scene::Material& m = scene->invlightcolors->material;
  GLfloat pos[4] = {p.x, p.y, p.z, 1.0f};
  glLightfv(GL_LIGHT0, GL_POSITION, pos);
  glLightfv(GL_LIGHT0, GL_AMBIENT, &m.ambient[0]);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, &m.diffuse[0]);
  glLightfv(GL_LIGHT0, GL_SPECULAR, &m.specular[0]);
  glLightf(GL_LIGHT0, GL_CONSTANT_ATTENUATION, 1.0f);
  glLightf(GL_LIGHT0, GL_LINEAR_ATTENUATION, 0.0f);
  glLightf(GL_LIGHT0, GL_QUADRATIC_ATTENUATION, 0.0f);
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
  if (game_ == nullptr || halted) return;
  if (scene && game_->Fullscreen != scene->fullscreenActive) {
    // The full-screen view takes over the display; the window view is
    // shown exactly when not in full screen.
    platform.SetFullscreen(game_->Fullscreen, fullscreenView.width, fullscreenView.height);
    scene->fullscreenActive = game_->Fullscreen;
    return;
  }
  if (scene && scene->fullscreenActive) {
    if (lastFrameDelta > 0) game_->FPS = static_cast<float>(1.0 / lastFrameDelta);
  } else if (scene) {
    game_->FPS = scene->windowView.FramesPerSecond();
  }
  const std::string& report = windowView.renderingReport;
  game_->Acceleration = (report == "Unknown" || report == "Hardware" || report == "Software") ? report : "";
  contextReset = false;
}

void TKavoForm::HoverTick() {
  if (halted) return;
  if (quitRequest) {
    halted = true;
    CloseMainWindow();
    return;
  }
  if (onHover) onHover();
  input->HoverPicking();
}

void TKavoForm::SpeechTick() {
  if (game_ == nullptr || halted || speechQueue.empty()) return;
}

void TKavoForm::GuiProgressTick() {
  if (halted || game_ == nullptr) return;
  if (roomHolder) roomHolder->Progress();
  if (halted || game_ == nullptr) return;
  LoadGuiScript();
  script_->CallNoArgs("OnGUIProgress");
}

// ---------------------------------------------------------------- closing

void TKavoForm::CloseMainWindow() {
  if (closing_ || terminated_) return;
  closing_ = true;
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
  halted = true;
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
  const size_t count = objects.size();
  for (size_t i = 0; i < count && !objects.empty(); ++i) {
    TKavo_ScriptClass* first = objects.front();
    guarded("Destroying script objects", [&] { first->DestroyObject(); });
    if (!objects.empty() && objects.front() == first) RemoveObject(first);  // never loop on a failing object
    ProcessMessages();
  }
  FlushGraveyard();
  // 7. The room holder's nodes go before the libraries, views and contexts they use.
  guarded("Freeing the room", [&] {
    if (onCloseScene) onCloseScene();
    roomHolder.reset();
  });
  ProcessMessages();
  guarded("Writing the screenshot", [&] { WriteScreenshot(); });
  guarded("Freeing the scene", [&] {
    if (glContext_) platform.MakeGLCurrent();
    scene.reset();
  });
  guarded("Releasing rendering contexts", [&] { platform.ReleaseGLContext(); });
  ProcessMessages();
  // 8. to 10.
  guarded("Freeing the archive reader", [&] {
    scene::ResetFileAccess();
    archives_.reset();
  });
  ProcessMessages();
  CreateRegistries();
  // 11.
  guarded("Closing the script environment", [&] { script_.reset(); });
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
