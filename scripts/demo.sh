#!/usr/bin/env bash
# Builds kavo and runs the bundled demo game: in a window where there is a
# display, headless (a fixed number of frames, log on the console) otherwise.
# The game is played from a copy in build/demo that holds the speech font
# the build baked (build/fonts/GUI/speechfont.gsf and .png).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
ninja -C build kavo fonts
rm -rf build/demo
cp -r games/demo build/demo
cp build/fonts/GUI/speechfont.gsf build/fonts/GUI/speechfont.png build/demo/data/GUI/
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/kavo build/demo/demo.kavogame "$@"
else
  echo "no display: running the demo headless for 300 frames"
  exec ./build/kavo --headless --fixed-step 16 --frames 300 --log build/demo-log.txt \
    build/demo/demo.kavogame -logtoconsole "$@"
fi
