-- The demo game's configuration script: it creates the Game object, sets
-- the game-wide settings and loads the first room.
Game = TGame.Create()
Game.Caption = "Kavo demo"
Game.Title = "Kavo demo"
Game.GUIScript = "GUI.lua"
Game.WalkpawnsFilename = "GUI\\walkpawns.3ds"
Game.SetBackgroundRGB(40, 60, 90)
Game.SetFogRGB(40, 60, 90)
Game.FogStart = 250
Game.FogEnd = 900
Game.SetGlobalAmbienceRGB(255, 255, 255)
Game.SetMouseCursor("GUI\\arrow.png")
Game.SetMouseTransparency(3)
Game.SetMouseOffset(32, 32)
Game.LOG("Demo: Game object created, debug mode is " .. Game.Debug)

camera = TCamera.Create()
camera.SetPosition(0, 160, -220)
camera.SetTargetPosition(0, 0, 20)

hall = TRoom.Create()
hall.Name = "hall"
hall.FileName = "rooms\\hall\\hall.obj"
hall.WalkArea = "rooms\\hall\\hall.obj"
hall.NaviMesh = "rooms\\hall\\hallnav.obj"
hall.ScriptFile = "hall.lua"
hall.Load()
