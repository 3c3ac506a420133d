-- The hall: two props, a dummy by the wall, the player's hero, a guard on
-- his round and the room's own events.
function onhallLoad()
  Game.LOG("Demo: the hall is loaded")
  crate = TMesh.Create()
  crate.Load("props\\crate.obj")
  crate.SetPosition(-40, 0, 30)
  crate.OnMouseDown = "crateClicked"
  crate.OnMouseMove = "overProp"
  lamp = TMesh.Create()
  lamp.Load("props\\lamp.obj")
  lamp.SetPosition(50, 0, 60)
  lamp.OnMouseDown = "lampClicked"
  lamp.OnMouseMove = "overProp"
  corner = TDummy.Create()
  corner.SetPosition(80, 0, -60)
  corner.SetScale(30, 30, 30)
  corner.OnMouseDown = "cornerClicked"
  turns = 0
  Game.SetTimer(Game.CurrentTime + 0.5, "turnCrate")

  -- The hero walks where the floor is clicked, around the props.
  hero = makeFigure(-60, -60)
  hero.MouseControl = true

  -- The guard walks a round of four points; at each the crate changes size.
  guard = makeFigure(-20, -75)
  guard.SetMeshScale(0.4, 0.4, 0.4)
  round = {{70, -75}, {70, -15}, {-75, -15}, {-75, -75}}
  corners = 0
  for i, p in ipairs(round) do guard.AddWalkPoint(p[1], 0, p[2], "guardAtCorner") end
end

-- A figure with its standing, walking and talking animations, standing on
-- the floor at (x, z): its body is an ellipsoid 25 units high around the
-- root, so the model hangs 25 units below it.
function makeFigure(x, z)
  local f = TActor.Create()
  f.LoadBaseMesh("actors\\hero.smd")
  f.AddAnimation("actors\\standing.smd")
  f.AddAnimation("actors\\walking.smd")
  f.AddAnimation("actors\\talking.smd")
  f.SetMeshScale(0.5, 0.5, 0.5)
  f.SetCollisionScale(8, 25, 8)
  f.SetActor_Dummy_Position(0, -25, 0)
  f.SetPosition(x, 26, z)
  f.WalkingInterval = 60
  return f
end

function guardAtCorner()
  corners = corners + 1
  local size = (corners % 2 == 1) and 1.3 or 1
  if crate.InInventory == -1 then crate.SetScale(size, size, size) end
  if corners == 1 then Game.LOG("Demo: the guard reached his first corner") end
  -- The point just reached goes to the end of the round again.
  local p = round[(corners - 1) % 4 + 1]
  guard.AddWalkPoint(p[1], 0, p[2], "guardAtCorner")
end

function overProp()
  Game.SetMouseCursor("GUI\\hand.png")
end

function onhallMouseMove()
  Game.SetMouseCursor("GUI\\arrow.png")
  if leaveButtons then leaveButtons() end
end

function crateClicked(button)
  Game.LOG("Demo: the crate was clicked with button " .. button)
  if crate.InInventory == -1 then
    -- The hero picks it up into the inventory bar.
    crate.MoveToInventory(bar.ID)
    crate.SetScale(0.08, 0.08, 0.08)
    Game.LOG("Demo: the crate is in the inventory bar")
  else
    -- Used from the bar: the hero puts it down where it stood.
    crate.InInventory = -1
    crate.SetScale(1, 1, 1)
    crate.SetPosition(-40, 0, 30)
    hero.Say("There, back where it was.", 1500)
    Game.LOG("Demo: the crate is used from the inventory bar")
  end
end

function lampClicked(button)
  Game.LOG("Demo: the lamp was clicked with button " .. button)
  if not lampTaken then hero.FindPathAndWalk(50, 0, 45, "takeLamp") end
end

function takeLamp()
  lampTaken = true
  lamp.MoveToActorsHand(hero.ID, 1)
  lamp.SetPosition(0, 0, -10)
  lamp.SetRotation(0, 0, 0)
  Game.LOG("Demo: the hero took the lamp")
end

function cornerClicked(button)
  Game.LOG("Demo: the corner by the wall was clicked")
end

function onhallMouseDown(button)
  Game.LOG("Demo: the floor was clicked at " .. math.floor(Game.Get3DX(Game.MouseX, Game.MouseY)) .. ", " ..
           math.floor(Game.Get3DZ(Game.MouseX, Game.MouseY)))
end

-- A timer that turns the crate a little and sets itself again.
function turnCrate()
  turns = turns + 1
  crate.TurnAngle = turns * 15
  Game.SetTimer(Game.CurrentTime + 0.5, "turnCrate")
end
