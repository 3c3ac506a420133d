#!/usr/bin/env bash
# kavomodel on the demo's figure: info names its frames, animations and bones;
# aaf writes a list the engine reads back; a broken file and a FIFO fail
# with a message and status 1, a bad command line with status 2.
#   kavomodel_test.sh KAVOMODEL OUTDIR
set -uo pipefail
tool="$1"
out="$2"
root="$(cd "$(dirname "$0")/.." && pwd)"
figure="$root/games/demo/data/actors/hero.smd"
rm -rf "$out"
mkdir -p "$out"
fail=0
check() {  # check WHAT CONDITION
  if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; fail=1; fi
}
info=$("$tool" info "$figure")
check "info: kind and frames" 'grep -q "^kind: skeletal" <<< "$info" && grep -q "^frames: 1" <<< "$info"'
check "info: the hand bones" 'grep -q "\"Bip01 L Hand\"" <<< "$info" && grep -q "^bones: 11" <<< "$info"'
check "info: the file's own animation" 'grep -q "^  hero 0 0 loop" <<< "$info"'
"$tool" aaf "$figure" -o "$out/hero.aaf"
check "aaf: written" '[ "$(grep -v "^#" "$out/hero.aaf" | grep -c .)" = 1 ] && grep -q "^hero 0 0 loop" "$out/hero.aaf"'
printf 'version 1\nnodes\n0 "root" -1\nend\nskeleton\ntime 0\n0 0 0 nan 0 0 0\nend\n' > "$out/broken.smd"
msg=$("$tool" info "$out/broken.smd" 2>&1); status=$?
check "broken file: status 1 naming the file" '[ $status = 1 ] && grep -q "broken.smd" <<< "$msg"'
mkfifo "$out/pipe.smd"
msg=$(timeout 10 "$tool" info "$out/pipe.smd" 2>&1); status=$?
check "FIFO: refused at once" '[ $status = 1 ]'
"$tool" frobnicate "$figure" > /dev/null 2>&1; status=$?
check "usage error: status 2" '[ $status = 2 ]'
exit $fail
