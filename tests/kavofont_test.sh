#!/usr/bin/env bash
# kavofont on DejaVu Sans: bake writes a 5,136-byte ".gsf" with its ".png",
# show reads the pair back through the engine's checks (also with the
# picture named ".PNG"); a font too large, a broken pair and a bad command
# line fail with a reason and status 1 (2 for usage).
#   kavofont_test.sh KAVOFONT OUTDIR
set -uo pipefail
tool="$1"
out="$2"
face=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
rm -rf "$out"
mkdir -p "$out/upper"
fail=0
passed=0
check() {  # check WHAT CONDITION
  if eval "$2"; then echo "ok: $1"; passed=$((passed + 1)); else echo "FAIL: $1"; fail=$((fail + 1)); fi
}
"$tool" bake "$face" --size 8 --range 32-255 -o "$out/speechfont.gsf" > /dev/null
check "bake: the pair is written" '[ "$(stat -c %s "$out/speechfont.gsf")" = 5136 ] && [ -s "$out/speechfont.png" ]'
show=$("$tool" show "$out/speechfont.gsf")
check "show: sizes and all 224 characters" 'grep -q "^CharHeight: [1-9]" <<< "$show" && grep -q "^characters drawn: 224$" <<< "$show"'
cp "$out/speechfont.gsf" "$out/upper/font.gsf"
cp "$out/speechfont.png" "$out/upper/FONT.PNG"
check "show: the picture in upper case" '"$tool" show "$out/upper/font.gsf" > /dev/null'
msg=$("$tool" bake "$face" --size 200 --range 32-255 -o "$out/huge.gsf" 2>&1); status=$?
check "bake: a font too large fails" '[ $status = 1 ] && grep -q "Characters are too large or too many. Unable to create font texture." <<< "$msg" && [ ! -e "$out/huge.gsf" ]'
msg=$("$tool" bake "$out/speechfont.png" --size 8 -o "$out/x.gsf" 2>&1); status=$?
check "bake: not a font" '[ $status = 1 ] && grep -q "not a font" <<< "$msg"'
head -c 3000 "$out/speechfont.gsf" > "$out/cut.gsf"
cp "$out/speechfont.png" "$out/cut.png"
msg=$("$tool" show "$out/cut.gsf" 2>&1); status=$?
check "show: a cut file fails with the reason" '[ $status = 1 ] && grep -q "cut short" <<< "$msg"'
cp "$out/speechfont.gsf" "$out/lonely.gsf"
msg=$("$tool" show "$out/lonely.gsf" 2>&1); status=$?
check "show: no picture" '[ $status = 1 ] && grep -q "picture .*lonely.png is missing" <<< "$msg"'
"$tool" bake "$face" -o "$out/nosize.gsf" > /dev/null 2>&1; status=$?
check "usage: no size" '[ $status = 2 ]'
"$tool" bake "$face" --size 8 --range 90-80 -o "$out/back.gsf" > /dev/null 2>&1; status=$?
check "usage: a range backwards" '[ $status = 2 ]'
echo "$passed passed, $fail failed"
[ $fail = 0 ]
