Game.Bind(VK_SPACE, "skip", true)
function skip()
  Game.LOG(string.format("%.1f skip", Game.CurrentTime))
  Game.SkipToNextConversation()
end
