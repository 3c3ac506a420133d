function onhallMouseDown(b) Game.LOG("room down " .. b .. " at " .. Game.MouseX .. "," .. Game.MouseY) end
function crateDown(b) Game.LOG("crate down " .. b .. " at " .. Game.MouseX .. "," .. Game.MouseY) end
