function lowDown(b) Game.LOG("low pressed " .. b) end
function lowUp(b) Game.LOG("low released " .. b) end
function highDown(b) Game.LOG("high pressed " .. b) end
function highUp(b) Game.LOG("high released " .. b) end
function highOver() if not over then over = true Game.LOG("over high") end end
function narrowDown(b) Game.LOG("narrow pressed at " .. Game.MouseX) end
