// Actor speech: the one queue of spoken lines every actor's Say and
// SayBackground feed, the speech step that starts and ends them on the
// speech timer (100 ms), and the per-frame placing of an actor's speech
// text above its head, kept inside the view.
//
// A line starts when its actor is silent and, for a blocking line, when no
// line at all is on show; it plays its speech sample once, calls the
// actor's OnActorTalk and ends when its own sample is no longer heard and
// its time is over (or a skip reached it), then calls its end function.
// Scripts called from the step may queue, skip, clear or destroy anything:
// the step walks the lines the queue held when it began, finds each again
// by its serial and checks its actor again after every call.
#pragma once

#include <cstdint>
#include <string>

namespace kavo {

struct TKavoContext;
struct TSpeechObject;
struct TKavo_ScriptFunctionData;
class TActorClass;

// Say (blocking) and SayBackground: checks the arguments (named "Say" in
// both) and queues the line.
void QueueSpeechLine(TActorClass& actor, TKavo_ScriptFunctionData& d, bool blocking);

// Appends a line as a saved game writes it (Game.AddRawConversationData);
// its speaker is the actor at that place in the actor list now.
void QueueRawSpeechLine(TKavoContext& ctx, TSpeechObject line);

// The speech step (the speech timer).
void RunSpeechStep(TKavoContext& ctx);

// Game.ClearConversations: the queue empties and the lines on show leave
// their actors' texts (texts set by SetSpeechText stay).
void ClearSpeechQueue(TKavoContext& ctx);

// Game.SkipToNextConversation: the lines on show end as soon as their
// samples stop; with stopVoice their samples stop now.
void SkipSpeech(TKavoContext& ctx, bool stopVoice);

// The text as speech shows it: UTF-8 to the code page (kept as it is when
// it is not UTF-8), every lone CR or LF made CR LF.
std::string SpeechText(const TKavoContext& ctx, const std::string& utf8);

// Places the actor's speech text above it for this frame (the per-frame
// actor step), or hides it when there is no text.
void LayOutSpeechText(TActorClass& actor);

// The speaking actor of a line, null when it is gone.
TActorClass* SpeechSpeaker(TKavoContext& ctx, const TSpeechObject& line);

}  // namespace kavo
