// LZHUF (Okumura/Yoshizaki): LZSS over a 4096-byte ring buffer whose first
// 4036 bytes start as spaces, with an adaptive Huffman code over 314 symbols
// (256 byte values and 58 match lengths) and a fixed code for the upper six
// bits of match positions. Bits are taken most significant first.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "archive/codecs.h"
#include "core/errors.h"

namespace kavo {

namespace {

constexpr int N = 4096;       // ring buffer
constexpr int F = 60;         // look-ahead
constexpr int THRESHOLD = 2;  // longest match still coded as literals
constexpr int NIL = N;
constexpr int N_CHAR = 256 - THRESHOLD + F;  // 314
constexpr int T = N_CHAR * 2 - 1;            // nodes of the tree
constexpr int R = T - 1;                     // root
constexpr unsigned MAX_FREQ = 0x8000;
// Zero bits a decoder may read past the end of the data before the stream
// counts as cut short (the last symbol's byte-wise position read may run over).
constexpr size_t kSlackBits = 64;

// Code lengths of the 64 upper-position values; the codes are canonical.
constexpr std::array<uint8_t, 64> kPLen = {
    3, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};

struct PositionTables {
  std::array<uint8_t, 64> code{};   // code left-aligned in 8 bits
  std::array<uint8_t, 256> dCode{}; // upper position for each 8-bit prefix
  std::array<uint8_t, 256> dLen{};  // its code length
  PositionTables() {
    unsigned next = 0;
    int len = kPLen[0];
    for (int i = 0; i < 64; ++i) {
      if (kPLen[i] != len) {
        next <<= (kPLen[i] - len);
        len = kPLen[i];
      }
      code[i] = static_cast<uint8_t>(next << (8 - len));
      const int span = 1 << (8 - len);
      for (int k = 0; k < span; ++k) {
        dCode[code[i] + k] = static_cast<uint8_t>(i);
        dLen[code[i] + k] = static_cast<uint8_t>(len);
      }
      ++next;
    }
  }
};
const PositionTables& Tables() {
  static const PositionTables t;
  return t;
}

// The adaptive Huffman tree shared by both directions.
struct Huffman {
  unsigned freq[T + 1];
  int prnt[T + N_CHAR];
  int son[T];

  void Start() {
    for (int i = 0; i < N_CHAR; ++i) {
      freq[i] = 1;
      son[i] = i + T;
      prnt[i + T] = i;
    }
    int i = 0;
    for (int j = N_CHAR; j <= R; ++j, i += 2) {
      freq[j] = freq[i] + freq[i + 1];
      son[j] = i;
      prnt[i] = prnt[i + 1] = j;
    }
    freq[T] = 0xFFFF;
    prnt[R] = 0;
  }

  // Halves the frequencies and rebuilds the tree.
  void Reconstruct() {
    int j = 0;
    for (int i = 0; i < T; ++i) {
      if (son[i] >= T) {
        freq[j] = (freq[i] + 1) / 2;
        son[j] = son[i];
        ++j;
      }
    }
    for (int i = 0, k, j2 = N_CHAR; j2 < T; i += 2, ++j2) {
      const unsigned f = freq[j2] = freq[i] + freq[i + 1];
      for (k = j2 - 1; f < freq[k]; --k) {
      }
      ++k;
      const int moved = j2 - k;
      std::memmove(&freq[k + 1], &freq[k], sizeof(freq[0]) * moved);
      freq[k] = f;
      std::memmove(&son[k + 1], &son[k], sizeof(son[0]) * moved);
      son[k] = i;
    }
    for (int i = 0; i < T; ++i) {
      const int k = son[i];
      if (k >= T) {
        prnt[k] = i;
      } else {
        prnt[k] = prnt[k + 1] = i;
      }
    }
  }

  void Update(int c) {
    if (freq[R] == MAX_FREQ) Reconstruct();
    c = prnt[c + T];
    do {
      const unsigned k = ++freq[c];
      int l = c + 1;
      if (k > freq[l]) {
        while (k > freq[++l]) {
        }
        --l;
        freq[c] = freq[l];
        freq[l] = k;
        const int i = son[c];
        prnt[i] = l;
        if (i < T) prnt[i + 1] = l;
        const int j = son[l];
        son[l] = i;
        prnt[j] = c;
        if (j < T) prnt[j + 1] = c;
        son[c] = j;
        c = l;
      }
    } while ((c = prnt[c]) != 0);
  }
};

class BitReader {
 public:
  explicit BitReader(std::string_view d)
      : p_(reinterpret_cast<const unsigned char*>(d.data())), end_(p_ + d.size()) {}
  unsigned Bit() {
    if (count_ == 0) Refill();
    --count_;
    return unsigned(buf_ >> count_) & 1u;
  }
  unsigned Bits(int n) {  // n <= 16
    if (count_ < n) Refill();
    count_ -= n;
    return unsigned(buf_ >> count_) & ((1u << n) - 1);
  }
  // Zero bits consumed past the end of the data.
  size_t OverrunBits() const { return overrun_ > size_t(count_) ? overrun_ - size_t(count_) : 0; }

