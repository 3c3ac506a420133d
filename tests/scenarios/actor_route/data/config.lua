Game = TGame.Create()
Game.Debug = false
cam = TCamera.Create()
cam.SetPosition(200, 900, 199)
cam.SetTargetPosition(200, 0, 200)
hall = TRoom.Create()
hall.Name = "hall"
hall.FileName = "floor.obj"
hall.WalkArea = "floor.obj"
hall.NaviMesh = "corridor.obj"
hall.ScriptFile = "hall.lua"
hall.Load()
hero = TActor.Create()
hero.LoadBaseMesh("actors/hero.smd")
hero.AddAnimation("actors/hero.aaf")
hero.SetCollisionScale(10, 10, 10)
hero.SetPosition(50, 10, 50)
hero.FindPathAndWalk(350, 0, 350, "arrived")
