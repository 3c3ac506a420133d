#!/usr/bin/env python3
"""Makes the demo's sounds into OUTDIR (laid out as the game's data folder);
with --button also the panel's button picture (committed as
data/GUI/button.png, so the demo runs from its own folder too).

    make_assets.py OUTDIR [--button]

  sounds/click.wav      a short falling blip (a button press)
  sounds/hover.wav      a soft tick (the pointer over a button)
  sounds/ambience.wav   a two-second hum that loops without a seam
  voices/greeting.wav   the hero's greeting: 1.6 s of warbling tones

Everything is 22,050 Hz, 16-bit mono: the mixer's own rate.
"""
import math
import os
import struct
import sys
import wave
import zlib

RATE = 22050


def write_wav(path, samples):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", max(-32767, min(32767, int(s * 32767)))) for s in samples))


def tone(seconds, f, volume, decay=0.0, bend=0.0):
    n = int(RATE * seconds)
    out, phase = [], 0.0
    for i in range(n):
        t = i / RATE
        phase += 2 * math.pi * (f + bend * t) / RATE
        out.append(volume * math.sin(phase) * math.exp(-decay * t))
    return out


def ambience():
    # Whole periods of 55, 110 and 165 Hz in two seconds: the loop has no seam.
    n = RATE * 2
    return [0.18 * math.sin(2 * math.pi * 55 * i / RATE) + 0.10 * math.sin(2 * math.pi * 110 * i / RATE)
            + 0.05 * math.sin(2 * math.pi * 165 * i / RATE) for i in range(n)]


def greeting():
    out = []
    for k, (f, length) in enumerate([(220, 0.25), (260, 0.2), (200, 0.3), (240, 0.25), (280, 0.35), (210, 0.25)]):
        syllable = tone(length, f, 0.35, bend=60 * (-1) ** k)
        fade = int(RATE * 0.03)
        for i in range(fade):
            syllable[i] *= i / fade
            syllable[-1 - i] *= i / fade
        out += syllable
    return out


def write_png(path, width, height, rgba):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    raw = b"".join(b"\x00" + bytes(rgba[y * width * 4:(y + 1) * width * 4]) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def button():
    w, h = 96, 32
    px = []
    for y in range(h):
        for x in range(w):
            edge = min(x, y, w - 1 - x, h - 1 - y)
            if edge < 2:
                c = (200, 180, 120) if x + y < (w + h) // 2 else (90, 70, 40)
            else:
                shade = 150 - (y * 60) // h
                c = (shade // 2 + 20, shade // 2 + 10, shade // 3)
            px += [c[0], c[1], c[2], 255]
    return w, h, px


def main():
    if len(sys.argv) not in (2, 3) or (len(sys.argv) == 3 and sys.argv[2] != "--button"):
        sys.exit(__doc__)
    out = sys.argv[1]
    write_wav(os.path.join(out, "sounds", "click.wav"), tone(0.08, 900, 0.5, decay=40, bend=-3000))
    write_wav(os.path.join(out, "sounds", "hover.wav"), tone(0.03, 2000, 0.2, decay=90))
    write_wav(os.path.join(out, "sounds", "ambience.wav"), ambience())
    write_wav(os.path.join(out, "voices", "greeting.wav"), greeting())
    if len(sys.argv) == 3:
        w, h, px = button()
        write_png(os.path.join(out, "GUI", "button.png"), w, h, px)


if __name__ == "__main__":
    main()
