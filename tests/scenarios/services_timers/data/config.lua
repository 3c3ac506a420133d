Game = TGame.Create()
Game.Debug = false
-- Text files resolve whatever their letter case, on disk and in archives.
Game.LOG("story " .. Game.LoadTextFile("texts\\STORY.TXT"))
Game.LOG("packed " .. Game.LoadTextFile("lines\\inside.txt"))
Game.LOG(Game.ReadLine("texts\\story.txt", 0) .. " / " .. Game.ReadLine("texts\\story.txt"))
Game.LOG("past the end " .. Game.ReadLine("texts\\story.txt", 3))
-- Timers: due ones fire in the order set; a timer may set itself again.
n = 0
function tick()
  n = n + 1
  Game.LOG(string.format("tick %d at %.2f", n, Game.CurrentTime))
  if n < 3 then Game.SetTimer(Game.CurrentTime + 0.055, "tick") end
end
function first() Game.LOG("first " .. Game.ReadLine("lines\\inside.txt", 1)) end
function late() Game.LOG(string.format("late at %.2f", Game.CurrentTime)) Game.SetTimer(0, "missing") end
Game.SetTimer(0.205, "late")
Game.SetTimer(0, "first")
Game.SetTimer(0, "tick")
