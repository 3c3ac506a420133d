#!/usr/bin/env bash
# The command line refuses what would hang, run away or fail silently, with a
# message and exit status 2, at once.   cli_test.sh KAVO OUTDIR
set -uo pipefail
kavo="$1"
out="$2"
rm -rf "$out"
mkdir -p "$out/folder"
mkfifo "$out/pipe"
fail=0
expect() {  # expect STATUS TEXT ARGS...
  local want="$1" text="$2"
  shift 2
  local got output
  output=$(timeout 20 "$kavo" --headless "$@" 2>&1)
  got=$?
  if [ "$got" != "$want" ] || ! grep -qF -- "$text" <<< "$output"; then
    echo "FAIL: kavo $*: status $got (want $want), output: $output"
    fail=1
  else
    echo "ok: kavo $*"
  fi
}
expect 2 "--fixed-step needs milliseconds (0.1 <= MS <= 1000)" --fixed-step 1e-9
expect 2 "--fixed-step needs milliseconds" --fixed-step 0.05
expect 2 "--record: Cannot write file" --record "$out/folder"
expect 2 "--record: Cannot write file" --record "$out/pipe"
expect 2 "--input: Cannot open file" --input "$out/pipe"
expect 2 "--input: Cannot open file" --input "$out/folder"
expect 2 "--script-timeout needs seconds" --script-timeout -1
expect 2 "--audio needs sdl or virtual" --audio loud
expect 2 "--audio needs sdl or virtual" --audio
exit $fail
