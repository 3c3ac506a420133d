#include "scene/pictureheader.h"

#include <cctype>
#include <cstring>

namespace kavo::scene {

namespace {

uint32_t BigEndian32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
uint32_t BigEndian16(const unsigned char* p) { return (uint32_t(p[0]) << 8) | uint32_t(p[1]); }
uint32_t Little16(const unsigned char* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
int32_t Little32(const unsigned char* p) {
  return static_cast<int32_t>(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24));
}

bool EndsWithIgnoringCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = s[s.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

bool Png(const unsigned char* p, size_t n, PictureHeader& out, std::string& error) {
  // Signature, then the IHDR chunk: length, "IHDR", width, height.
  if (n < 24 || std::memcmp(p + 12, "IHDR", 4) != 0) {
    error = "PNG header is cut short or has no IHDR";
    return false;
  }
  out.width = BigEndian32(p + 16);
  out.height = BigEndian32(p + 20);
  // Every chunk (length, type, data, CRC) up to IEND must lie inside the
  // file: the decoder skips an ancillary chunk that runs past the end by
  // reading on without end.
  size_t at = 8;
  while (at < n) {
    if (n - at < 12) {
      error = "PNG chunk header is cut short at byte " + std::to_string(at);
      return false;
    }
    const uint32_t length = BigEndian32(p + at);
    std::string type(reinterpret_cast<const char*>(p + at + 4), 4);
    for (char& c : type)
      if (!std::isalpha(static_cast<unsigned char>(c))) c = '?';
    if (length > 0x7FFFFFFFu || length > n - at - 12) {
      error = "PNG chunk " + type + " of " + std::to_string(length) +
              " bytes runs past the end of the file";
      return false;
    }
    at += 12 + size_t(length);
    if (type == "IEND") return true;
  }
  // The decoder reads chunks up to IEND, past the end of a file without
  // one, where it may read on without end.
  error = "PNG file ends without its IEND chunk";
  return false;
}

bool Jpeg(const unsigned char* p, size_t n, PictureHeader& out, std::string& error) {
  // Walk the marker segments up to the first frame header (SOF0..SOF15 but
  // the DHT, JPG and DAC markers), which states the frame's size.
  size_t i = 2;
  while (i + 1 < n) {
    if (p[i] != 0xFF) {
      error = "JPEG marker expected at byte " + std::to_string(i);
      return false;
    }
    unsigned char marker = p[i + 1];
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    i += 2;
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xD9 || marker == 0xDA) break;  // end of image, start of scan: no frame header came
    if (i + 2 > n) break;
    const size_t length = BigEndian16(p + i);
    if (length < 2) {
      error = "JPEG segment of length " + std::to_string(length);
      return false;
    }
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (i + 7 > n) break;
      out.height = BigEndian16(p + i + 3);
      out.width = BigEndian16(p + i + 5);
      return true;
    }
    i += length;
  }
  error = "JPEG without a frame header";
  return false;
}

bool Bmp(const unsigned char* p, size_t n, PictureHeader& out, std::string& error) {
  if (n < 26) {
    error = "BMP header is cut short";
    return false;
  }
  const int32_t infoSize = Little32(p + 14);
  if (infoSize == 12) {  // OS/2 core header
    out.width = Little16(p + 18);
    out.height = Little16(p + 20);
    return true;
  }
  const int32_t w = Little32(p + 18), h = Little32(p + 22);
  out.width = w < 0 ? -int64_t(w) : w;
  out.height = h < 0 ? -int64_t(h) : h;  // a negative height stores the rows top-down
  return true;
}

bool Gif(const unsigned char* p, size_t n, PictureHeader& out, std::string& error) {
  // The logical screen, then every block up to the trailer: the decoder
  // sizes a buffer for each image it passes, so the largest image counts.
  // The blocks must be whole and of known kinds: past a broken one the
  // decoder reads on from wherever it stands and may take any bytes for an
  // image's size.
  if (n < 13) {
    error = "GIF header is cut short";
    return false;
  }
  out.width = Little16(p + 6);
  out.height = Little16(p + 8);
  auto broken = [&](size_t at, const std::string& what) {
    error = "GIF " + what + " at byte " + std::to_string(at);
    return false;
  };
  bool anyImage = false;
  size_t i = 13;
  if (p[10] & 0x80) i += 3 * (size_t(1) << ((p[10] & 0x07) + 1));
  if (i > n) return broken(13, "colour table is cut short");
  // Data sub-blocks up to the empty one that ends them.
  auto subBlocks = [&]() {
    while (i < n && p[i] != 0) i += size_t(p[i]) + 1;
    if (i >= n) return false;
    ++i;
    return true;
  };
  while (i < n && p[i] != 0x3B) {
    const size_t at = i;
    if (p[i] == 0x2C) {
      if (n - i < 11) return broken(at, "image descriptor is cut short");
      // An image may lie anywhere on the screen, which grows to hold it.
      const int64_t w = Little16(p + i + 1) + Little16(p + i + 5), h = Little16(p + i + 3) + Little16(p + i + 7);
      if (w > out.width) out.width = w;
      if (h > out.height) out.height = h;
      anyImage = true;
      const unsigned char flags = p[i + 9];
      i += 10;
      if (flags & 0x80) i += 3 * (size_t(1) << ((flags & 0x07) + 1));
      if (i >= n) return broken(at, "image colour table is cut short");
      if (p[i] < 1 || p[i] > 11) return broken(i, "code size " + std::to_string(p[i]));
      ++i;
      if (!subBlocks()) return broken(at, "image data runs past the end of the file");
      continue;
    }
    if (p[i] != 0x21) return broken(at, "block of unknown kind " + std::to_string(p[i]));
    if (n - i < 2) return broken(at, "extension is cut short");
    i += 2;  // introducer and label
    if (!subBlocks()) return broken(at, "extension runs past the end of the file");
  }
  if (!anyImage) {
    error = "GIF without an image";
    return false;
  }
  return true;
}

bool Tga(const unsigned char* p, size_t n, PictureHeader& out, std::string& error) {
  if (n < 18) {
    error = "Targa header is cut short";
    return false;
  }
  const unsigned type = p[2];
  if (!(type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11)) {
    error = "Targa image type " + std::to_string(type);
    return false;
  }
  out.width = Little16(p + 12);
  out.height = Little16(p + 14);
  return true;
}

bool Pcx(const unsigned char* p, size_t n, PictureHeader& out, std::string& error) {
  if (n < 128) {
    error = "PCX header is cut short";
    return false;
  }
  const int64_t xmin = Little16(p + 4), ymin = Little16(p + 6), xmax = Little16(p + 8), ymax = Little16(p + 10);
  if (xmax < xmin || ymax < ymin) {
    error = "PCX window is empty";
    return false;
  }
  out.width = xmax - xmin + 1;
  out.height = ymax - ymin + 1;
  // Each plane of a row is stored in `bytesPerLine` bytes (a signed field,
  // as the decoder reads it); they must hold the row's pixels, or the
  // decoder sizes its line buffer from a negative count or reads past it.
  const int64_t bitsPerPixel = p[3];
  const int64_t bytesPerLine = static_cast<int16_t>(Little16(p + 66));
  if (bytesPerLine <= 0 || bytesPerLine * 8 < out.width * bitsPerPixel) {
    error = "PCX line of " + std::to_string(bytesPerLine) + " bytes cannot hold " + std::to_string(out.width) +
            " pixels of " + std::to_string(bitsPerPixel) + " bits";
    return false;
  }
  return true;
}

}  // namespace

