Game = TGame.Create()
-- With Debug on (the default) a missing cursor picture ends the game.
function OnGUIProgress()
  Game.LOG("setting the cursor")
  Game.SetMouseCursor("GUI\\nocursor.png")
  Game.LOG("not reached")
end
