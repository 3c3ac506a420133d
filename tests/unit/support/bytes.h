// Byte helpers for tests that write model files in memory.
#pragma once

#include <cstdint>
#include <string>

namespace kavo::test {

// Standard base64 with padding, for data: URIs.
inline std::string Base64(const std::string& in) {
  static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t n = uint32_t(uint8_t(in[i])) << 16;
    if (i + 1 < in.size()) n |= uint32_t(uint8_t(in[i + 1])) << 8;
    if (i + 2 < in.size()) n |= uint8_t(in[i + 2]);
    out += abc[(n >> 18) & 63];
    out += abc[(n >> 12) & 63];
    out += i + 1 < in.size() ? abc[(n >> 6) & 63] : '=';
    out += i + 2 < in.size() ? abc[n & 63] : '=';
  }
  return out;
}

}  // namespace kavo::test
