-- The demo's GUI script: loaded the first time a general event needs it.
progressCalls = 0
lampOn = true
Game.Bind(VK_SPACE, "toggleLamp", true)
Game.Bind(Game.Ord("F"), "toggleAmbience", true)
Game.Bind(Game.Ord("S"), "saveDemo", true)
Game.Bind(Game.Ord("L"), "loadDemo", true)

function toggleLamp()
  lampOn = not lampOn
  lamp.Visible = lampOn
  Game.LOG("Demo: the lamp is " .. (lampOn and "on" or "off"))
end

function OnGUIProgress()
  progressCalls = progressCalls + 1
  if progressCalls % 5 == 1 then
    Game.LOG("Demo: clock " .. Game.CurrentTime .. " s, frame time " .. Game.DeltaTime)
  end
end

-- The panel: a button lights up and ticks when the pointer comes over it,
-- and clicks when pressed.
hovered = nil
function overButton(name)
  if hovered == name then return end
  leaveButtons()
  hovered = name
  buttons[name].label.SetColorRGB(255, 220, 80)
  sound.Play(hoverSound, false)
  Game.LOG("Demo: the pointer is over the " .. name .. " button")
end
function leaveButtons()
  if hovered then buttons[hovered].label.SetColorRGB(255, 255, 255) end
  hovered = nil
end
function ambienceOver() overButton("ambience") end
function greetOver() overButton("greet") end
function talkOver() overButton("talk") end

-- The ambient loop fades out and back in (the button or the F key).
function toggleAmbience()
  ambienceOn = not ambienceOn
  if ambienceOn then sound.FadeIn(ambience, 1500) else sound.FadeOut(ambience, 1500) end
  Game.LOG("Demo: the ambience fades " .. (ambienceOn and "in" or "out"))
end
function ambienceClicked(button)
  sound.Play(clickSound, false)
  toggleAmbience()
end

-- The hero greets with a voiced line (its sound tag names the speech effect).
function greetClicked(button)
  sound.Play(clickSound, false)
  hero.Say("{greeting}Welcome to the café hall!", 1500, "greetingDone")
end
function greetingDone()
  Game.LOG("Demo: the hero finished his greeting")
end

-- Talking to the guard.
function talkClicked(button)
  sound.Play(clickSound, false)
  talk.ShowNode(0)
  Game.LOG("Demo: the conversation opens")
end
function restyleOptions()
  for i = 0, 3 do
    if slots[i].Enabled == 0 then slots[i].SetColorRGB(140, 140, 140) else slots[i].SetColorRGB(255, 240, 200) end
  end
end
function optionPressed() end
function optionsUp() talk.MoveUp() end
function optionsDown() talk.MoveDown() Game.LOG("Demo: the options scroll down") end
function ask(text, answer)
  talk.SetAsked(0, text)
  talk.ShowNode(0)
  hero.Say(text, 1200)
  guard.Say(answer, 1600)
  Game.LOG("Demo: asked \"" .. text .. "\"")
end
function askWho() ask("Who are you?", "The guard of this hall.") end
function askWhat() ask("What do you guard?", "The lamp, mostly.") end
function askLamp() ask("Nice lamp, isn't it?", "Do not touch it.") end
function askOdd() ask("Seen anything odd?", "Only you.") end
function askCrate() ask("May I take the crate?", "If you must.") end
function sayGoodbye()
  talk.HideNodes()
  upArrow.Visible = false
  downArrow.Visible = false
  hero.Say("Goodbye.", 800)
  Game.LOG("Demo: the conversation ends")
end

-- S saves the game, L loads it back behind the save's thumbnail.
function saveDemo()
  Game.SaveGame("demo-save.txt")
  Game.LOG("Demo: saved, the save is there: " .. Game.SaveExists("demo-save.txt"))
end
function loadDemo()
  if Game.SaveExists("demo-save.txt") == 0 then return end
  Game.LoadGame("demo-save.txt")
  loadScreen.Texture = "demo-save.jpg"
  loadScreen.Visible = true
  Game.SetTimer(Game.CurrentTime + 1, "hideLoadScreen")
end
function hideLoadScreen() loadScreen.Visible = false end
function onGeneralAfterLoad()
  Game.LOG("Demo: the save is loaded, the lamp is " .. (lampOn and "on" or "off"))
end
