#!/usr/bin/env python3
"""Checks that every #include "..." under a source tree points down the
engine's layers (or stays inside its own folder):

    core < platform < archive, scene < script
         < game, world, visual, hud, audio, plugin_host < shell

archive and scene sit side by side and do not include each other; the object
folders (game to plugin_host) form one layer and may include each other.
The public plug-in header (kavo/...) may be included from anywhere; main.cpp
sits on top of everything.

usage: check_layers.py SRC_DIR     exit 0 when clean, 1 with one line per fault
"""
import os
import re
import sys

OBJECTS = ["game", "world", "visual", "hud", "audio", "plugin_host"]
BELOW_SCRIPT = ["core", "platform", "archive", "scene"]
ALLOWED = {
    "core": ["core"],
    "platform": ["core", "platform"],
    "archive": ["core", "platform", "archive"],
    "scene": ["core", "platform", "scene"],
    "script": BELOW_SCRIPT + ["script"],
    "shell": BELOW_SCRIPT + ["script"] + OBJECTS + ["shell"],
}
for folder in OBJECTS:
    ALLOWED[folder] = BELOW_SCRIPT + ["script"] + OBJECTS

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def check(src):
    faults = []
    for dirpath, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".hpp", ".cpp", ".c")):
                continue
            path = os.path.join(dirpath, name)
            rel = os.path.relpath(path, src).replace(os.sep, "/")
            folder = rel.split("/")[0] if "/" in rel else None
            if folder is None:
                continue  # main.cpp and other top-level files may include anything
            allowed = ALLOWED.get(folder)
            if allowed is None:
                faults.append(f"{rel}: folder '{folder}' has no place in the layers")
                continue
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    target = m.group(1)
                    if "/" not in target:
                        continue  # a file beside this one
                    top = target.split("/")[0]
                    if top == "kavo" or top in allowed:
                        continue
                    faults.append(f"{rel}:{number}: {folder}/ may not include \"{target}\"")
    return faults


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    faults = check(sys.argv[1])
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) against the layer order", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
