#include "scene/gif.h"

#include <algorithm>
#include <array>

namespace kavo::scene {

namespace {

uint32_t Little16(const unsigned char* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }

// Reads the variable-width codes of the image data, least significant bit
// first, across the sub-blocks already joined into one buffer.
class CodeReader {
 public:
  explicit CodeReader(const std::vector<uint8_t>& data) : data_(data) {}
  // -1 when the data ends.
  int Next(int width) {
    while (bits_ < width) {
      if (at_ >= data_.size()) return -1;
      buffer_ |= uint32_t(data_[at_++]) << bits_;
      bits_ += 8;
    }
    const int code = int(buffer_ & ((1u << width) - 1));
    buffer_ >>= width;
    bits_ -= width;
    return code;
  }

 private:
  const std::vector<uint8_t>& data_;
  size_t at_ = 0;
  uint32_t buffer_ = 0;
  int bits_ = 0;
};

constexpr int kMaxCodes = 4096;

// Decodes LZW codes into at most `out.size()` colour indices; returns how
// many it wrote. A code the table does not hold yet ends the data, as the
// end code does.
size_t DecodeLzw(const std::vector<uint8_t>& data, int minCodeSize, std::vector<uint8_t>& out) {
  const int clear = 1 << minCodeSize, end = clear + 1;
  std::array<uint16_t, kMaxCodes> prefix{};
  std::array<uint8_t, kMaxCodes> suffix{};
  std::array<uint8_t, kMaxCodes + 1> stack{};
  for (int i = 0; i < clear; ++i) suffix[i] = uint8_t(i);
  int width = minCodeSize + 1, next = clear + 2, previous = -1;
  uint8_t first = 0;
  size_t written = 0;
  CodeReader reader(data);
  while (written < out.size()) {
    const int code = reader.Next(width);
    if (code < 0 || code == end) break;
    if (code == clear) {
      width = minCodeSize + 1;
      next = clear + 2;
      previous = -1;
      continue;
    }
    if (previous < 0) {
      if (code >= clear) break;  // the first code after a clear must be a colour
      out[written++] = uint8_t(code);
      previous = code;
      first = uint8_t(code);
      continue;
    }
    if (code > next || (code == next && next >= kMaxCodes)) break;
    // Unwind the string of `code` (or of `previous` plus its first byte, for
    // the code about to be added) onto the stack, last byte first.
    size_t depth = 0;
    int c = code;
    if (code == next) {
      stack[depth++] = first;
      c = previous;
    }
    while (c >= clear) {
      stack[depth++] = suffix[c];
      c = prefix[c];
    }
    first = uint8_t(c);
    stack[depth++] = first;
    while (depth > 0 && written < out.size()) out[written++] = stack[--depth];
    if (next < kMaxCodes) {
      prefix[next] = uint16_t(previous);
      suffix[next] = first;
      ++next;
      if (next == (1 << width) && width < 12) ++width;
    }
    previous = code;
  }
  return written;
}

}  // namespace

bool DecodeGif(std::string_view bytes, int sideLimit, GifPicture& out, std::string& error) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  if (n < 13 || bytes.substr(0, 3) != "GIF") {
    error = "GIF header is cut short";
    return false;
  }
  const int screenW = int(Little16(p + 6)), screenH = int(Little16(p + 8));
  const unsigned char* globalTable = nullptr;
  int globalColours = 0;
  size_t i = 13;
  if (p[10] & 0x80) {
    globalColours = 1 << ((p[10] & 0x07) + 1);
    globalTable = p + 13;
    i += size_t(3) * size_t(globalColours);
  }
  int transparent = -1;
  auto skipSubBlocks = [&] {
    while (i < n && p[i] != 0) i += size_t(p[i]) + 1;
    ++i;
  };
  while (i < n && p[i] != 0x3B) {
    if (p[i] == 0x21) {
      if (i + 1 >= n) break;
      // A graphic control extension before the image may name its
      // transparent colour.
      if (p[i + 1] == 0xF9 && i + 7 < n && p[i + 2] >= 4) transparent = (p[i + 3] & 1) ? int(p[i + 6]) : -1;
      i += 2;
      skipSubBlocks();
      continue;
    }
    if (p[i] != 0x2C || n - i < 11) break;
    const int left = int(Little16(p + i + 1)), top = int(Little16(p + i + 3));
    const int w = int(Little16(p + i + 5)), h = int(Little16(p + i + 7));
    const unsigned char flags = p[i + 9];
    i += 10;
    const unsigned char* table = globalTable;
    int colours = globalColours;
    if (flags & 0x80) {
      colours = 1 << ((flags & 0x07) + 1);
      table = p + i;
      i += size_t(3) * size_t(colours);
    }
    if (i >= n || table == nullptr || size_t(table - p) + size_t(3) * size_t(colours) > n) {
      error = "GIF image without a colour table";
      return false;
    }
    const int minCodeSize = p[i++];
    if (minCodeSize < 1 || minCodeSize > 11) {
      error = "GIF code size " + std::to_string(minCodeSize);
      return false;
    }
    std::vector<uint8_t> data;
    while (i < n && p[i] != 0) {
      const size_t len = p[i];
      const size_t take = len < n - i - 1 ? len : n - i - 1;
      data.insert(data.end(), p + i + 1, p + i + 1 + take);
      i += len + 1;
    }

    const int64_t width = std::max<int64_t>({screenW, int64_t(left) + w, 1});
    const int64_t height = std::max<int64_t>({screenH, int64_t(top) + h, 1});
    if (width > sideLimit || height > sideLimit) {
      error = "GIF is " + std::to_string(width) + " by " + std::to_string(height) + " pixels";
      return false;
    }
    std::vector<uint8_t> indices(size_t(w) * size_t(h), 0);
    DecodeLzw(data, minCodeSize, indices);

    out.width = int(width);
    out.height = int(height);
    out.rgba.assign(size_t(width) * size_t(height) * 4, 0);
    const bool covered = left == 0 && top == 0 && w == width && h == height;
    out.hasAlpha = !covered;
    // Rows of an interlaced image come in four passes.
    const bool interlaced = (flags & 0x40) != 0;
    static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    int pass = 0, row = 0;
    for (int k = 0; k < h; ++k) {
      int y = k;
      if (interlaced) {
        while (pass < 4 && row >= h) {
          ++pass;
          if (pass < 4) row = kStart[pass];
        }
        if (pass >= 4) break;
        y = row;
        row += kStep[pass];
      }
      const uint8_t* src = indices.data() + size_t(k) * size_t(w);
      uint8_t* dst = out.rgba.data() + ((size_t(top) + size_t(y)) * size_t(width) + size_t(left)) * 4;
      for (int x = 0; x < w; ++x, dst += 4) {
        const int index = src[x];
        if (index == transparent) {
          out.hasAlpha = true;
          continue;
        }
        if (index < colours) {
          dst[0] = table[index * 3];
          dst[1] = table[index * 3 + 1];
          dst[2] = table[index * 3 + 2];
        }
        dst[3] = 255;
      }
    }
    return true;
  }
  error = "GIF without an image";
  return false;
}

}  // namespace kavo::scene
