#!/usr/bin/env bash
# Counts the instructions of the script bridge's three operations against the
# raw Lua C closures doing the same work, under callgrind: unlike times, the
# counts do not move with whatever else the machine is doing.
#   bench/bridge_instructions.sh [build-dir]
set -euo pipefail
build="${1:-build}"
bin="$build/bench/bench_script"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
declare -A ir
for what in PropertyRead PropertyWrite MethodCall3; do
  for side in Engine Raw RawFull; do
    name="${what}_${side}"
    valgrind --tool=callgrind --collect-atstart=no --toggle-collect='*MeasureLoop*' \
      --callgrind-out-file="$out/$name" "$bin" --measure "$name" > /dev/null 2>&1
    ir[$name]=$(awk '/^summary:/ {print $2}' "$out/$name")
  done
  awk -v w="$what" -v e="${ir[${what}_Engine]}" -v r="${ir[${what}_Raw]}" -v f="${ir[${what}_RawFull]}" \
    'BEGIN { printf "%-14s instructions per operation: engine %4.0f, raw %4.0f (%.2f), raw in a Game-sized table %4.0f (%.2f)\n",
             w, e / 100000, r / 100000, e / r, f / 100000, e / f }'
done
