// TKavoContext: the engine as a script class sees it. Every script object
// holds one reference to it (`Ctx`) and reaches everything it needs through
// it: the checked handles and the typed registries, the scene tree and the
// collision manager, the frame clock, the script environment, the Game
// object, the game's files, the halt flag and the fatal-error call.
//
// The main window (`TKavoForm`) owns the context and what it points at and
// keeps start-up, the main loop, the timers and the close to itself. What
// the context needs from the window above it goes through `IKavoEngineHost`.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/cadencer.h"
#include "platform/platform.h"
#include "script/filemanager.h"
#include "script/handles.h"
#include "script/registry.h"

namespace kavo {

namespace scene {
class CollisionManager;
class Node;
class StaticMeshNode;
struct BitmapFont;
}  // namespace scene

class TSDLSoundSystem;

class TKavoScene;
class TKavoArchiveReader;
class TKavo_ScriptEnvoirement;
class TKavoRoom;
struct TGameServices;
class TGameClass;
class TRoomClass;
class TActorClass;
class TDummyClass;
class THudspriteClass;
class THudtextClass;
class TMeshClass;
class TMenuClass;
class TShaderClass;
class TPostEffectClass;
class TInventoryClass;
class TAnimationClass;

// What script classes ask of the main window above them.
class IKavoEngineHost {
 public:
  virtual ~IKavoEngineHost() = default;
  // The numbered error dialog; the application ends after it.
  virtual void ShowFatalError(const std::string& message, int number) = 0;
  // Frees a destroyed object once no native call can still be using it.
  virtual void Bury(TKavo_ScriptClass* obj) = 0;
  // A Game object exists and its Debug is true.
  virtual bool DebugMode() const = 0;
  // The asynchronous key test: the platform's keys and those scripted input holds.
  virtual bool IsKeyHeld(int virtualKey) const = 0;
  // Draws the window view once more and reads it back (RGBA, top row
  // first); false with nothing read where nothing is drawn.
  virtual bool SnapshotWindowView(std::vector<uint8_t>& rgba, int& width, int& height) {
    (void)rgba, (void)width, (void)height;
    return false;
  }
  // A mouse press handed to the input dispatch (TGame.ProcessClick).
  virtual void ProcessClick(TMouseButton button, int x, int y) = 0;
  // Game.Width and Game.Height: the window's client size and the full-screen view's.
  virtual void SetViewSize(int width, int height) = 0;
  // The lines `obj.Save(name)` appends to (the save buffer of the game services).
  virtual std::vector<std::string>& SaveBuffer() = 0;
};

// Where the game's files are and how a name reaches its bytes.
class TGameFiles {
 public:
  // The longest name the file manager looks for (PATH_MAX).
  static constexpr size_t kMaxNameBytes = 4096;
  std::string dataRoot;  // ends in "/"; the data folder is dataRoot + "data/"
  bool packedMode = false;  // the configuration came from "config.kvo"
  TKavoArchiveReader* archives = nullptr;

  std::string DataFolder() const { return dataRoot + "data/"; }
  // Makes the data folder the file layer's current directory.
  bool EnterDataFolder() const;
  // Makes a loose file's folder current for a loader (files it names are
  // found beside it) and lets no archive stand in for them. Returns the
  // file's bare name, or "" when its folder is not there.
  std::string EnterFolderOf(const TKavoFileLocation& loc) const;
  // Resolves a game file name (data folder relative, "\" or "/").
  TKavoFileLocation Resolve(const std::string& name) const;
  // Reads a resolved file: the archive entry (opening the archive) or the
  // disk file. False when it cannot be read (the error text says why);
  // archive failures raise the archive's own errors.
  bool Read(const TKavoFileLocation& loc, std::string& out, std::string* error,
            size_t limit = size_t(512) << 20) const;
};

// Pointer and camera state the input dispatch keeps and objects consult.
struct TPointerState {
  TShiftState lastShift = 0;     // of the latest mouse move; hover picking passes it on
  bool hover2D = false;          // the pointer is over a HUD element or inventory item
  bool freeCamera = false;       // mouse movement orbits the camera
  bool mouseTargetsVisible = false;  // the dummies' boxes are drawn (F8)
  int screenCentreX = 0, screenCentreY = 0;
  int lastCursorX = 0, lastCursorY = 0;
  TObjectHandle capturedBar = 0;  // a track bar that gets every mouse event first; 0: none
};

struct TKavoContext {
  TKavoContext(IPlatform& platform, IKavoEngineHost& host);
  TKavoContext(const TKavoContext&) = delete;
  TKavoContext& operator=(const TKavoContext&) = delete;

