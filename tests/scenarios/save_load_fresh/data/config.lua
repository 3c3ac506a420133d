Game = TGame.Create()
Game.Debug = false
Game.GUIScript = "GUI.lua"
hall = TRoom.Create()
hall.Name = "hall"
hall.FileName = "rooms\\hall.obj"
hall.ScriptFile = "hall.lua"
hall.Load()
-- S saves, C changes everything, L loads.
score = 10
motto = "it's \"quoted\"\r\nand GUI\\speechfont.gsf"
Game.Bind(Game.Ord("S"), "save", true)
Game.Bind(Game.Ord("C"), "change", true)
Game.Bind(Game.Ord("L"), "load", true)
function save() Game.SaveGame("slot1.txt") Game.LOG("saved: " .. Game.SaveExists("slot1.txt")) end
function change() score = 99 motto = "changed" box.SetPosition(7, 7, 7) Game.LOG("changed") end
function load() Game.LoadGame("slot1.txt") end
function onGeneralAfterLoad() Game.LOG("after load: box at " .. box.X .. ", score " .. score) end