bool ReadPictureHeader(std::string_view bytes, std::string_view fileName, PictureHeader& out, std::string& error) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  out = PictureHeader();
  if (n >= 8 && std::memcmp(p, "\x89PNG\r\n\x1A\n", 8) == 0) {
    out.format = PictureFormat::Png;
    return Png(p, n, out, error);
  }
  if (n >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF) {
    out.format = PictureFormat::Jpeg;
    return Jpeg(p, n, out, error);
  }
  if (n >= 2 && p[0] == 'B' && p[1] == 'M') {
    out.format = PictureFormat::Bmp;
    return Bmp(p, n, out, error);
  }
  if (n >= 6 && (std::memcmp(p, "GIF87a", 6) == 0 || std::memcmp(p, "GIF89a", 6) == 0)) {
    out.format = PictureFormat::Gif;
    return Gif(p, n, out, error);
  }
  if (n >= 1 && p[0] == 0x0A && EndsWithIgnoringCase(fileName, ".pcx")) {
    out.format = PictureFormat::Pcx;
    return Pcx(p, n, out, error);
  }
  if (EndsWithIgnoringCase(fileName, ".tga")) {
    out.format = PictureFormat::Tga;
    return Tga(p, n, out, error);
  }
  error = "not a PNG, JPEG, BMP, GIF, Targa or PCX picture";
  return false;
}

const char* DecoderType(PictureFormat format) {
  switch (format) {
    case PictureFormat::Png: return "PNG";
    case PictureFormat::Jpeg: return "JPG";
    case PictureFormat::Bmp: return "BMP";
    case PictureFormat::Gif: return "GIF";
    case PictureFormat::Tga: return "TGA";
    case PictureFormat::Pcx: return "PCX";
  }
  return "";
}

}  // namespace kavo::scene
