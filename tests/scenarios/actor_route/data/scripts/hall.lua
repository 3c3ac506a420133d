-- The hero walks the L-shaped corridor from one end to the other. It must
-- stay inside the corridor (with a margin for its body) and arrive.
left = false
function inside(x, z)
  local m = 15
  return (x > -m and x < 400 + m and z > -m and z < 100 + m) or (x > 300 - m and x < 400 + m and z > -m and z < 400 + m)
end
function onhallProgress()
  if not left and not inside(hero.X, hero.Z) then
    left = true
    Game.LOG("the hero left the corridor at " .. math.floor(hero.X) .. "," .. math.floor(hero.Z))
  end
end
function arrived()
  local near = math.abs(hero.X - 350) < 15 and math.abs(hero.Z - 350) < 15
  Game.LOG("arrived near the goal: " .. tostring(near))
  Game.Close()
end
