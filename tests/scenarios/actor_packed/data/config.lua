Game = TGame.Create()
Game.Debug = true
hero = TActor.Create()
hero.LoadBaseMesh("Actors/HERO.SMD")
hero.AddAnimation("actors/Hero.aaf")
Game.LOG("animation " .. hero.CurrentAnimation)
hero.RunBoneAnimation("talking", "talked", 20, false)
function talked() Game.LOG("talked, then " .. hero.CurrentAnimation) Game.Close() end
