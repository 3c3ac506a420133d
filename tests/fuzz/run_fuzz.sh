#!/usr/bin/env bash
# Fuzzes the archive reader and decoders for a bounded time.
#   tests/fuzz/run_fuzz.sh [SECONDS]   (default 60)
# Configures its own build folder with clang, builds the fuzz target and the
# archive tool, makes a seed corpus with the tool, then runs libFuzzer.
# Exits non-zero when the fuzzer finds a crash.
set -euo pipefail
SECONDS_TO_RUN="${1:-60}"
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD="${KAVO_FUZZ_BUILD:-$ROOT/build-fuzz}"
WORK="$BUILD/fuzz-run"

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKAVO_BUILD_FUZZ=ON -DKAVO_BUILD_TESTS=OFF -DKAVO_BUILD_BENCH=OFF >/dev/null
ninja -C "$BUILD" -j2 fuzz_archive kavopack

FUZZ="$BUILD/fuzz_archive"
PACK="$BUILD/kavopack"

rm -rf "$WORK"
mkdir -p "$WORK/game/rooms/hall" "$WORK/corpus" "$WORK/artifacts"
# A small game folder: scripts, text and binary data.
printf 'Game = TGame.Create()\nGame.Debug = true\nlocal s = [[\nlong\n]]\n' > "$WORK/game/config.lua"
printf 'function onHallLoad()\n  Player.Say("Hello")\nend\n' > "$WORK/game/rooms/hall/hall.lua"
for i in $(seq 1 200); do printf 'line %d of the text with some words again and again\n' "$i"; done > "$WORK/game/rooms/notes.txt"
printf '%03000d' 0 > "$WORK/game/rooms/hall/zeros.bin"
seq 1 2000 > "$WORK/game/rooms/hall/mesh.3ds"

seed=0
for method in --stored --block --huffman; do
  for slash in "" --slash; do
    "$PACK" pack "$WORK/game" "$WORK/a.kvo" $method $slash >/dev/null 2>&1
    { printf '\000'; cat "$WORK/a.kvo"; } > "$WORK/corpus/archive$seed"
    if [ "$method" != --stored ]; then
      # The first entry lies right after the 16-byte header.
      len="$("$PACK" list "$WORK/a.kvo" | awk 'NR == 1 { print $1 }')"
      tail -c +17 "$WORK/a.kvo" > "$WORK/tail.bin"
      { printf '\001'; head -c "$len" "$WORK/tail.bin"; } > "$WORK/corpus/entry$seed"
      tail -c +21 "$WORK/a.kvo" > "$WORK/tail.bin"
      { printf '\002'; head -c $((len - 4)) "$WORK/tail.bin"; } > "$WORK/corpus/raw$seed"
    fi
    seed=$((seed + 1))
  done
done
printf '\004' | cat - "$WORK/game/rooms/hall/hall.lua" > "$WORK/corpus/script"

"$FUZZ" "$WORK/corpus" -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -artifact_prefix="$WORK/artifacts/" -print_final_stats=1
