-- The demo's GUI script: loaded the first time a general event needs it.
progressCalls = 0
lampOn = true
Game.Bind(VK_SPACE, "toggleLamp", true)
Game.Bind(Game.Ord("F"), "toggleAmbience", true)

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
