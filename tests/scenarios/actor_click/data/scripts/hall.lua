-- A plain click on the floor walks the hero there; a shift-click does not.
reached = false
moved = false
function onhallProgress()
  if not clickX then return end
  local near = math.abs(hero.X - clickX) < 15 and math.abs(hero.Z - clickZ) < 15
  if not reached and near then
    reached = true
    Game.LOG("the hero reached the clicked point")
  elseif reached and not near and not moved then
    moved = true
    Game.LOG("the hero walked away from the clicked point")
  end
end
function onhallMouseDown(b)
  if not clickX then
    clickX = Game.Get3DX(Game.MouseX, Game.MouseY)
    clickZ = Game.Get3DZ(Game.MouseX, Game.MouseY)
  end
  Game.LOG("floor pressed with button " .. b)
end
