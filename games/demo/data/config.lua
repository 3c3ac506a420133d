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
makeButton("talk", 405, "Talk", "talkClicked")

-- The conversation with the guard: six questions on four lines at the
-- bottom right, scrolled with two small arrows; asked ones turn grey.
slots = {}
for i = 0, 3 do
  local t = THudtext.Create()
  t.HAlign = "left"
  t.SetPosition(440, 470 + 22 * i, 0)
  t.OnMouseMove = "restyleOptions"
  t.OnMouseDown = "optionPressed"  -- a press on an option does not walk
  slots[i] = t
end
function makeArrow(y)
  local a = THudsprite.Create()
  a.Texture = "GUI\\button.png"
  a.TransparencyMode = 0
  a.SetSize(16, 16)
  a.SetPosition(425, y, 0)
  return a
end
upArrow = makeArrow(470)
downArrow = makeArrow(536)
talk = TConversation.Create()
for i = 0, 3 do talk.BindHudtext(slots[i].ID) end
talk.UpSprite = upArrow.ID
talk.DownSprite = downArrow.ID
upArrow.OnMouseDown = "optionsUp"
downArrow.OnMouseDown = "optionsDown"
talk.AddNode()
talk.AddOption(0, "Who are you?", "askWho")
talk.AddOption(0, "What do you guard?", "askWhat")
talk.AddOption(0, "Nice lamp, isn't it?", "askLamp")
talk.AddOption(0, "Seen anything odd?", "askOdd")
talk.AddOption(0, "May I take the crate?", "askCrate")
talk.AddOption(0, "Goodbye.", "sayGoodbye")
talk.HideNodes()
upArrow.Visible = false
downArrow.Visible = false

-- The inventory bar at the top right: the crate goes there when clicked.
bar = TInventory.Create()
bar.SetPosition(-1.2, 0.9)
bar.XCount = 4
bar.YCount = 1

-- The thumbnail of the last save, shown while a save loads.
loadScreen = THudsprite.Create()
loadScreen.SetSize(256, 256)
loadScreen.SetPosition(400, 300, 0)
loadScreen.TransparencyMode = 0
loadScreen.Visible = false

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
