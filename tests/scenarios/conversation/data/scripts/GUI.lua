-- Asked options are drawn grey.
function restyle()
  for i = 0, 2 do
    if slots[i].Enabled == 0 then slots[i].SetColorRGB(128, 128, 128) else slots[i].SetColorRGB(255, 255, 255) end
  end
end

function showSlots()
  local line = "slots:"
  for i = 0, 2 do
    if slots[i].Visible == "True" then line = line .. " [" .. slots[i].Text .. "]" else line = line .. " -" end
  end
  Game.LOG(line)
end

function askWho(button)
  Game.LOG("askWho with button " .. button)
  talk.SetAsked(0, "Who are you?")
  talk.HideNodes()
  talk.ShowNode(1)
  showSlots()
end

function askWeather(button) Game.LOG("askWeather with button " .. button) end
function askThat(button) Game.LOG("askThat with button " .. button) end

function sayBye(button)
  Game.LOG("sayBye with button " .. button)
  talk.HideNodes()
  showSlots()
end