 private:
  void Refill() {
    while (count_ <= 56) {
      unsigned char b = 0;
      if (p_ < end_) b = *p_++;
      else overrun_ += 8;
      buf_ = (buf_ << 8) | b;
      count_ += 8;
    }
  }
  const unsigned char* p_;
  const unsigned char* end_;
  uint64_t buf_ = 0;
  int count_ = 0;
  size_t overrun_ = 0;  // zero bits fetched past the end, read-ahead included
};

class BitWriter {
 public:
  explicit BitWriter(std::string& out) : out_(out) {}
  void Put(unsigned bits, int n) {  // the low n bits, most significant first
    for (int i = n - 1; i >= 0; --i) {
      acc_ = static_cast<unsigned char>((acc_ << 1) | ((bits >> i) & 1u));
      if (++count_ == 8) {
        out_.push_back(static_cast<char>(acc_));
        acc_ = 0;
        count_ = 0;
      }
    }
  }
  void Flush() {
    if (count_) out_.push_back(static_cast<char>(acc_ << (8 - count_)));
    acc_ = 0;
    count_ = 0;
  }

 private:
  std::string& out_;
  unsigned char acc_ = 0;
  int count_ = 0;
};

}  // namespace

size_t MaxLzhufOutput(size_t stored) {
  // The shortest coded match is a 1-bit length code plus 9 position bits for
  // 60 bytes: fewer than 50 bytes per input byte, plus the slack.
  return (stored + kSlackBits / 8 + 1) * 50;
}

std::string DecodeLzhuf(std::string_view data, size_t size) {
  auto fail = [] { throw EKavoError(kLzrwHuffmanSizeError, kErrUnnumbered); };
  if (size > kKavoMaxEntrySize || size > MaxLzhufOutput(data.size())) fail();
  // The output grows with what the stream really produces (see the block method).
  std::string out(std::min(size, data.size() * 8 + 4096), '\0');
  if (size == 0) return out;
  const PositionTables& tab = Tables();
  auto huff = std::make_unique<Huffman>();
  huff->Start();
  unsigned char ring[N];
  std::memset(ring, ' ', N - F);
  std::memset(ring + N - F, 0, F);
  int r = N - F;
  BitReader in(data);
  unsigned char* o = reinterpret_cast<unsigned char*>(out.data());
  size_t count = 0;
  size_t room = out.size();
  // Checking the overrun every few symbols keeps a run of zero bits short.
  while (count < size) {
    if (in.OverrunBits() > kSlackBits) fail();
    if (room - count < size_t(F)) {
      out.resize(std::min(size, std::max(out.size() * 2, count + F)));
      o = reinterpret_cast<unsigned char*>(out.data());
      room = out.size();
    }
    unsigned c = static_cast<unsigned>(huff->son[R]);
    while (c < unsigned(T)) c = static_cast<unsigned>(huff->son[c + in.Bit()]);
    c -= T;
    huff->Update(static_cast<int>(c));
    if (c < 256) {
      o[count++] = static_cast<unsigned char>(c);
      ring[r] = static_cast<unsigned char>(c);
      r = (r + 1) & (N - 1);
      continue;
    }
    unsigned i = in.Bits(8);
    const unsigned upper = unsigned(tab.dCode[i]) << 6;
    const int extra = tab.dLen[i] - 2;
    i = (i << extra) | in.Bits(extra);
    const unsigned position = upper | (i & 0x3F);
    int from = (r - int(position) - 1) & (N - 1);
    size_t len = c - 255 + THRESHOLD;
    if (len > size - count) len = size - count;
    for (size_t k = 0; k < len; ++k) {
      const unsigned char b = ring[from];
      from = (from + 1) & (N - 1);
      o[count++] = b;
      ring[r] = b;
      r = (r + 1) & (N - 1);
    }
  }
  if (in.OverrunBits() > kSlackBits) fail();
  return out;
}

namespace {

// The classic encoder's binary-tree match finder.
struct MatchTree {
  unsigned char text[N + F - 1];
  int lson[N + 1], rson[N + 257], dad[N + 1];
  int matchPosition = 0, matchLength = 0;

  void Init() {
    for (int i = N + 1; i <= N + 256; ++i) rson[i] = NIL;
    for (int i = 0; i < N; ++i) dad[i] = NIL;
  }

