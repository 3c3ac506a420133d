Game = TGame.Create() Game.LOG("lua")
