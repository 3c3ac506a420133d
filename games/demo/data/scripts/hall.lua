-- The hall: two props, a dummy by the wall and the room's own events.
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
end

function overProp()
  Game.SetMouseCursor("GUI\\hand.png")
end

function onhallMouseMove()
  Game.SetMouseCursor("GUI\\arrow.png")
end

function crateClicked(button)
  Game.LOG("Demo: the crate was clicked with button " .. button)
end

function lampClicked(button)
  Game.LOG("Demo: the lamp was clicked with button " .. button)
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
