Game = TGame.Create()
Game.Debug = false
-- Two cubes in one inventory, one column apart at a column offset of 1:
-- on screen the second overlaps the first's left edge around (390, 300).
bag = TInventory.Create()
bag.SetPosition(0, 0)
bag.XOffset = 1
first = TMesh.Create()
first.Load("items\\cube.obj")
first.MoveToInventory(bag.ID)
second = TMesh.Create()
second.Load("items\\cube.obj")
second.InInventory = bag.ID
first.OnMouseDown = "firstDown"
first.OnMouseUp = "firstUp"
first.OnMouseWheel = "firstWheel"
first.OnMouseMove = "firstOver"
second.OnMouseDown = "secondDown"
second.OnMouseMove = "secondOver"
hover = ""
function firstDown(b) Game.LOG("first pressed " .. b) end
function secondDown(b) Game.LOG("second pressed " .. b) end
function firstUp(b) Game.LOG("first released " .. b) end
function firstWheel(d) Game.LOG("first wheel " .. d) end
function over(name)
  if hover ~= name then Game.LOG("over " .. name) hover = name end
end
function firstOver() over("first") end
function secondOver() over("second") end
Game.LOG("items " .. bag.Count .. ": " .. bag.GetMeshID(0) .. " " .. bag.GetMeshID(1))
