#!/usr/bin/env bash
# Builds everything and runs every test (unit tests and whole-engine
# scenarios). Usage: scripts/test.sh [build-dir] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
shift || true
export SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-offscreen}" SDL_AUDIODRIVER=dummy
cmake -S . -B "$build" -G Ninja "$@" > /dev/null
ninja -C "$build"
ctest --test-dir "$build" --output-on-failure -j2
