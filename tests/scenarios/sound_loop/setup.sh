# The game's sounds are made here: a 100 ms loop and a 50 ms click (mono
# 16-bit PCM WAV at 22050 Hz).
mkdir -p data/sounds
python3 - <<'PY'
import struct
def wav(path, ms):
    frames = 22050 * ms // 1000
    data = b"".join(struct.pack("<h", 1024 if (f // 20) % 2 else -1024) for f in range(frames))
    head = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " + struct.pack("<IHHIIHH", 16, 1, 1, 22050, 44100, 2, 16)
    open(path, "wb").write(head + b"data" + struct.pack("<I", len(data)) + data)
wav("data/sounds/loop.wav", 100)
wav("data/sounds/click.wav", 50)
PY
