# A first process changes the game and saves it; the scenario's own run (a
# second process) loads that save.
printf '100 keydown C\n110 keyup C\n200 keydown S\n210 keyup S\n' > first-input.txt
SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-offscreen}" SDL_AUDIODRIVER=dummy ./kavo --headless --fixed-step 10 --frames 30 \
  --input first-input.txt --log first-log.txt > /dev/null 2>&1
test -f data/slot1.txt
