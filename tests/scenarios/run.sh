#!/usr/bin/env bash
# Whole-engine scenarios. Each folder here is a small game: it is copied to
# a scratch folder together with the kavo binary (so "data" lies beside the
# executable, as a player's install has it) and run headless with a fixed
# frame step. The log, standard error and exit status are compared with
# the folder's expected.log, expected.stderr (optional) and expected.status
# (optional, default 0). In expected files, <DIR> stands for the scratch
# folder. Optional files: args (one argument per line), frames (default 30),
# step (frame step in ms, default 10), setup.sh (run in the scratch folder;
# $KAVOPACK names the archive tool).
set -u
kavo="$(realpath "$1")"
out="$2"
only="${3:-}"
here="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$out"
pass=0
fail=0
for dir in "$here"/*/; do
  name="$(basename "$dir")"
  [ -n "$only" ] && [ "$name" != "$only" ] && continue
  [ -f "$dir/expected.log" ] || continue
  work="$out/$name"
  rm -rf "$work"
  mkdir -p "$work"
  cp -r "$dir"/. "$work"/
  cp "$kavo" "$work/kavo"
  # Every game needs a walk-target marker model; scenarios get the stock one
  # (before setup.sh, which may run the game, and after it, which may make data).
  add_walkpawns() {
    if [ -d "$work/data" ] && [ ! -f "$dir/no-walkpawns" ] && [ ! -e "$work/data/GUI/walkpawns.3ds" ]; then
      mkdir -p "$work/data/GUI" && cp "$here/../data/models/walkpawns.3ds" "$work/data/GUI/"
    fi
  }
  add_walkpawns
  [ -f "$work/setup.sh" ] && (cd "$work" && KAVOPACK="${KAVOPACK:-$(dirname "$kavo")/kavopack}" bash ./setup.sh)
  add_walkpawns
  frames=30; [ -f "$dir/frames" ] && frames="$(cat "$dir/frames")"
  step=10; [ -f "$dir/step" ] && step="$(cat "$dir/step")"
  args=()
  if [ -f "$dir/args" ]; then
    while IFS= read -r line || [ -n "$line" ]; do args+=("$line"); done < "$dir/args"
  fi
  (cd "$work" && SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-offscreen}" SDL_AUDIODRIVER=dummy timeout 60 ./kavo --headless --fixed-step "$step" --frames "$frames" "${args[@]}" \
      > "$work/actual.stdout" 2> "$work/actual.stderr"; echo $? > "$work/actual.status")
  want_status=0; [ -f "$dir/expected.status" ] && want_status="$(cat "$dir/expected.status")"
  ok=1
  sed "s#<DIR>#$work#g" "$dir/expected.log" > "$work/want.log"
  # The log ends every line with CR LF; the expected file is plain text.
  tr -d '\r' < "$work/log.txt" > "$work/got.log" 2>/dev/null || : > "$work/got.log"
  if ! diff -u "$work/want.log" "$work/got.log" > "$work/log.diff"; then ok=0; fi
  if [ -f "$dir/expected.stderr" ]; then
    sed "s#<DIR>#$work#g" "$dir/expected.stderr" > "$work/want.stderr"
    if ! diff -u "$work/want.stderr" "$work/actual.stderr" > "$work/stderr.diff"; then ok=0; fi
  fi
  [ "$(cat "$work/actual.status")" = "$want_status" ] || ok=0
  if [ "$ok" = 1 ]; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1))
    echo "FAIL $name (status $(cat "$work/actual.status"), want $want_status)"
    cat "$work/log.diff" "$work/stderr.diff" 2>/dev/null | head -40
  fi
done
echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