  void Insert(int r) {
    int cmp = 1;
    const unsigned char* key = &text[r];
    int p = N + 1 + key[0];
    rson[r] = lson[r] = NIL;
    matchLength = 0;
    for (;;) {
      if (cmp >= 0) {
        if (rson[p] != NIL) {
          p = rson[p];
        } else {
          rson[p] = r;
          dad[r] = p;
          return;
        }
      } else {
        if (lson[p] != NIL) {
          p = lson[p];
        } else {
          lson[p] = r;
          dad[r] = p;
          return;
        }
      }
      int i;
      for (i = 1; i < F; ++i)
        if ((cmp = key[i] - text[p + i]) != 0) break;
      if (i > THRESHOLD) {
        if (i > matchLength) {
          matchPosition = ((r - p) & (N - 1)) - 1;
          if ((matchLength = i) >= F) break;
        }
        if (i == matchLength) {
          const int c = ((r - p) & (N - 1)) - 1;
          if (c < matchPosition) matchPosition = c;
        }
      }
    }
    dad[r] = dad[p];
    lson[r] = lson[p];
    rson[r] = rson[p];
    dad[lson[p]] = r;
    dad[rson[p]] = r;
    if (rson[dad[p]] == p) rson[dad[p]] = r;
    else lson[dad[p]] = r;
    dad[p] = NIL;
  }

  void Delete(int p) {
    if (dad[p] == NIL) return;
    int q;
    if (rson[p] == NIL) {
      q = lson[p];
    } else if (lson[p] == NIL) {
      q = rson[p];
    } else {
      q = lson[p];
      if (rson[q] != NIL) {
        do {
          q = rson[q];
        } while (rson[q] != NIL);
        rson[dad[q]] = lson[q];
        dad[lson[q]] = dad[q];
        lson[q] = lson[p];
        dad[lson[p]] = q;
      }
      rson[q] = rson[p];
      dad[rson[p]] = q;
    }
    dad[q] = dad[p];
    if (rson[dad[p]] == p) rson[dad[p]] = q;
    else lson[dad[p]] = q;
    dad[p] = NIL;
  }
};

void EncodeSymbol(Huffman& h, BitWriter& w, int c) {
  // Walk from the leaf to the root, then send the path root first.
  // The tree of 314 leaves with a root frequency below 0x8000 is far less
  // than 64 levels deep.
  uint64_t path = 0;
  int depth = 0;
  int k = h.prnt[c + T];
  do {
    path = (path << 1) | unsigned(k & 1);
    ++depth;
  } while ((k = h.prnt[k]) != R);
  // The root-side bit ended up lowest.
  for (int i = 0; i < depth; ++i) w.Put(unsigned((path >> i) & 1u), 1);
  h.Update(c);
}

}  // namespace

std::string EncodeLzhuf(std::string_view plain) {
  std::string out;
  out.reserve(plain.size() / 2 + 16);
  if (plain.empty()) return out;
  const PositionTables& tab = Tables();
  auto huff = std::make_unique<Huffman>();
  auto tree = std::make_unique<MatchTree>();
  huff->Start();
  tree->Init();
  BitWriter w(out);
  const unsigned char* src = reinterpret_cast<const unsigned char*>(plain.data());
  size_t next = 0;
  const size_t total = plain.size();
  unsigned char* text = tree->text;
  int s = 0, r = N - F;
  std::memset(text, ' ', r);
  std::memset(text + r, 0, N + F - 1 - r);
  int len = 0;
  for (; len < F && next < total; ++len) text[r + len] = src[next++];
  for (int i = 1; i <= F; ++i) tree->Insert(r - i);
  tree->Insert(r);
  do {
    if (tree->matchLength > len) tree->matchLength = len;
    if (tree->matchLength <= THRESHOLD) {
      tree->matchLength = 1;
      EncodeSymbol(*huff, w, text[r]);
    } else {
      EncodeSymbol(*huff, w, 255 - THRESHOLD + tree->matchLength);
      const unsigned pos = static_cast<unsigned>(tree->matchPosition);
      const unsigned upper = pos >> 6;
      w.Put(unsigned(tab.code[upper]) >> (8 - kPLen[upper]), kPLen[upper]);
      w.Put(pos & 0x3F, 6);
    }
    const int last = tree->matchLength;
    int i = 0;
    for (; i < last && next < total; ++i) {
      const unsigned char c = src[next++];
      tree->Delete(s);
      text[s] = c;
      if (s < F - 1) text[s + N] = c;
      s = (s + 1) & (N - 1);
      r = (r + 1) & (N - 1);
      tree->Insert(r);
    }
    while (i++ < last) {
      tree->Delete(s);
      s = (s + 1) & (N - 1);
      r = (r + 1) & (N - 1);
      if (--len) tree->Insert(r);
    }
  } while (len > 0);
  w.Flush();
  return out;
}

}  // namespace kavo
