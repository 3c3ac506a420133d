#include "world/actorspeech.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/kavosound.h"
#include "core/cadencer.h"
#include "core/log.h"
#include "core/strings.h"
#include "game/gameservices.h"
#include "platform/codepage.h"
#include "scene/bitmapfont.h"
#include "scene/nodes.h"
#include "scene/scenetree.h"
#include "script/binding.h"
#include "script/context.h"
#include "script/environment.h"
#include "world/kavoactor.h"
#include "world/kavoroom.h"

namespace kavo {

namespace {

double NowMs(const TKavoContext& ctx) { return ctx.clock ? ctx.clock->CurrentTime() * 1000.0 : 0.0; }

// The line with this serial, or null when it left the queue (the queue is
// sorted by serial: lines are only ever appended).
TSpeechObject* FindLine(TGameServices& s, uint64_t serial) {
  auto it = std::lower_bound(s.speechQueue.begin(), s.speechQueue.end(), serial,
                             [](const TSpeechObject& l, uint64_t v) { return l.serial < v; });
  return it != s.speechQueue.end() && it->serial == serial ? &*it : nullptr;
}

// The index of a speech effect's name (letter case ignored), -1 when none.
int SpeechEffectIndex(const TKavoContext& ctx, const std::string& name) {
  const std::string lower = LowerAscii(name);
  for (size_t i = 0; i < ctx.speechEffects.size(); ++i)
    if (LowerAscii(ctx.speechEffects[i]) == lower) return static_cast<int>(i);
  return -1;
}

uint64_t PlayVoice(TKavoContext& ctx, const std::string& sound) { return PlaySpeechEffect(ctx, sound); }
bool VoiceHeard(TKavoContext& ctx, uint64_t voice) { return voice != 0 && SpeechEffectHeard(ctx, voice); }
void StopVoice(TKavoContext& ctx, uint64_t voice) { StopSpeechEffect(ctx, voice); }

// The widest line of a text, in the font's pixels.
int64_t WidestLine(const scene::BitmapFontData& f, std::string_view text) {
  int64_t w = 0;
  for (std::string_view line : scene::TextLines(text)) w = std::max(w, f.StringWidth(line));
  return w;
}

// Breaks a line at spaces so that no line is wider than `limit` (a word
// wider than that keeps a line of its own).
std::string WrapAtSpaces(const scene::BitmapFontData& f, std::string_view text, int64_t limit) {
  std::string out;
  bool firstLine = true;
  for (std::string_view line : scene::TextLines(text)) {
    if (!firstLine) out += "\r\n";
    firstLine = false;
    std::string current;
    size_t i = 0;
    while (i <= line.size()) {
      size_t space = line.find(' ', i);
      if (space == std::string_view::npos) space = line.size();
      std::string_view word = line.substr(i, space - i);
      std::string candidate = current.empty() ? std::string(word) : current + " " + std::string(word);
      if (!current.empty() && f.StringWidth(candidate) > limit) {
        out += current + "\r\n";
        current = std::string(word);
      } else {
        current = std::move(candidate);
      }
      i = space + 1;
    }
    out += current;
  }
  return out;
}

}  // namespace

std::string SpeechText(const TKavoContext& ctx, const std::string& utf8) {
  return SpeechLineBreaks(Utf8ToCodePage(utf8, ctx.codePage));
}

TActorClass* SpeechSpeaker(TKavoContext& ctx, const TSpeechObject& line) {
  TActorClass* a = ResolveAs<TActorClass>(ctx.handles, line.speaker);
  return a != nullptr && ctx.actors.Contains(a) ? a : nullptr;
}

void QueueSpeechLine(TActorClass& actor, TKavo_ScriptFunctionData& d, bool blocking) {
  TKavoContext& ctx = actor.Ctx;
  d.Method = "Say";
  std::string text = StringArg(d, 0);
  int64_t duration = 0;
  if (HasArg(d, 1)) duration = IntegerArg(d, 1);
  std::string endFunction;
  if (HasArg(d, 2)) endFunction = StringArg(d, 2);

  TSpeechObject line;
  line.actorIndex = actor.actor.actorID;
  line.speaker = actor.Handle();
  // The sound tag: the name between the first "{" and the next "}".
  std::string sound;
  const size_t open = text.find('{');
  if (open != std::string::npos) {
    const size_t close = text.find('}', open + 1);
    if (close != std::string::npos) {
      sound = text.substr(open + 1, close - open - 1);
      if (!sound.empty()) text.erase(open, close - open + 1);
    }
  }
  line.text = SpeechText(ctx, text);
  if (!sound.empty() && SpeechEffectIndex(ctx, sound) >= 0) line.sound = sound;
  line.blocking = blocking;
  if (duration == 0) duration = 100 * static_cast<int64_t>(line.text.size());
  line.duration = static_cast<int32_t>(std::clamp<int64_t>(duration, INT32_MIN, INT32_MAX));
  line.endFunction = endFunction;
  TGameServices& s = *ctx.services;
  line.serial = s.nextSpeechSerial++;
  s.speechQueue.push_back(std::move(line));
}

void QueueRawSpeechLine(TKavoContext& ctx, TSpeechObject line) {
  TGameServices& s = *ctx.services;
  // The actor at that place in the actor list now (a save writes each
  // line's speaker by its place; a fresh run makes the actors again in the
  // same order).
  TActorClass* a = line.actorIndex >= 0 && line.actorIndex < static_cast<int32_t>(ctx.actors.Count())
                       ? ctx.actors.At(line.actorIndex)
                       : nullptr;
  line.speaker = a ? a->Handle() : 0;
  line.onShow = line.finished = line.skipped = false;
  line.voice = 0;
  line.serial = s.nextSpeechSerial++;
  s.speechQueue.push_back(std::move(line));
}

void RunSpeechStep(TKavoContext& ctx) {
  if (ctx.halted || ctx.game == nullptr || ctx.services == nullptr) return;
  TGameServices& s = *ctx.services;
  if (s.speechQueue.empty()) return;

  // The walk's serials, in a buffer kept between steps.
  std::vector<uint64_t> walk = std::move(s.speechWalk);
  walk.clear();
  walk.reserve(s.speechQueue.size());
  for (const TSpeechObject& l : s.speechQueue) walk.push_back(l.serial);
  const auto countShowing = [&s] {
    return static_cast<size_t>(
        std::count_if(s.speechQueue.begin(), s.speechQueue.end(), [](const TSpeechObject& l) { return l.onShow; }));
  };
  // Lines on show, kept as the walk goes: a blocking line waits for any.
  size_t showing = countShowing();

  for (size_t k = 0; k < walk.size(); ++k) {
    if (ctx.halted) break;
    const uint64_t serial = walk[k];
    // Until a script changed the queue, the line stands where it stood.
    TSpeechObject* line = k < s.speechQueue.size() && s.speechQueue[k].serial == serial ? &s.speechQueue[k]
                                                                                       : FindLine(s, serial);
    if (line == nullptr || line->finished) continue;
    // A blocking line waits while another is on show.
    if (!line->onShow && line->blocking && showing > 0) continue;
    TActorClass* actor = SpeechSpeaker(ctx, *line);
    if (actor == nullptr) {
      KavoLog("Speech line dropped, its actor (ID " + std::to_string(line->actorIndex) + ") is gone: " + line->text);
      if (line->onShow) --showing;
      if (line->voice) StopVoice(ctx, line->voice);
      line->onShow = false;
      line->finished = true;
      continue;
    }
    TKavoActor& a = actor->actor;

    // 1. Start.
    if (!line->onShow && a.speechText.empty() && a.speechLine == 0) {
      if (!line->sound.empty()) line->voice = PlayVoice(ctx, line->sound);
      a.speechText = line->text;
      a.speechLine = line->serial;
      line->onShow = true;
      ++showing;
      if (line->startTime == 0.0f) line->startTime = static_cast<float>(NowMs(ctx));
      if (!actor->OnActorTalk.empty()) {
        TKavo_ScriptFunctionData args;
        args.Args.emplace_back(static_cast<double>(line->duration));
        args.Args.emplace_back(line->text);
        args.Args.emplace_back(line->endFunction);
        const std::string talk = actor->OnActorTalk;
        CallEvent(ctx, RoomScriptPath(ctx), talk, args);
        if (ctx.halted) break;
        showing = countShowing();
        line = FindLine(s, serial);
        if (line == nullptr || line->finished) continue;
        actor = SpeechSpeaker(ctx, *line);
        if (actor == nullptr) continue;  // dropped on the next step
      }
    }

    // 2. On show: ends once its own sample is silent and its time is over
    // or a skip reached it.
    if (!line->onShow) continue;
    const bool timeOver = NowMs(ctx) > double(line->startTime) + double(line->duration);
    if (VoiceHeard(ctx, line->voice) || !(timeOver || line->skipped)) continue;
    line->onShow = false;
    line->finished = true;
    --showing;
    TKavoActor& speaker = actor->actor;
    if (speaker.speechLine == serial) {
      speaker.speechLine = 0;
      speaker.speechText.clear();
    }
    const std::string endFunction = line->endFunction;
    if (!endFunction.empty()) {
      CallEvent(ctx, RoomScriptPath(ctx), endFunction);
      if (ctx.halted) break;
      showing = countShowing();
    }
  }
  s.speechQueue.erase(std::remove_if(s.speechQueue.begin(), s.speechQueue.end(),
                                     [](const TSpeechObject& l) { return l.finished; }),
                      s.speechQueue.end());
  s.speechInProgress = countShowing() > 0;
  s.speechSkip = false;
  s.speechWalk = std::move(walk);
}

void ClearSpeechQueue(TKavoContext& ctx) {
  if (ctx.services == nullptr) return;
  TGameServices& s = *ctx.services;
  for (const TSpeechObject& l : s.speechQueue) {
    if (!l.onShow) continue;
    if (TActorClass* a = SpeechSpeaker(ctx, l); a && a->actor.speechLine == l.serial) {
      a->actor.speechLine = 0;
      a->actor.speechText.clear();
    }
  }
  s.speechQueue.clear();
  s.speechInProgress = false;
  s.speechSkip = false;
}

void SkipSpeech(TKavoContext& ctx, bool stopVoice) {
  if (ctx.services == nullptr) return;
  for (TSpeechObject& l : ctx.services->speechQueue) {
    if (!l.onShow) continue;
    l.skipped = true;
    ctx.services->speechSkip = true;
    if (stopVoice && l.voice) StopVoice(ctx, l.voice);
  }
}

void LayOutSpeechText(TActorClass& actor) {
  TKavoContext& ctx = actor.Ctx;
  TKavoActor& a = actor.actor;
  auto* node = dynamic_cast<scene::HudTextNode*>(a.speechNode);
  if (node == nullptr || a.root == nullptr || ctx.scene == nullptr) return;
  node->font = ctx.speechFont;
  node->colour = a.speechColour;
  int width = 0, height = 0;
  ctx.platform.GetClientSize(width, height);
  // 1. and 2. The actor's screen point, SpeechHeight pixels up.
  const glm::vec3 p = ctx.scene->ActiveView().Project(a.root->AbsolutePosition());
  float x = std::isfinite(p.x) ? p.x : 0.0f;
  float y = std::isfinite(p.y) ? float(height) - p.y - float(a.SpeechHeight) : 0.0f;
  // 3.
  if (a.speechText.empty()) {
    node->text.clear();
    node->Hide();
    return;
  }
  // 4. Measured by its widest line; a line wider than two thirds of the
  // view is broken at spaces.
  float w = 0.0f, charHeight = 0.0f;
  if (const scene::BitmapFont* f = node->font) {
    const int64_t limit = int64_t(width) * 2 / 3;
    node->text = WidestLine(f->data, a.speechText) > limit && limit > 0 ? WrapAtSpaces(f->data, a.speechText, limit)
                                                                         : a.speechText;
    w = static_cast<float>(WidestLine(f->data, node->text));
    charHeight = static_cast<float>(f->data.charHeight);
  } else {
    node->text = a.speechText;
  }
  // 5. to 8. Inside the view.
  if (w / 2 + x - 10 > float(width)) x = float(width) - w / 2 - 10;
  if (x - w / 2 - 20 < 20) x = w / 2 + 20;
  if (charHeight + y - 20 > float(height)) y = float(height) - charHeight - 20;
  if (y < 120) y = 120;
  node->SetXY(x, y);
  // 9.
  node->Show();
}

}  // namespace kavo
