Game = TGame.Create() Game.Debug = false x = nil .. 1
