#!/usr/bin/env bash
# Builds kavo and runs the bundled demo game: in a window where there is a
# display, headless (a fixed number of frames, log on the console) otherwise.
# The game is played from a copy in build/demo that holds what the build
# made for it (build/demo-assets: the baked speech font and the sounds).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
ninja -C build kavo demo_assets
rm -rf build/demo
cp -r games/demo build/demo
cp -r build/demo-assets/. build/demo/data/
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/kavo build/demo/demo.kavogame "$@"
else
  echo "no display: running the demo headless for 300 frames"
  exec ./build/kavo --headless --fixed-step 16 --frames 300 --log build/demo-log.txt \
    build/demo/demo.kavogame -logtoconsole "$@"
fi
