// Small PCM WAV files made in memory for the sound tests.
#pragma once

#include <cstdint>
#include <string>

namespace kavo::test {

// A 16-bit PCM WAV of a quiet square wave: frames per channel at rate Hz.
inline std::string MakeWav(int rate, int channels, int frames) {
  auto put16 = [](std::string& s, uint32_t v) {
    s += char(v & 0xff);
    s += char((v >> 8) & 0xff);
  };
  auto put32 = [&](std::string& s, uint32_t v) {
    put16(s, v & 0xffff);
    put16(s, v >> 16);
  };
  const uint32_t bytes = uint32_t(frames) * uint32_t(channels) * 2;
  std::string s = "RIFF";
  put32(s, 36 + bytes);
  s += "WAVEfmt ";
  put32(s, 16);
  put16(s, 1);
  put16(s, uint16_t(channels));
  put32(s, uint32_t(rate));
  put32(s, uint32_t(rate * channels * 2));
  put16(s, uint16_t(channels * 2));
  put16(s, 16);
  s += "data";
  put32(s, bytes);
  for (int f = 0; f < frames; ++f)
    for (int c = 0; c < channels; ++c) put16(s, (f / 20) % 2 ? 0x0400 : 0xfc00);
  return s;
}

// A mono 22050 Hz WAV lasting ms milliseconds.
inline std::string WavOfMs(int ms) { return MakeWav(22050, 1, 22050 * ms / 1000); }

}  // namespace kavo::test
