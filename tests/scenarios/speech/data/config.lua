Game = TGame.Create()
Game.Debug = false
Game.GUIScript = "GUI.lua"
-- Two speakers: a blocking conversation, a background remark, and a key
-- that skips the line on show.
anna = TActor.Create()
ben = TActor.Create()
anna.OnActorTalk = "talks"
ben.OnActorTalk = "talks"
function talks(duration, text, after)
  Game.LOG(string.format("%.1f talk %s (%d ms, then %s)", Game.CurrentTime, text, duration, after))
end
function done(who) Game.LOG(string.format("%.1f %s done", Game.CurrentTime, who)) end
function annaDone() done("anna") end
function benDone() done("ben") end
function remarkDone() done("remark") end
anna.Say("Hello there", 300, "annaDone")
ben.Say("A long answer nobody waits for", 100000, "benDone")
anna.Say("{nosuchsound}Well then", 0, "annaDone")
ben.SayBackground("hm", 200, "remarkDone")
