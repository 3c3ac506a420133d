Game = TGame.Create()
cellar = TRoom.Create()
cellar.Name = "cellar"
cellar.FileName = "rooms/cellar.3ds"
cellar.Load()
