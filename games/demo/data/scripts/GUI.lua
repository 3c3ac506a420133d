-- The demo's GUI script: loaded the first time a general event needs it.
progressCalls = 0
lampOn = true
Game.Bind(VK_SPACE, "toggleLamp", true)

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
