-- The demo's GUI script: loaded the first time a general event needs it.
progressCalls = 0

function OnGUIProgress()
  progressCalls = progressCalls + 1
  if progressCalls == 1 then
    Game.LOG("Demo: first GUI progress call at " .. Game.CurrentTime)
  end
end
