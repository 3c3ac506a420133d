// The block method: LZRW1/KH-style coding in independent blocks of at most
// 32768 bytes. A coded block starts with a flag byte (ignored) and a
// big-endian 16-bit control word whose bits, from bit 15 down, say for each
// item whether it is a literal byte (0) or a two-byte copy item (1). A copy
// item holds a 12-bit distance and a 4-bit length - 3; distance 0 marks a
// four-byte run item instead (count - 16 in 12 bits, then the byte).
#include <algorithm>
#include <cstring>
#include <vector>

#include "archive/codecs.h"
#include "core/errors.h"

namespace kavo {

namespace {
[[noreturn]] void Fail(const char* text) { throw EKavoError(text, kErrUnnumbered); }

constexpr size_t kMaxDistance = 4095;
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 18;
constexpr size_t kMinRun = 16;
constexpr size_t kMaxRun = 4095 + 16;
}  // namespace

size_t MaxBlockMethodOutput(size_t stored) {
  // A block holds at most eight full runs (8 * 4111 > 32768) in about 37
  // bytes with its length; 1024 bytes out per byte in is a safe ceiling.
  return stored * 1024;
}

std::string DecodeBlockMethod(std::string_view data, size_t size) {
  if (size > kKavoMaxEntrySize || size > MaxBlockMethodOutput(data.size())) Fail(kLzrwBlockSizeError);
  // The output grows with what the blocks really produce, so a corrupt size
  // costs no more memory than the data backs up.
  std::string out;
  out.resize(std::min(size, data.size() * 4) + kBlockSize);
  size_t produced = 0;
  const unsigned char* in = reinterpret_cast<const unsigned char*>(data.data());
  size_t pos = 0;
  const size_t total = data.size();
  for (;;) {
    if (total - pos < 2) Fail(kLzrwReadError);
    const size_t n = size_t(in[pos]) | (size_t(in[pos + 1]) << 8);
    pos += 2;
    if (total - pos < n) Fail(kLzrwReadError);
    const unsigned char* b = in + pos;
    pos += n;
    if (produced > size) Fail(kLzrwBlockSizeError);
    if (out.size() < produced + kBlockSize) out.resize(std::max(out.size() * 2, produced + kBlockSize));
    unsigned char* const start = reinterpret_cast<unsigned char*>(out.data()) + produced;
    unsigned char* o = start;
    unsigned char* const limit = start + kBlockSize;
    if (n < 2) {
      // decodes to nothing
    } else if (b[0] == 0x80) {
      if (n - 1 > kBlockSize) Fail(kLzrwBlockSizeError);
      std::memcpy(o, b + 1, n - 1);
      o += n - 1;
    } else {
      if (n < 3) Fail(kLzrwBlockSizeError);
      unsigned control = (unsigned(b[1]) << 8) | b[2];
      int bits = 16;
      size_t p = 3;
      while (p < n) {
        if (bits == 0) {
          if (n - p < 2) Fail(kLzrwBlockSizeError);
          control = (unsigned(b[p]) << 8) | b[p + 1];
          p += 2;
          bits = 16;
          if (p >= n) Fail(kLzrwBlockSizeError);
        }
        const bool item = (control & 0x8000) != 0;
        control <<= 1;
        --bits;
        if (!item) {
          if (o == limit) Fail(kLzrwBlockSizeError);
          *o++ = b[p++];
          continue;
        }
        if (n - p < 2) Fail(kLzrwBlockSizeError);
        const unsigned b0 = b[p], b1 = b[p + 1];
        const size_t d = (size_t(b0) << 4) | (b1 >> 4);
        if (d != 0) {
          p += 2;
          const size_t len = (b1 & 15) + 3;
          if (d > size_t(o - start)) Fail(kLzrwBlockSizeError);
          if (size_t(limit - o) < len) Fail(kLzrwBlockSizeError);
          const unsigned char* from = o - d;
          if (d >= len) {
            std::memcpy(o, from, len);
            o += len;
          } else {
            for (size_t k = 0; k < len; ++k) *o++ = from[k];
          }
        } else {
          if (n - p < 4) Fail(kLzrwBlockSizeError);
          const size_t count = (size_t(b1) << 8) + b[p + 2] + 16;
          const unsigned char value = b[p + 3];
          p += 4;
          if (size_t(limit - o) < count) Fail(kLzrwBlockSizeError);
          std::memset(o, value, count);
          o += count;
        }
      }
    }
    const size_t got = size_t(o - start);
    produced += got;
    if (produced > size) Fail(kLzrwBlockSizeError);
    if (got < kBlockSize) break;
  }
  if (produced != size) Fail(kLzrwBlockSizeError);
  out.resize(produced);
  return out;
}

namespace {

// Codes one block of at most 32768 bytes; returns the coded bytes (without
// the length field) or a stored block when coding does not pay.
void EncodeOneBlock(const unsigned char* src, size_t len, std::vector<int32_t>& table, std::string& out) {
  std::string coded;
  coded.reserve(len + len / 8 + 8);
  coded.push_back(0x00);  // flag byte
  size_t controlAt = 1;
  coded.push_back(0);
  coded.push_back(0);
  unsigned control = 0;
  int items = 0;
  auto beginItem = [&](bool copy) {
    if (items == 16) {
      coded[controlAt] = static_cast<char>(control >> 8);
      coded[controlAt + 1] = static_cast<char>(control & 0xFF);
      controlAt = coded.size();
      coded.push_back(0);
      coded.push_back(0);
      control = 0;
      items = 0;
    }
    control |= (copy ? 1u : 0u) << (15 - items);
    ++items;
  };
  std::fill(table.begin(), table.end(), -1);
  size_t i = 0;
  while (i < len) {
    // A run of one byte value.
    size_t run = 1;
    while (i + run < len && run < kMaxRun && src[i + run] == src[i]) ++run;
    if (run >= kMinRun) {
      beginItem(true);
      const size_t c = run - 16;
      coded.push_back(0);
      coded.push_back(static_cast<char>(c >> 8));
      coded.push_back(static_cast<char>(c & 0xFF));
      coded.push_back(static_cast<char>(src[i]));
      i += run;
      continue;
    }
    size_t best = 0, dist = 0;
    if (i + kMinMatch <= len) {
      const uint32_t key = (uint32_t(src[i]) << 16) | (uint32_t(src[i + 1]) << 8) | src[i + 2];
      const uint32_t h = ((key * 2654435761u) >> 20) & 4095;
      const int32_t cand = table[h];
      table[h] = static_cast<int32_t>(i);
      if (cand >= 0 && i - size_t(cand) <= kMaxDistance) {
        const size_t maxLen = std::min(kMaxMatch, len - i);
        size_t m = 0;
        while (m < maxLen && src[cand + m] == src[i + m]) ++m;
        if (m >= kMinMatch) {
          best = m;
          dist = i - size_t(cand);
        }
      }
    }
    if (best) {
      beginItem(true);
      coded.push_back(static_cast<char>(dist >> 4));
      coded.push_back(static_cast<char>(((dist & 15) << 4) | (best - 3)));
      i += best;
    } else {
      beginItem(false);
      coded.push_back(static_cast<char>(src[i]));
      ++i;
    }
  }
  coded[controlAt] = static_cast<char>(control >> 8);
  coded[controlAt + 1] = static_cast<char>(control & 0xFF);
  if (coded.size() >= len + 1 || coded.size() < 2) {
    coded.assign(1, static_cast<char>(0x80));
    coded.append(reinterpret_cast<const char*>(src), len);
  }
  // A coded block that happens to start with the stored marker is fine: the
  // flag byte we write is always 0.
  out.push_back(static_cast<char>(coded.size() & 0xFF));
  out.push_back(static_cast<char>(coded.size() >> 8));
  out += coded;
}

}  // namespace

std::string EncodeBlockMethod(std::string_view plain) {
  std::string out;
  out.reserve(plain.size() / 2 + 16);
  std::vector<int32_t> table(4096);
  const unsigned char* src = reinterpret_cast<const unsigned char*>(plain.data());
  size_t pos = 0;
  for (;;) {
    const size_t len = std::min(kBlockSize, plain.size() - pos);
    if (len == 0) {
      out.append(2, '\0');  // an empty block ends the sequence
      break;
    }
    EncodeOneBlock(src + pos, len, table, out);
    pos += len;
    if (len < kBlockSize) break;
  }
  return out;
}

}  // namespace kavo
