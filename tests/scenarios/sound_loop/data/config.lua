Game = TGame.Create()
Game.Debug = false
-- A looping sound plays until the space bar stops it; a click plays once.
snd = TSound.Create()
music = snd.AddFromFile("sounds\\loop.wav")
click = snd.AddFromFile("sounds/click.wav")
Game.LOG("music " .. music .. ", click " .. click .. ", loop again " .. snd.AddFromFile("sounds/loop.wav"))
snd.Play(music, true)
snd.Play(click, false)
function report(what)
  Game.LOG(string.format("%s at %.2f: music %d, click %d", what, Game.CurrentTime, snd.IsPlaying(music), snd.IsPlaying(click)))
end
function check() report("check") end
function quiet() snd.Stop(music) report("space") end
report("start")
Game.SetTimer(0.15, "check")
Game.SetTimer(0.28, "check")
Game.Bind(VK_SPACE, "quiet", true)
