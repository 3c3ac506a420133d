#!/usr/bin/env bash
# Fuzzes every loader of game data for a bounded time.
#   tests/fuzz/run_fuzz.sh [SECONDS]   (default 60; at least 20 per target)
# Configures its own build folder with clang, builds the fuzz targets and the
# archive tool, makes the seed corpora, then runs each target in turn for an
# equal share of SECONDS:
#   fuzz_archive        the .kvo reader, its decoders and the script cipher
#   fuzz_gltf           glTF and GLB models, external buffers from memory
#   fuzz_3ds            3D Studio models through LoadModel
#   fuzz_obj            OBJ models with their MTL library (after a "%%mtl" line)
#   fuzz_smd            SMD models, posed, with an animation (after a "%%anim" line)
#   fuzz_md2            MD2 models, posed, with more frames (after a "%%anim" line)
#   fuzz_picture        pictures through the texture loader (first byte: format)
#   fuzz_speechfont     stored speech fonts (.gsf data)
#   fuzz_sound          sound samples (WAV, AIFF, VOC, Ogg...; FLAC is skipped) through
#                       SDL_mixer, then played by a sound system
#   fuzz_projectfile    .kavogame project files
#   fuzz_scriptedinput  --input files, parsed and replayed
# Exits non-zero when a target crashes, trips a sanitizer or a check, runs
# past the time limit for one input or past the memory limits, and names the
# reproducer files (in $BUILD/fuzz-run/<target>/artifacts/).
#
# Environment: KAVO_FUZZ_BUILD (build folder, default build-fuzz),
# KAVO_FUZZ_JOBS (build jobs, default 2), KAVO_FUZZ_TARGETS (the targets to
# run, default all, e.g. "fuzz_obj fuzz_3ds"), KAVOPACK (an archive tool
# already built, for the archive seeds; else it is built here with clang).
#
# One target for longer, by hand, after a first run made the build and the
# corpora (new inputs it finds go to the first folder):
#   build-fuzz/fuzz_obj build-fuzz/fuzz-run/fuzz_obj/corpus -dict=tests/fuzz/obj.dict \
#     -max_total_time=600 -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 -max_len=16384
# A reproducer runs as: build-fuzz/fuzz_obj path/to/crash-file
set -euo pipefail
SECONDS_TO_RUN="${1:-60}"
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
FUZZ_DIR="$ROOT/tests/fuzz"
BUILD="${KAVO_FUZZ_BUILD:-$ROOT/build-fuzz}"
JOBS="${KAVO_FUZZ_JOBS:-2}"
WORK="$BUILD/fuzz-run"
ALL_TARGETS="fuzz_archive fuzz_gltf fuzz_3ds fuzz_obj fuzz_smd fuzz_md2 fuzz_picture fuzz_speechfont fuzz_sound fuzz_projectfile fuzz_scriptedinput"
TARGETS="${KAVO_FUZZ_TARGETS:-$ALL_TARGETS}"

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKAVO_BUILD_FUZZ=ON -DKAVO_BUILD_TESTS=OFF -DKAVO_BUILD_BENCH=OFF >/dev/null
BUILD_TARGETS="$TARGETS"
PACK="${KAVOPACK:-}"
if [ -z "$PACK" ] && [[ " $TARGETS " == *" fuzz_archive "* ]]; then
  BUILD_TARGETS="$BUILD_TARGETS kavopack"
  PACK="$BUILD/kavopack"
fi
# shellcheck disable=SC2086
ninja -C "$BUILD" -j"$JOBS" $BUILD_TARGETS

rm -rf "$WORK"
mkdir -p "$WORK"

# ---- seed corpora
make_archive_corpus() {
  local out="$1" game="$WORK/archive-game" pack="$PACK"
  mkdir -p "$game/rooms/hall" "$out"
  # A small game folder: scripts, text and binary data.
  printf 'Game = TGame.Create()\nGame.Debug = true\nlocal s = [[\nlong\n]]\n' > "$game/config.lua"
  printf 'function onHallLoad()\n  Player.Say("Hello")\nend\n' > "$game/rooms/hall/hall.lua"
  for i in $(seq 1 200); do printf 'line %d of the text with some words again and again\n' "$i"; done > "$game/rooms/notes.txt"
  printf '%03000d' 0 > "$game/rooms/hall/zeros.bin"
  seq 1 2000 > "$game/rooms/hall/mesh.3ds"
  local seed=0 method slash len
  for method in --stored --block --huffman; do
    for slash in "" --slash; do
      "$pack" pack "$game" "$WORK/a.kvo" $method $slash >/dev/null 2>&1
      { printf '\000'; cat "$WORK/a.kvo"; } > "$out/archive$seed"
      if [ "$method" != --stored ]; then
        # The first entry lies right after the 16-byte header.
        len="$("$pack" list "$WORK/a.kvo" | awk 'NR == 1 { print $1 }')"
        tail -c +17 "$WORK/a.kvo" > "$WORK/tail.bin"
        { printf '\001'; head -c "$len" "$WORK/tail.bin"; } > "$out/entry$seed"
        tail -c +21 "$WORK/a.kvo" > "$WORK/tail.bin"
        { printf '\002'; head -c $((len - 4)) "$WORK/tail.bin"; } > "$out/raw$seed"
      fi
      seed=$((seed + 1))
    done
  done
  printf '\004' | cat - "$game/rooms/hall/hall.lua" > "$out/script"
}

