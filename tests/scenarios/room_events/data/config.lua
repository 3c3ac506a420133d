Game = TGame.Create()
hall = TRoom.Create()
hall.Name = "hall"
hall.FileName = "rooms/floor.obj"
hall.WalkArea = "rooms/floor.obj"
hall.NaviMesh = "rooms/floor.obj"
hall.ScriptFile = "hall.txt"
yard = TRoom.Create()
yard.Name = "yard"
yard.FileName = "rooms\\floor.obj"
yard.ScriptFile = "yard.txt"
hall.Load()
