#!/usr/bin/env bash
# Builds kavo and runs the bundled demo game: in a window where there is a
# display, headless (a fixed number of frames, log on the console) otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
ninja -C build kavo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/kavo games/demo/demo.kavogame "$@"
else
  echo "no display: running the demo headless for 300 frames"
  exec ./build/kavo --headless --fixed-step 16 --frames 300 --log build/demo-log.txt \
    games/demo/demo.kavogame -logtoconsole "$@"
fi
