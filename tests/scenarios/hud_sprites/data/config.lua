Game = TGame.Create()
Game.Debug = false
Game.GUIScript = "GUI.lua"
-- Two overlapping buttons: both take a press, the newer one alone the release.
low = THudsprite.Create()
low.Texture = "GUI/Button.PNG"
low.SetSize(100, 50)
low.SetPosition(200, 100, 0)
low.OnMouseDown = "lowDown"
low.OnMouseUp = "lowUp"
high = THudsprite.Create()
high.Load("gui/button.png")
high.SetSize(100, 50)
high.SetPosition(250, 100, 0)
high.OnMouseDown = "highDown"
high.OnMouseUp = "highUp"
high.OnMouseMove = "highOver"
-- A narrow mouse rectangle: only the left 20 pixels of this one answer.
narrow = THudsprite.Create()
narrow.SetSize(100, 50)
narrow.SetPosition(200, 300, 0)
narrow.SetMouseRect(0, 0, 20, 50)
narrow.ScaleX = 200
narrow.OnMouseDown = "narrowDown"
