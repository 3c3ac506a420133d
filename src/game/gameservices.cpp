#include "game/gameservices.h"

#include <algorithm>
#include <climits>

#include "game/kavogame.h"
#include "platform/files.h"
#include "scene/scenetree.h"
#include "scene/staticmesh.h"
#include "script/binding.h"
#include "script/context.h"
#include "script/environment.h"
#include "world/actorspeech.h"
#include "world/kavoactor.h"
#include "world/world_classes.h"

namespace kavo {

namespace {

// Short strings hold at most 255 characters; longer values are cut.
std::string Short(const std::string& s) { return s.size() > 255 ? s.substr(0, 255) : s; }

// The codes of VK_F23 and VK_F24 stand for wheel movement, never a held key.
constexpr int kWheelUpCode = 134, kWheelDownCode = 135;

int32_t ClampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

// ------------------------------------------------------------------ timers

void TGameServices::Clear() { *this = TGameServices(); }

void AddScriptTimer(TKavoContext& ctx, double dueTime, const std::string& function) {
  TGameServices& s = *ctx.services;
  s.timers.push_back({dueTime, Short(function), s.nextTimerSerial++});
}

void FireScriptTimers(TKavoContext& ctx) {
  if (ctx.halted || ctx.services == nullptr || ctx.services->timers.empty()) return;
  TGameServices& services = *ctx.services;
  // The called functions may set timers, load a saved game (which drops the
  // whole list) or destroy objects: walk the timers the list held when the
  // walk began, finding each again by its serial; timers gone meanwhile are
  // skipped, timers set meanwhile wait for a later frame. A timer that fires
  // is marked off before its call and the marked ones leave the list in one
  // pass at the end, so many due timers cost no more than a sort.
  std::vector<uint64_t> walk;
  walk.reserve(services.timers.size());
  for (const TKavoEvent& t : services.timers) walk.push_back(t.serial);
  struct Sweep {
    TGameServices& s;
    ~Sweep() {
      s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(), [](const TKavoEvent& t) { return t.fired; }),
                     s.timers.end());
    }
  } sweep{services};
  for (uint64_t serial : walk) {
    if (ctx.halted) return;
    std::vector<TKavoEvent>& timers = services.timers;
    auto it = std::lower_bound(timers.begin(), timers.end(), serial,
                               [](const TKavoEvent& t, uint64_t s) { return t.serial < s; });
    if (it == timers.end() || it->serial != serial || it->fired) continue;
    if (!(it->dueTime < ctx.clock->CurrentTime())) continue;
    // Off the list before the call, so that the function may set the same
    // timer again without it being dropped afterwards.
    std::string function = std::move(it->function);
    it->fired = true;
    ctx.LoadRoomScript();
    ctx.script->CallNoArgs(function);
  }
}

// ------------------------------------------------------------------ held keys

void FireHeldKeyBindings(TKavoContext& ctx) {
  // Only while the main window is the active window (not the full-screen view).
  TGameClass* game = ctx.game;
  if (game == nullptr || !ctx.platform.IsActiveWindow() || (ctx.scene && ctx.scene->fullscreenActive)) return;
  std::vector<TBinding> snapshot = game->bindings;  // calls may rebind
  for (const TBinding& b : snapshot) {
    if (b.onRelease || !ctx.host.IsKeyHeld(b.key)) continue;
    LoadGuiScript(ctx);
    ctx.script->CallNoArgs(b.function);
    if (ctx.halted || ctx.game == nullptr) return;
  }
}

// ------------------------------------------------------------------ text

TTextFile::TTextFile(std::string text) : text_(std::move(text)) {
  const size_t n = text_.size();
  size_t i = 0;
  while (i < n) {
    size_t j = i;
    while (j < n && text_[j] != '\r' && text_[j] != '\n') ++j;
    starts_.push_back(static_cast<uint32_t>(i));
    ends_.push_back(static_cast<uint32_t>(j));
    if (j < n && text_[j] == '\r' && j + 1 < n && text_[j + 1] == '\n')
      j += 2;
    else if (j < n)
      j += 1;
    i = j;
  }
}

std::vector<std::string> TTextFile::Lines() const {
  std::vector<std::string> lines;
  lines.reserve(LineCount());
  for (size_t i = 0; i < LineCount(); ++i) lines.push_back(Line(i));
  return lines;
}

std::string SpeechLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

// ------------------------------------------------------------------ keys

void TGameClass::Script_Bind(TKavo_ScriptFunctionData& d) {
  CheckOrdinal(d, 0, "virtual key code");
  CheckString(d, 1);
  TBinding b;
  b.key = ClampToInt32(d.Args[0].AsInt());
  b.function = Short(d.Args[1].AsString());
  b.onRelease = d.Args.size() >= 3;
  // One binding per key: a new one replaces the old and goes to the end.
  auto old = std::find_if(bindings.begin(), bindings.end(), [&](const TBinding& x) { return x.key == b.key; });
  if (old != bindings.end()) bindings.erase(old);
  bindings.push_back(std::move(b));
}

