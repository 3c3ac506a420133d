// The two compression methods of compressed (".kvo" "KAVZ") archives, both
// directions. Decoders are bounds-checked and raise EKavoError (number 0)
// with the archive reader's texts on corrupt input; they never read outside
// the input or write more than the declared size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kavo {

// Method tags at the start of a compressed entry (32-bit little-endian).
inline constexpr uint32_t kKavoTagBlock = 0x4C5A5257;    // "WRZL": the block method
inline constexpr uint32_t kKavoTagHuffman = 0x4C5A4821;  // "!HZL": LZHUF

// Largest uncompressed entry the reader accepts.
inline constexpr size_t kKavoMaxEntrySize = size_t(256) << 20;

// Error texts of the decoders.
inline constexpr const char* kLzrwReadError = "Lzrw1 : Error reading from input stream !";
inline constexpr const char* kLzrwBlockSizeError =
    "Lzrw1 (decompression LZRW1/KH) : Original and compressed sizes do not match !";
inline constexpr const char* kLzrwHuffmanSizeError =
    "Lzrw1 (LZH decompression) : Original and compressed sizes do not match !";
inline constexpr const char* kLzrwHeaderError = "Lzrw1 decompression : input stream contains no valid header !";

// ---- Block method (LZRW1/KH style) ----
// A sequence of blocks, each a 16-bit LE length and that many bytes, every
// block decoding to at most 32768 bytes; the first block that decodes to
// fewer ends the sequence.
inline constexpr size_t kBlockSize = 32768;

// Decodes block-method data that must produce exactly `size` bytes.
std::string DecodeBlockMethod(std::string_view data, size_t size);
// Encodes with hashed matches and runs; incompressible blocks are stored.
std::string EncodeBlockMethod(std::string_view plain);

// ---- Huffman method (LZHUF, Okumura/Yoshizaki) ----
// Decodes until `size` bytes are produced. Reading past the end yields zero
// bits, but a stream that runs more than a few bytes dry is corrupt.
std::string DecodeLzhuf(std::string_view data, size_t size);
std::string EncodeLzhuf(std::string_view plain);

// Largest uncompressed size a method can honestly produce from `stored`
// bytes of method data; anything claiming more is corrupt.
size_t MaxBlockMethodOutput(size_t stored);
size_t MaxLzhufOutput(size_t stored);

}  // namespace kavo
