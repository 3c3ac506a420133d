Game = TGame.Create()
Game.Debug = true
Game.GUIScript = "GUI.lua"
-- Three slots for the options, one under the other.
slots = {}
for i = 0, 2 do
  local t = THudtext.Create()
  t.SetPosition(400, 300 + 40 * i, 0)
  t.OnMouseMove = "restyle"
  slots[i] = t
end
talk = TConversation.Create()
for i = 0, 2 do talk.BindHudtext(i) end
talk.AddNode()
talk.AddNode()
talk.AddOption(0, "Who are you?", "askWho")
talk.AddOption(0, "Nice weather.", "askWeather")
talk.AddOption(0, "What is that?", "askThat")
talk.AddOption(1, "Nice weather.", "askWeather")
talk.AddOption(1, "Goodbye.", "sayBye")
talk.ShowNode(0)
