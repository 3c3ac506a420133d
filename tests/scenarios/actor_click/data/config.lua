Game = TGame.Create()
Game.Debug = false
cam = TCamera.Create()
cam.SetPosition(0, 600, -1)
cam.SetTargetPosition(0, 0, 0)
hall = TRoom.Create()
hall.Name = "hall"
hall.FileName = "floor.obj"
hall.WalkArea = "floor.obj"
hall.ScriptFile = "hall.lua"
hall.Load()
hero = TActor.Create()
hero.LoadBaseMesh("actors/hero.smd")
hero.AddAnimation("actors/hero.aaf")
hero.SetCollisionScale(10, 10, 10)
hero.SetPosition(-150, 10, 0)
hero.MouseControl = true
