#!/usr/bin/env bash
# Packs the demo game's data into archives with kavopack: the scripts (line-
# enciphered, Huffman-compressed), the props, the figures and the hall room
# (block method). What the build made for the demo (ASSETS, default
# build/demo-assets) joins it when it is there: the speech font in the loose
# GUI folder, the sounds and voices packed.
# The packed copy runs exactly like the loose one:
#   scripts/pack-demo.sh build/demo-packed
#   build/kavo build/demo-packed/demo.kavogame
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/demo-packed}"
pack="${KAVOPACK:-build/kavopack}"
rm -rf "$out"
mkdir -p "$out/data/rooms"
cp games/demo/demo.kavogame games/demo/demo-input.txt "$out/"
cp games/demo/data/config.lua "$out/data/"
cp -r games/demo/data/GUI "$out/data/"
assets="${ASSETS:-build/demo-assets}"
if [ -d "$assets/GUI" ]; then cp "$assets"/GUI/* "$out/data/GUI/"; fi
for folder in sounds voices; do
  if [ -d "$assets/$folder" ]; then "$pack" pack "$assets/$folder" "$out/data/$folder.kvo" --block; fi
done
"$pack" pack games/demo/data/scripts "$out/data/scripts.kvo" --huffman
"$pack" pack games/demo/data/props "$out/data/props.kvo" --block
"$pack" pack games/demo/data/actors "$out/data/actors.kvo" --block
"$pack" pack games/demo/data/rooms/hall "$out/data/rooms/hall.kvo" --block
"$pack" verify "$out/data/scripts.kvo"
