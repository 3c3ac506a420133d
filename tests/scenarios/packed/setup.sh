# config.kvo holds config/config.txt; config.lua on disk must be ignored.
mkdir -p data
"$KAVOPACK" pack src/config data/config.kvo --stored > /dev/null 2>&1
echo 'Game = TGame.Create() Game.LOG("disk config must not run")' > data/config.lua
mkdir -p data/scripts
echo 'function OnGUIProgress() Game.LOG("gui from disk") Game.Close() end' > data/scripts/gui.lua
