Game = TGame.Create()
Game.Debug = false
cam = TCamera.Create()
cam.SetPosition(0, 300, -1)
cam.SetTargetPosition(0, 0, 0)
hall = TRoom.Create()
hall.Name = "hall"
hall.FileName = "floor.obj"
hall.ScriptFile = "hall.lua"
hall.Load()
crate = TMesh.Create()
crate.Load("crate.obj")
crate.OnMouseDown = "crateDown"
Game.Bind(VK_SPACE, "held")
Game.Bind(Game.Ord("A"), "released", true)