if [[ " $TARGETS " == *" fuzz_archive "* ]]; then make_archive_corpus "$WORK/fuzz_archive/corpus"; fi
python3 "$FUZZ_DIR/make_gltf_corpus.py" "$WORK/fuzz_gltf/corpus" >/dev/null
python3 "$FUZZ_DIR/make_corpus.py" "$WORK/seeds"
for kind in 3ds obj smd md2 picture speechfont sound projectfile scriptedinput; do
  mkdir -p "$WORK/fuzz_$kind"
  mv "$WORK/seeds/$kind" "$WORK/fuzz_$kind/corpus"
done
# Ogg Vorbis and FLAC seeds, where the encoders beside SDL_mixer's decoders
# are installed (without them the target starts from the other seeds).
if [[ " $TARGETS " == *" fuzz_sound "* ]]; then
  # shellcheck disable=SC2046
  if cc "$FUZZ_DIR/make_sound_seeds.c" -o "$WORK/make_sound_seeds" \
       $(pkg-config --cflags --libs vorbisenc vorbis ogg flac 2>/dev/null) -lm 2>/dev/null; then
    "$WORK/make_sound_seeds" "$WORK/fuzz_sound/corpus" || echo "make_sound_seeds failed: no Ogg or FLAC seeds"
  else
    echo "no Vorbis or FLAC encoder to build make_sound_seeds with: no Ogg or FLAC seeds"
  fi
fi

# ---- what each target reads: its dictionary, extra read-only seed folders
# and the longest input worth trying.
options() {
  case "$1" in
    fuzz_archive) echo "-max_len=65536" ;;
    fuzz_gltf) echo "-max_len=16384 -dict=$FUZZ_DIR/gltf.dict $FUZZ_DIR/corpus/gltf" ;;
    fuzz_3ds) echo "-max_len=16384 -dict=$FUZZ_DIR/3ds.dict" ;;
    fuzz_obj) echo "-max_len=16384 -dict=$FUZZ_DIR/obj.dict" ;;
    fuzz_smd) echo "-max_len=16384 -dict=$FUZZ_DIR/smd.dict" ;;
    fuzz_md2) echo "-max_len=16384" ;;
    fuzz_picture) echo "-max_len=16384 -dict=$FUZZ_DIR/picture.dict" ;;
    fuzz_speechfont) echo "-max_len=8192" ;;
    fuzz_sound) echo "-max_len=16384 -dict=$FUZZ_DIR/sound.dict" ;;
    fuzz_projectfile) echo "-max_len=4096 -dict=$FUZZ_DIR/projectfile.dict" ;;
    fuzz_scriptedinput) echo "-max_len=8192 -dict=$FUZZ_DIR/scriptedinput.dict" ;;
  esac
}

count=0
for t in $TARGETS; do count=$((count + 1)); done
share=$((SECONDS_TO_RUN / count))
if [ "$share" -lt 20 ]; then share=20; fi

failed=()
for t in $TARGETS; do
  dir="$WORK/$t"
  mkdir -p "$dir/artifacts"
  echo "== $t for ${share} s"
  status=0
  # shellcheck disable=SC2046
  "$BUILD/$t" "$dir/corpus" $(options "$t") -max_total_time="$share" -timeout=10 \
    -rss_limit_mb=2048 -malloc_limit_mb=1024 -artifact_prefix="$dir/artifacts/" -print_final_stats=1 \
    >"$dir/log.txt" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ +DONE)' "$dir/log.txt" || true
  if [ "$status" -ne 0 ] || [ -n "$(ls -A "$dir/artifacts")" ]; then
    failed+=("$t")
    echo "!! $t failed (exit status $status); the end of its log ($dir/log.txt):"
    tail -n 40 "$dir/log.txt"
    for f in "$dir/artifacts"/*; do
      [ -e "$f" ] && echo "!! reproducer: $f   (run: $BUILD/$t $f)"
    done
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing failed: ${failed[*]}"
  exit 1
fi
echo "fuzzing passed: $TARGETS"
