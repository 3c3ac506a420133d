-- The demo game's configuration script: it creates the Game object and
-- sets the game-wide settings.
Game = TGame.Create()
Game.Caption = "Kavo demo"
Game.Title = "Kavo demo"
Game.GUIScript = "GUI.lua"
Game.LOG("Demo: Game object created, debug mode is " .. Game.Debug)
