// Private to the model loaders: the per-format readers behind LoadModel and a
// bounded little-endian byte reader that never reads past its range.
#pragma once

#include "scene/meshdata.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kavo::scene::detail {

// Reads little-endian values from [data + pos, data + end). Every read checks
// the remaining size first; a failed read sets `failed` and returns zero, so
// callers can check once after a group of reads.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t begin, size_t end) : data_(data), pos_(begin), end_(end) {}

  size_t Pos() const { return pos_; }
  size_t End() const { return end_; }
  size_t Remaining() const { return pos_ <= end_ ? end_ - pos_ : 0; }
  bool Failed() const { return failed_; }
  bool Has(size_t n) const { return Remaining() >= n; }
  void Seek(size_t pos) {
    if (pos > end_) failed_ = true, pos_ = end_;
    else pos_ = pos;
  }
  bool Skip(size_t n) {
    if (!Has(n)) { failed_ = true; pos_ = end_; return false; }
    pos_ += n;
    return true;
  }

  uint8_t U8() {
    if (!Has(1)) return Fail<uint8_t>();
    return data_[pos_++];
  }
  uint16_t U16() {
    if (!Has(2)) return Fail<uint16_t>();
    uint16_t v = uint16_t(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t U32() {
    if (!Has(4)) return Fail<uint32_t>();
    uint32_t v = uint32_t(data_[pos_]) | (uint32_t(data_[pos_ + 1]) << 8) |
                 (uint32_t(data_[pos_ + 2]) << 16) | (uint32_t(data_[pos_ + 3]) << 24);
    pos_ += 4;
    return v;
  }
  // Bit-exact: the four bytes become the float unchanged.
  float F32() {
    uint32_t bits = U32();
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }
  // A zero-terminated string; fails when no terminator lies inside the range.
  bool CString(std::string& out) {
    for (size_t i = pos_; i < end_; ++i) {
      if (data_[i] == 0) {
        out.assign(reinterpret_cast<const char*>(data_ + pos_), i - pos_);
        pos_ = i + 1;
        return true;
      }
    }
    failed_ = true;
    pos_ = end_;
    return false;
  }

 private:
  template <typename T>
  T Fail() {
    failed_ = true;
    pos_ = end_;
    return T(0);
  }
  const uint8_t* data_;
  size_t pos_;
  size_t end_;
  bool failed_ = false;
};

bool Load3DS(const std::string& bytes, MeshData& out, std::string& error);
bool LoadOBJ(std::string_view fileName, const std::string& bytes, MeshData& out, std::string& error);
// glTF 2.0, as JSON text (.gltf) or binary (.glb). External buffers are read
// beside the model through the scene's file access.
bool LoadGLTF(std::string_view fileName, const std::string& bytes, MeshData& out, std::string& error);
bool IsGLTFExtension(std::string_view lowerExt);

}  // namespace kavo::scene::detail
