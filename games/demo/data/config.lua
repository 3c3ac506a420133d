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

-- Sounds and the hero's voice (the build makes them; a copy of the demo
-- without them plays silently: AddFromFile then gives -1).
sound = TSound.Create()
clickSound = sound.AddFromFile("sounds\\click.wav")
hoverSound = sound.AddFromFile("sounds\\hover.wav")
ambience = sound.AddFromFile("sounds\\ambience.wav")
sound.AddSpeechFX("voices\\greeting.wav", "greeting")
ambienceOn = true
if ambience >= 0 then sound.Play(ambience, true) end

-- The panel: a title with an accented word and two buttons along the
-- bottom edge, each a picture with its caption on it.
title = THudtext.Create()
title.Text = "Kavo demo: the café hall"
title.SetPosition(400, 20, 0)
title.SetColorRGB(255, 230, 160)
buttons = {}
function makeButton(name, x, caption, onClick)
  local b = THudsprite.Create()
  b.Texture = "GUI\\button.png"
  b.TransparencyMode = 0
  b.SetSize(150, 32)
  b.SetPosition(x, 570, 0)
  b.OnMouseMove = name .. "Over"
  b.OnMouseDown = onClick
  local t = THudtext.Create()
  t.Text = caption
  t.SetPosition(x, 570, 0)
  t.OnMouseMove = name .. "Over"
  t.OnMouseDown = onClick
  buttons[name] = {sprite = b, label = t}
end
makeButton("ambience", 85, "Ambience", "ambienceClicked")
makeButton("greet", 245, "Greet", "greetClicked")

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