  IPlatform& platform;
  IKavoEngineHost& host;

  // Set by a fatal error, the close sequence or a quit request: every input
  // handler, timer, frame step and call into Lua returns at once.
  bool halted = false;
  bool quitRequest = false;  // TGame.Close: the hover timer closes the window

  // Script objects: handles, the object list (creation order) and the
  // registries of the kinds.
  TObjectHandles handles;
  TRegistry<TKavo_ScriptClass> objects{handles};
  TRegistry<TActorClass> actors{handles};
  TRegistry<TDummyClass> dummies{handles};
  TRegistry<THudspriteClass> hudSprites{handles};
  TRegistry<THudtextClass> hudTexts{handles};
  TRegistry<TMeshClass> meshes{handles};
  TRegistry<TMenuClass> menus{handles};
  TRegistry<TShaderClass> shaders{handles};
  TRegistry<TPostEffectClass> postEffects{handles};
  TRegistry<TInventoryClass> inventories{handles};
  TRegistry<TAnimationClass> animations{handles};
  TRegistry<TRoomClass> rooms{handles};
  // The meshes that name a carrier (InMeshAsChild other than -1): what a
  // destroyed mesh has to tell.
  TRegistry<TMeshClass> meshRiders{handles};
  // Which script object owns a scene node (dummies' boxes, meshes, actors).
  std::unordered_map<const scene::Node*, TObjectHandle> nodeOwners;

  // What the objects live in; null before start-up made them and after the
  // close freed them.
  TKavoScene* scene = nullptr;
  scene::CollisionManager* collisions = nullptr;
  TCadencer* clock = nullptr;
  TKavo_ScriptEnvoirement* script = nullptr;
  TGameClass* game = nullptr;
  TKavoRoom* room = nullptr;  // the room holder
  TGameServices* services = nullptr;
  TGameFiles files;
  TPointerState pointer;

  // The speech font every HUD text and speech text draws with (owned by the
  // main window; null before start-up made it).
  scene::BitmapFont* speechFont = nullptr;
  // The 8-bit code page texts are shown in (Game.CodePage).
  std::string codePage = "CP1252";
  // The two sound systems on the one mixer: effects and music for TSound,
  // and the speech effects the speech step plays; null without audio.
  TSDLSoundSystem* sounds = nullptr;
  TSDLSoundSystem* speechSounds = nullptr;
  // One name per speech sample, in the order they were added (TSound.AddSpeechFX).
  std::vector<std::string> speechEffects;

  // The current room: its name and script file ("" before the first load).
  std::string roomName, roomScriptFile;
  // The model file being loaded, for the texture check's message.
  std::string modelBeingLoaded;
  // A room model is loading: the room reports a missing texture in its own
  // words, so the texture check shows no dialog of its own then.
  bool roomModelLoading = false;

  bool DebugMode() const { return host.DebugMode(); }
  void ShowFatalError(const std::string& message, int number) { host.ShowFatalError(message, number); }
  // Loads the current room's script once ("scripts\" + room script file).
  void LoadRoomScript();
  // The model libraries' texture check: a texture a model names must be
  // found beside it on disk (any letter case) or in the archive it came
  // from; else the log line, the halt flag, the error-11 dialog (unless a
  // room model is loading) and an EKavoTextureMissing.
  void TextureNeeded(const std::string& textureFile);
};

// Loads a model into a mesh node from a resolved location (disk file or
// archive entry). A disk file's folder is current while it loads, so the
// model's textures are found beside it; the model's name goes into the
// texture check's message. Raises error 10 when the file is not there.
void LoadModelInto(TKavoContext& ctx, scene::StaticMeshNode& node, const TKavoFileLocation& loc,
                   const std::string& name);

}  // namespace kavo
