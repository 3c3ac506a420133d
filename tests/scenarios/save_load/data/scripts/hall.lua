function onhallLoad()
  if box == nil then
    box = TDummy.Create()
    box.SetPosition(1, 2, 3)
  end
  Game.LOG("hall loaded")
end
function onhallAfterLoad() Game.LOG("hall after load: box at " .. box.X .. ", score " .. score .. ", " .. motto) end