void TGameClass::Script_Unbind(TVirtualKey vk) {
  const int64_t key = vk.value;
  auto it = std::find_if(bindings.begin(), bindings.end(), [&](const TBinding& x) { return x.key == key; });
  if (it != bindings.end()) bindings.erase(it);
}

bool TGameClass::Script_IsKeyDown(TVirtualKey vk) {
  const int64_t key = vk.value;
  if (key == kWheelUpCode || key == kWheelDownCode || key < INT32_MIN || key > INT32_MAX) return false;
  return Ctx.host.IsKeyHeld(static_cast<int>(key));
}

int TGameClass::Script_Ord(const std::string& s) {
  return s.empty() ? 0 : static_cast<int>(static_cast<unsigned char>(s[0]));
}

// ------------------------------------------------------------------ pointer

void TGameClass::Script_ProcessClick(int64_t px, int64_t py, int64_t buttonNumber) {
  const int x = ClampToInt32(px);
  const int y = ClampToInt32(py);
  TMouseButton button = TMouseButton::Left;
  switch (buttonNumber) {
    case 0: button = TMouseButton::Right; break;
    case 2: button = TMouseButton::Middle; break;
    default: break;
  }
  // A press only: no shift keys, and nothing is released afterwards.
  Ctx.host.ProcessClick(button, x, y);
}

double TGameClass::Get3D(double px, double py, int axis) {
  const int64_t x = RoundToInteger(px);
  const int64_t y = RoundToInteger(py);
  double result = 0.0;  // a ray that misses the room model gives 0
  if (Ctx.scene) {
    const scene::View& view = Ctx.scene->windowView;
    scene::Ray ray = view.ScreenToRay(static_cast<float>(x), static_cast<float>(view.Height() - y));
    if (auto hit = Ctx.scene->roomModel->RayIntersect(ray)) result = hit->point[axis];
  }
  return result;
}

double TGameClass::Script_Get3DX(double x, double y) { return Get3D(x, y, 0); }
double TGameClass::Script_Get3DY(double x, double y) { return Get3D(x, y, 1); }
double TGameClass::Script_Get3DZ(double x, double y) { return Get3D(x, y, 2); }

// ------------------------------------------------------------------ names

std::string TGameClass::GetName(int64_t index, const TRegistryBase& list) {
  TKavo_ScriptClass* obj = list.ObjectAt(index);
  const TObjectHandle h = obj->Handle();
  // An object not yet named by the scripts learns the global it is kept in.
  if (obj->ScriptName.empty()) {
    Ctx.script->SynchronizeNames();
    obj = Ctx.handles.Resolve(h);
  }
  return obj ? obj->ScriptName : std::string();
}

std::string TGameClass::Script_GetMeshName(int64_t i) { return GetName(i, Ctx.meshes); }
std::string TGameClass::Script_GetDummyName(int64_t i) { return GetName(i, Ctx.dummies); }
std::string TGameClass::Script_GetActorName(int64_t i) { return GetName(i, Ctx.actors); }
std::string TGameClass::Script_GetHudspriteName(int64_t i) { return GetName(i, Ctx.hudSprites); }
std::string TGameClass::Script_GetHudtextName(int64_t i) { return GetName(i, Ctx.hudTexts); }

// ------------------------------------------------------------------ cursor

void TGameClass::Script_SetMouseCursor(const std::string& file) {
  if (file == currentCursorFile) return;
  // Kept also when the picture cannot be loaded: saved games write it back.
  currentCursorFile = file;
  if (!Ctx.scene) return;
  scene::Material& m = Ctx.scene->mousecursor->material;
  TKavoFileLocation loc = Ctx.files.Resolve(file);
  if (!loc.ArchiveName.empty()) {
    std::string bytes, error;
    if (!Ctx.files.Read(loc, bytes, &error))
      throw EKavoError("Mouse needed texture (" + loc.ResolvedPath + "), which couldn't be found.", kErrTexture);
    if (!m.texture.image.LoadFromBytes(bytes, loc.ResolvedPath, error)) throw EKavoError(error, kErrTexture);
  } else {
    // A name that resolved to nothing is reported as given.
    const std::string shown = loc.ResolvedPath.empty() ? file : loc.ResolvedPath;
    // The picture's folder is current while it loads; the data folder is
    // current again afterwards, whatever happened.
    struct BackToData {
      TKavoContext& ctx;
      ~BackToData() { ctx.files.EnterDataFolder(); }
    } back{Ctx};
    const std::string bare = loc.ResolvedPath.empty() ? std::string() : Ctx.files.EnterFolderOf(loc);
    if (bare.empty() || !Files().FileExists(bare))
      throw EKavoError("Mouse needed texture (" + shown + "), which couldn't be found.", kErrTexture);
    m.texture.image.LoadFromFile(bare);
  }
  m.texture.enabled = true;
}

void TGameClass::Script_SetMouseOffset(int64_t x, int64_t y) {
  Ctx.services->cursor.offsetX = ClampToInt32(x);
  Ctx.services->cursor.offsetY = ClampToInt32(y);
}

void TGameClass::Script_SetMouseTransparency(TOrdinal mode) {
  if (!Ctx.scene) return;
  scene::Material& m = Ctx.scene->mousecursor->material;
  m.blending = scene::BlendingMode::Transparency;
  m.texture.mode = scene::TextureMode::Modulate;
  switch (mode.value) {
    case 0:
      m.blending = scene::BlendingMode::Opaque;
      m.texture.mode = scene::TextureMode::Replace;
      m.SetAlphaMode(scene::TextureAlphaMode::Opaque);
      break;
    case 1: m.SetAlphaMode(scene::TextureAlphaMode::FromIntensity); break;
    case 2: m.SetAlphaMode(scene::TextureAlphaMode::FromSqrtLuminance); break;
    case 3:
      m.texture.image.SetFormat(scene::TextureFormat::RGBA);
      m.SetAlphaMode(scene::TextureAlphaMode::Default);
      break;
    default: break;
  }
}

void TGameClass::Script_SetShadowMode(int64_t mode) {
  if (mode >= 0 && mode <= 2) Ctx.services->shadowMode = static_cast<int>(mode);
}

void TGameClass::Script_SetTimer(double dueTime, const std::string& function) {
  AddScriptTimer(Ctx, dueTime, function);
}

// ------------------------------------------------------------------ text files

int TGameClass::TextFileIndex(const std::string& name) const {
  for (size_t i = 0; i < textFileNames.size(); ++i)
    if (SameTextIgnoringCase(textFileNames[i], name)) return static_cast<int>(i);
  return -1;
}

int TGameClass::Script_LoadTextFile(const std::string& name) {
  // The resolved file is read (archive entry or disk file found in any
  // letter case); the table keeps the name as the script passed it.
  TKavoFileLocation loc = Ctx.files.Resolve(name);
  std::string bytes, error;
  if (!Ctx.files.Read(loc, bytes, &error, TTextFile::kMaxBytes))
    throw EKavoError("Cannot open file \"" + Shortened(name, 1024) + "\". " + (error.empty() ? "File not found" : error));
  if (bytes.size() > TTextFile::kMaxBytes)
    throw EKavoError("Cannot open file \"" + Shortened(name, 1024) + "\". Text files may hold at most " +
                     std::to_string(TTextFile::kMaxBytes >> 20) + " MiB");
  TTextFile lines(std::move(bytes));
  int index = TextFileIndex(name);
  if (index >= 0) {
    textFiles[static_cast<size_t>(index)] = std::move(lines);
  } else {
    index = static_cast<int>(textFiles.size());
    textFiles.push_back(std::move(lines));
    textFileNames.push_back(name);
  }
  return index;
}

bool TGameClass::Script_ForgetTextFile(const std::string& name) {
  const int index = TextFileIndex(name);
  if (index >= 0) {
    textFiles.erase(textFiles.begin() + index);
    textFileNames.erase(textFileNames.begin() + index);
  }
  return index >= 0;
}

TVariant TGameClass::Script_ReadLine(const std::string& name, std::optional<int64_t> line) {
  const int file = TextFileIndex(name);
  if (file < 0) return TVariant(std::string());
  const TTextFile& lines = textFiles[static_cast<size_t>(file)];
  if (!line) {
    // The last line; an empty file has none.
    return lines.LineCount() == 0 ? TVariant(false) : TVariant(lines.Line(lines.LineCount() - 1));
  }
  const int64_t i = *line;
  if (i < 0) throw ListIndexError(i);
  return i < static_cast<int64_t>(lines.LineCount()) ? TVariant(lines.Line(static_cast<size_t>(i))) : TVariant(false);
}

// ------------------------------------------------------------------ speech

void TGameClass::Script_AddRawConversationData(TKavo_ScriptFunctionData& d) {
  // No checks: each value given is converted to its field's type.
  TSpeechObject s;
  if (HasArg(d, 0)) s.actorIndex = ClampToInt32(d.Args[0].ToRoundedInt());
  if (HasArg(d, 1)) s.text = SpeechLineBreaks(d.Args[1].ToText());
  if (HasArg(d, 2)) s.startTime = static_cast<float>(d.Args[2].ToDouble());
  if (HasArg(d, 3)) s.duration = ClampToInt32(d.Args[3].ToRoundedInt());
  if (HasArg(d, 4)) s.blocking = d.Args[4].ToBool();
  if (HasArg(d, 5)) s.endFunction = d.Args[5].ToText();
  QueueRawSpeechLine(Ctx, std::move(s));
}

void TGameClass::Script_ClearConversations(TKavo_ScriptFunctionData&) { ClearSpeechQueue(Ctx); }

void TGameClass::Script_SkipToNextConversation(TKavo_ScriptFunctionData& d) {
  // With true, the voices of the lines on show stop as well.
  SkipSpeech(Ctx, HasArg(d, 0) && d.Args[0].ToBool());
}

}  // namespace kavo
