// glTF 2.0 models: JSON text (.gltf) or the binary container (.glb).
//
// What is read: every triangle primitive (mode 4; strips and fans become
// triangle lists; points and lines are skipped) becomes one mesh object, in
// mesh order then primitive order, with POSITION, NORMAL and TEXCOORD_0 and one
// face group naming its material. The file's own coordinates are kept: node
// transforms are not applied. Materials give their name, base colour (diffuse
// and opacity) and, when the base colour texture is an image file beside the
// model, its file name.
//
// Every size the file states is checked against the bytes really there before
// anything is allocated or read, in 64-bit arithmetic; every index is checked
// against what it indexes. Buffers come from the GLB's BIN chunk, from base64
// data: URIs, or from files beside the model read through the scene's file
// access; a file uri must stay inside the model's folder. The bytes read for
// one model, the vertices and the triangles are bounded.
#include "scene/fileaccess.h"
#include "scene/json.h"
#include "scene/model_loaders.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <optional>
#include <stdexcept>

namespace kavo::scene::detail {

namespace {

constexpr uint64_t kMaxLoadedBytes = uint64_t(256) << 20;  // model file and buffers together
constexpr uint64_t kMaxVertices = uint64_t(1) << 24;
constexpr uint64_t kMaxTriangles = uint64_t(1) << 24;
constexpr size_t kMaxObjects = 65536;
constexpr size_t kMaxMaterials = 65536;
constexpr uint64_t kMaxStride = 252;
constexpr uint64_t kMaxCount = 0xFFFFFFFFu;
constexpr uint64_t kMaxWhole = uint64_t(1) << 53;  // whole numbers a double holds exactly

constexpr uint32_t kChunkJSON = 0x4E4F534A;
constexpr uint32_t kChunkBIN = 0x004E4942;

enum ComponentType : uint32_t {
  kByte = 5120,
  kUnsignedByte = 5121,
  kShort = 5122,
  kUnsignedShort = 5123,
  kUnsignedInt = 5125,
  kFloat = 5126,
};

struct GltfError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& why) { throw GltfError(why); }

std::string Num(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof(buf), v);
  return std::string(buf, r.ptr);
}

std::string Num(uint64_t v) { return std::to_string(v); }

// A string from the file as an error message shows it: quoted, cut short,
// control bytes escaped.
std::string Shown(std::string_view s) {
  constexpr size_t kShown = 80;
  std::string out = "\"";
  for (size_t i = 0; i < s.size() && i < kShown; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
      static const char* hex = "0123456789abcdef";
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += char(c);
    }
  }
  if (s.size() > kShown) out += "...";
  return out + "\"";
}

uint32_t ReadU32(const char* p) {
  const auto* b = reinterpret_cast<const uint8_t*>(p);
  return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

// A whole number in [0, max]; `what` names it in the error ("accessor 3 count").
uint64_t Whole(json::Value v, const std::string& what, uint64_t max = kMaxWhole) {
  if (!v.Present()) Fail(what + " is missing");
  if (!v.IsNumber()) Fail(what + " is not a number");
  const double d = v.Number();
  if (!std::isfinite(d)) Fail(what + " " + Num(d) + " is not a finite number");
  if (d < 0) Fail(what + " " + Num(d) + " is negative");
  if (d != std::floor(d)) Fail(what + " " + Num(d) + " is not a whole number");
  if (d > double(max)) Fail(what + " " + Num(d) + " is larger than " + Num(max));
  return uint64_t(d);
}

uint64_t WholeOr(json::Value v, const std::string& what, uint64_t fallback, uint64_t max = kMaxWhole) {
  return v.Present() ? Whole(v, what, max) : fallback;
}

size_t ComponentSize(uint32_t type) {
  switch (type) {
    case kByte:
    case kUnsignedByte: return 1;
    case kShort:
    case kUnsignedShort: return 2;
    case kUnsignedInt:
    case kFloat: return 4;
    default: return 0;
  }
}

// One component as a float; normalized integers map to [0, 1] or [-1, 1].
float ReadComponent(const uint8_t* p, uint32_t type, bool normalized) {
  switch (type) {
    case kByte: {
      const float v = float(int8_t(p[0]));
      return normalized ? std::fmax(v / 127.0f, -1.0f) : v;
    }
    case kUnsignedByte: return normalized ? float(p[0]) / 255.0f : float(p[0]);
    case kShort: {
      const float v = float(int16_t(uint16_t(p[0] | (p[1] << 8))));
      return normalized ? std::fmax(v / 32767.0f, -1.0f) : v;
    }
    case kUnsignedShort: {
      const float v = float(uint16_t(p[0] | (p[1] << 8)));
      return normalized ? v / 65535.0f : v;
    }
    case kUnsignedInt: {
      const uint32_t v = ReadU32(reinterpret_cast<const char*>(p));
      return normalized ? float(double(v) / 4294967295.0) : float(v);
    }
    default: {  // kFloat; non-finite values pass through
      const uint32_t bits = ReadU32(reinterpret_cast<const char*>(p));
      float f;
      std::memcpy(&f, &bits, 4);
      return f;
    }
  }
}

uint32_t ReadUnsigned(const uint8_t* p, uint32_t type) {
  switch (type) {
    case kUnsignedByte: return p[0];
    case kUnsignedShort: return uint32_t(p[0] | (p[1] << 8));
    default: return ReadU32(reinterpret_cast<const char*>(p));  // kUnsignedInt
  }
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Standard base64 with optional padding. The size is known before decoding,
// so the bytes can be charged to the model before they are allocated.
size_t Base64DecodedSize(std::string_view in) {
  while (!in.empty() && in.back() == '=') in.remove_suffix(1);
  return in.size() / 4 * 3 + (in.size() % 4 == 0 ? 0 : in.size() % 4 - 1);
}

bool DecodeBase64(std::string_view in, std::string& out) {
  for (int i = 0; i < 2 && !in.empty() && in.back() == '='; ++i) in.remove_suffix(1);
  if (in.size() % 4 == 1) return false;
  out.clear();
  out.reserve(Base64DecodedSize(in));
  uint32_t acc = 0;
  int bits = 0;
  for (char c : in) {
    const int v = Base64Value(c);
    if (v < 0) return false;
    acc = (acc << 6) | uint32_t(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(char((acc >> bits) & 0xFF));
    }
  }
  return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = s[i];
    if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
    if (a != prefix[i]) return false;
  }
  return true;
}

// A uri naming a file beside the model: percent-decoded, relative, without a
// scheme or drive (no ':' at all), without a ".." component (backslashes
// count as separators, and components of dots and blanks that some systems
// shorten to ".." are refused too), without control bytes. Returns the
// decoded path relative to the model's folder.
std::string FileUri(std::string_view uri, const std::string& what) {
  std::string path;
  path.reserve(uri.size());
  for (size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] != '%') {
      path.push_back(uri[i]);
      continue;
    }
    auto hex = [](char c) {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    const int h = i + 2 < uri.size() ? hex(uri[i + 1]) : -1;
    const int l = i + 2 < uri.size() ? hex(uri[i + 2]) : -1;
    if (h < 0 || l < 0) Fail(what + " uri " + Shown(uri) + " has a bad percent escape");
    path.push_back(char(h * 16 + l));
    i += 2;
  }
  const std::string shown = what + " uri " + Shown(uri);
  if (path.empty()) Fail(what + " has an empty uri");
  for (char c : path)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) Fail(shown + " holds a control character");
  if (path.find(':') != std::string::npos) Fail(shown + " is not a file beside the model (scheme or drive)");
  if (path[0] == '/' || path[0] == '\\') Fail(shown + " is an absolute path");
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("/\\", start);
    if (end == std::string::npos) end = path.size();
    std::string_view part(path.data() + start, end - start);
    size_t dots = 0;
    bool onlyDotsAndBlanks = !part.empty();
    for (char c : part) {
      if (c == '.') ++dots;
      else if (c != ' ') onlyDotsAndBlanks = false;
    }
    if (onlyDotsAndBlanks && dots >= 2) Fail(shown + " leaves the model's folder");
    start = end + 1;
  }
  return path;
}

class GltfReader {
 public:
  GltfReader(std::string_view fileName, const std::string& bytes) : bytes_(bytes) {
    const size_t slash = fileName.find_last_of("/\\");
    folder_ = slash == std::string_view::npos ? std::string() : std::string(fileName.substr(0, slash + 1));
  }

  void Read(MeshData& out) {
    if (bytes_.empty()) Fail("empty file");
    Charge(bytes_.size(), "the model file");
    std::string_view text = bytes_;
    if (bytes_.size() >= 4 && bytes_.compare(0, 4, "glTF") == 0) text = ReadContainer();
    std::string error;
    if (!doc_.Parse(text, error)) Fail(error);
    const json::Value root = doc_.Root();
    if (!root.IsObject()) Fail("the JSON is not an object");
    CheckAsset(root);
    buffers_ = Array(root, "buffers");
    views_ = Array(root, "bufferViews");
    accessors_ = Array(root, "accessors");
    textures_ = Array(root, "textures");
    images_ = Array(root, "images");
    bufferData_.resize(buffers_.Size());
    viewData_.resize(views_.Size());
    accessorInfo_.resize(accessors_.Size());
    textureFiles_.resize(textures_.Size());

    MeshData data;
    ReadMaterials(Array(root, "materials"), data);
    ReadMeshes(Array(root, "meshes"), data);
    out = std::move(data);
  }

 private:
  struct View {
    std::string_view bytes;  // exactly the view's bytes
    uint64_t stride = 0;     // 0: elements lie tightly packed
  };
  struct Accessor {
    std::string name;  // "accessor 3"
    uint32_t componentType = 0;
    bool normalized = false;
    uint64_t count = 0;
    uint64_t components = 0;
    uint64_t elementSize = 0;
    const uint8_t* data = nullptr;  // first element, or null: all zeros
    uint64_t stride = 0;
    uint64_t sparseCount = 0;
    uint32_t sparseIndexType = 0;
    const uint8_t* sparseIndices = nullptr;
    const uint8_t* sparseValues = nullptr;
  };

  // Splits a GLB into its JSON chunk and, when present, its BIN chunk.
  std::string_view ReadContainer() {
    const uint64_t size = bytes_.size();
    if (size < 12) Fail("GLB header cut short at " + Num(size) + " bytes");
    const uint32_t version = ReadU32(bytes_.data() + 4);
    if (version != 2) Fail("GLB version " + Num(uint64_t(version)) + " (only version 2 is read)");
    const uint64_t length = ReadU32(bytes_.data() + 8);
    if (length > size) Fail("GLB header states " + Num(length) + " bytes in a " + Num(size) + "-byte file");
    if (length < 12) Fail("GLB header states " + Num(length) + " bytes, fewer than the header itself");
    uint64_t pos = 12;
    std::string_view json;
    for (int chunk = 0; chunk < 2 && length - pos >= 8; ++chunk) {
      const uint64_t chunkLength = ReadU32(bytes_.data() + pos);
      const uint32_t type = ReadU32(bytes_.data() + pos + 4);
      pos += 8;
      const std::string label = type == kChunkJSON ? "JSON chunk" : type == kChunkBIN ? "BIN chunk" : "chunk";
      if (chunkLength > length - pos)
        Fail(label + " of " + Num(chunkLength) + " bytes in a " + Num(length) + "-byte file");
      std::string_view body(bytes_.data() + pos, chunkLength);
      if (chunk == 0) {
        if (type != kChunkJSON) Fail("the first GLB chunk is not JSON");
        // The chunk is padded with blanks; some writers pad with zero bytes.
        while (!body.empty() && body.back() == '\0') body.remove_suffix(1);
        json = body;
      } else if (type == kChunkBIN) {
        bin_ = body;
        hasBin_ = true;
      }
      pos += std::min<uint64_t>((chunkLength + 3) & ~uint64_t(3), length - pos);
    }
    if (json.data() == nullptr) Fail("GLB of " + Num(length) + " bytes holds no JSON chunk");
    return json;
  }

  void Charge(uint64_t n, const std::string& what) {
    if (n > kMaxLoadedBytes - loaded_)
      Fail(what + " takes the bytes read for this model past " + Num(kMaxLoadedBytes >> 20) + " MiB");
    loaded_ += n;
  }

  void CheckAsset(json::Value root) {
    const json::Value version = root.Get("asset").Get("version");
    if (!version.IsString()) Fail("asset.version is missing");
    const std::string_view v = version.String();
    if (v.substr(0, 2) != "2.") Fail("glTF version " + Shown(v) + " (only 2.x is read)");
    const json::Value required = root.Get("extensionsRequired");
    for (size_t i = 0; i < required.Size(); ++i) {
      const std::string_view name = required[i].String();
      // These change nothing the engine reads (quantized attributes are read
      // through the component types anyway).
      const bool harmless = name == "KHR_mesh_quantization" || name == "KHR_texture_transform" ||
                            name.substr(0, 14) == "KHR_materials_";
      if (!harmless) Fail("needs the extension " + Shown(name) + ", which the engine does not read");
    }
  }

  static json::Value Array(json::Value root, const char* key) {
    const json::Value v = root.Get(key);
    if (v.Present() && !v.IsArray()) Fail(std::string("\"") + key + "\" is not an array");
    return v;
  }

  // Element `index` of a top-level array, an object; `referrer` says who asked.
  static json::Value Item(json::Value array, const char* kind, uint64_t index, const std::string& referrer) {
    if (index >= array.Size())
      Fail(referrer + " names " + kind + " " + Num(index) + ", but the file has " + Num(uint64_t(array.Size())));
    const json::Value v = array[size_t(index)];
    if (!v.IsObject()) Fail(std::string(kind) + " " + Num(index) + " is not an object");
    return v;
  }

  // The bytes of buffer `index`: exactly byteLength of them.
  std::string_view Buffer(uint64_t index, const std::string& referrer) {
    const json::Value b = Item(buffers_, "buffer", index, referrer);
    if (bufferData_[index]) return *bufferData_[index];
    const std::string name = "buffer " + Num(index);
    const uint64_t byteLength = Whole(b.Get("byteLength"), name + " byteLength");
    const json::Value uri = b.Get("uri");
    std::string_view data;
    std::string source;
    if (!uri.Present()) {
      if (index != 0 || !hasBin_) Fail(name + " has no uri and the file has no BIN chunk for it");
      data = bin_;
      source = "the BIN chunk";
    } else {
      if (!uri.IsString()) Fail(name + " uri is not a string");
      const std::string_view u = uri.String();
      if (StartsWithNoCase(u, "data:")) {
        std::string_view payload;
        for (std::string_view prefix : {"data:application/octet-stream;base64,", "data:application/gltf-buffer;base64,"})
          if (StartsWithNoCase(u, prefix)) payload = u.substr(prefix.size());
        if (payload.data() == nullptr)
          Fail(name + " uri " + Shown(u) + " is not base64 application/octet-stream or application/gltf-buffer");
        Charge(Base64DecodedSize(payload), name);
        std::string& decoded = owned_.emplace_back();
        if (!DecodeBase64(payload, decoded)) Fail(name + " uri holds bad base64");
        data = decoded;
        source = "its data uri";
      } else {
        const std::string file = folder_ + FileUri(u, name);
        std::string& content = owned_.emplace_back();
        if (!OpenSceneFile(file, content)) Fail(name + " file \"" + file + "\" cannot be read");
        Charge(content.size(), name + " file \"" + file + "\"");
        data = content;
        source = "\"" + file + "\"";
      }
    }
    if (byteLength > data.size())
      Fail(name + " states " + Num(byteLength) + " bytes but " + source + " holds " + Num(uint64_t(data.size())));
    bufferData_[index] = data.substr(0, size_t(byteLength));
    return *bufferData_[index];
  }

  const View& GetView(uint64_t index, const std::string& referrer) {
    const json::Value v = Item(views_, "bufferView", index, referrer);
    if (viewData_[index]) return *viewData_[index];
    const std::string name = "bufferView " + Num(index);
    const uint64_t buffer = Whole(v.Get("buffer"), name + " buffer");
    const uint64_t offset = WholeOr(v.Get("byteOffset"), name + " byteOffset", 0);
    const uint64_t length = Whole(v.Get("byteLength"), name + " byteLength");
    const uint64_t stride = WholeOr(v.Get("byteStride"), name + " byteStride", 0, kMaxStride);
    const std::string_view data = Buffer(buffer, name);
    if (offset > data.size() || length > data.size() - offset)
      Fail(name + " runs past buffer " + Num(buffer) + " (bytes " + Num(offset) + " to " + Num(offset + length) +
           " of " + Num(uint64_t(data.size())) + ")");
    viewData_[index] = View{data.substr(size_t(offset), size_t(length)), stride};
    return *viewData_[index];
  }

  // The accessor's layout, every element and sparse entry checked to lie
  // inside its bufferView; read once, kept for every primitive using it.
  const Accessor& GetAccessor(uint64_t index, const std::string& referrer) {
    const json::Value a = Item(accessors_, "accessor", index, referrer);
    if (accessorInfo_[index]) return *accessorInfo_[index];
    Accessor info;
    info.name = "accessor " + Num(index);
    const std::string& name = info.name;
    const uint64_t componentType = Whole(a.Get("componentType"), name + " componentType");
    if (componentType > 0xFFFFFFFF || ComponentSize(uint32_t(componentType)) == 0)
      Fail(name + " componentType " + Num(componentType) + " is not one of 5120 to 5126");
    info.componentType = uint32_t(componentType);
    info.normalized = a.Get("normalized").Bool();
    info.count = Whole(a.Get("count"), name + " count", kMaxCount);
    const std::string_view type = a.Get("type").String();
    info.components = type == "SCALAR" ? 1 : type == "VEC2" ? 2 : type == "VEC3" ? 3 : type == "VEC4" ? 4
                                                               : type == "MAT4"   ? 16 : 0;
    if (info.components == 0) Fail(name + " type " + Shown(type) + " is not SCALAR, VEC2, VEC3, VEC4 or MAT4");
    info.elementSize = info.components * ComponentSize(info.componentType);

    const json::Value viewRef = a.Get("bufferView");
    if (viewRef.Present()) {
      const uint64_t viewIndex = Whole(viewRef, name + " bufferView");
      const uint64_t offset = WholeOr(a.Get("byteOffset"), name + " byteOffset", 0);
      const View& view = GetView(viewIndex, name);
      const std::string viewName = "bufferView " + Num(viewIndex);
      if (view.stride != 0 && view.stride < info.elementSize)
        Fail(viewName + " stride " + Num(view.stride) + " is smaller than the " + Num(info.elementSize) +
             "-byte elements of " + name);
      info.stride = view.stride != 0 ? view.stride : info.elementSize;
      // offset < 2^53, stride <= 252, count < 2^32: no overflow.
      const uint64_t end = info.count == 0 ? offset : offset + info.stride * (info.count - 1) + info.elementSize;
      if (end > view.bytes.size())
        Fail(name + " runs past " + viewName + " (" + Num(info.count) + " elements need " + Num(end) + " of its " +
             Num(uint64_t(view.bytes.size())) + " bytes)");
      info.data = reinterpret_cast<const uint8_t*>(view.bytes.data()) + offset;
    }

    const json::Value sparse = a.Get("sparse");
    if (sparse.Present()) {
      const std::string sparseName = name + " sparse";
      info.sparseCount = Whole(sparse.Get("count"), sparseName + " count", kMaxCount);
      if (info.sparseCount > info.count)
        Fail(sparseName + " count " + Num(info.sparseCount) + " is larger than its count " + Num(info.count));
      const json::Value indices = sparse.Get("indices");
      const json::Value values = sparse.Get("values");
      const uint64_t indexType = Whole(indices.Get("componentType"), sparseName + " indices componentType");
      if (indexType != kUnsignedByte && indexType != kUnsignedShort && indexType != kUnsignedInt)
        Fail(sparseName + " indices componentType " + Num(indexType) + " is not 5121, 5123 or 5125");
      info.sparseIndexType = uint32_t(indexType);
      info.sparseIndices = SparseBytes(indices, sparseName + " indices", info.sparseCount * ComponentSize(info.sparseIndexType));
      info.sparseValues = SparseBytes(values, sparseName + " values", info.sparseCount * info.elementSize);
    }
    accessorInfo_[index] = std::move(info);
    return *accessorInfo_[index];
  }

  // Tightly packed sparse indices or values of `need` bytes (need < 2^38).
  const uint8_t* SparseBytes(json::Value part, const std::string& what, uint64_t need) {
    if (!part.IsObject()) Fail(what + " are missing");
    const uint64_t viewIndex = Whole(part.Get("bufferView"), what + " bufferView");
    const uint64_t offset = WholeOr(part.Get("byteOffset"), what + " byteOffset", 0);
    const View& view = GetView(viewIndex, what);
    if (offset > view.bytes.size() || need > view.bytes.size() - offset)
      Fail(what + " run past bufferView " + Num(viewIndex) + " (" + Num(offset + need) + " bytes of its " +
           Num(uint64_t(view.bytes.size())) + ")");
    return reinterpret_cast<const uint8_t*>(view.bytes.data()) + offset;
  }

  // Calls put(element, component, value) for every stored value, then for
  // the sparse substitutes. Elements without data are left to the caller's
  // zeros.
  template <typename Put>
  static void ReadFloats(const Accessor& a, Put&& put) {
    const uint64_t componentSize = ComponentSize(a.componentType);
    if (a.data)
      for (uint64_t i = 0; i < a.count; ++i) {
        const uint8_t* p = a.data + i * a.stride;
        for (uint64_t c = 0; c < a.components; ++c)
          put(i, c, ReadComponent(p + c * componentSize, a.componentType, a.normalized));
      }
    ForEachSparse(a, [&](uint64_t element, const uint8_t* p) {
      for (uint64_t c = 0; c < a.components; ++c)
        put(element, c, ReadComponent(p + c * componentSize, a.componentType, a.normalized));
    });
  }

  template <typename Visit>
  static void ForEachSparse(const Accessor& a, Visit&& visit) {
    const uint64_t indexSize = ComponentSize(a.sparseIndexType);
    for (uint64_t k = 0; k < a.sparseCount; ++k) {
      const uint64_t element = ReadUnsigned(a.sparseIndices + k * indexSize, a.sparseIndexType);
      if (element >= a.count)
        Fail(a.name + " sparse index " + Num(element) + " is past its " + Num(a.count) + " elements");
      visit(element, a.sparseValues + k * a.elementSize);
    }
  }

  static void ReadIndices(const Accessor& a, std::vector<uint32_t>& out) {
    out.assign(size_t(a.count), 0);
    if (a.data)
      for (uint64_t i = 0; i < a.count; ++i) out[i] = ReadUnsigned(a.data + i * a.stride, a.componentType);
    ForEachSparse(a, [&](uint64_t element, const uint8_t* p) { out[element] = ReadUnsigned(p, a.componentType); });
  }

  void ReadMaterials(json::Value materials, MeshData& data) {
    if (materials.Size() > kMaxMaterials) Fail("more than " + Num(uint64_t(kMaxMaterials)) + " materials");
    for (size_t i = 0; i < materials.Size(); ++i) {
      const json::Value m = materials[i];
      const std::string name = "material " + Num(uint64_t(i));
      if (!m.IsObject()) Fail(name + " is not an object");
      ModelMaterial mm;
      mm.name = m.Get("name").IsString() ? std::string(m.Get("name").String()) : "material" + std::to_string(i);
      const json::Value pbr = m.Get("pbrMetallicRoughness");
      glm::vec4 base(1.0f);
      const json::Value factor = pbr.Get("baseColorFactor");
      if (factor.Present()) {
        if (!factor.IsArray() || factor.Size() != 4) Fail(name + " baseColorFactor is not four numbers");
        for (size_t k = 0; k < 4; ++k) {
          if (!factor[k].IsNumber()) Fail(name + " baseColorFactor is not four numbers");
          base[int(k)] = float(factor[k].Number());
        }
      }
      mm.diffuse = base;
      mm.opacity = base.a >= 0.0f && base.a <= 1.0f ? base.a : 1.0f;
      mm.ambient.a = mm.diffuse.a = mm.specular.a = mm.opacity;
      const json::Value texture = pbr.Get("baseColorTexture");
      if (texture.Present()) mm.textureFile = TextureFile(Whole(texture.Get("index"), name + " baseColorTexture index"), name);
      data.materials.push_back(std::move(mm));
    }
  }

  // The file name of a texture's image when it is a file beside the model.
  // Images inside the file (a bufferView or a data: uri) cannot be named by
  // file, and textures whose image comes from an extension have no source:
  // both give no file name, and the material shows its colour alone.
  const std::string& TextureFile(uint64_t index, const std::string& referrer) {
    const json::Value t = Item(textures_, "texture", index, referrer);
    if (textureFiles_[index]) return *textureFiles_[index];
    std::string file;
    const json::Value source = t.Get("source");
    if (source.Present()) {
      const std::string textureName = "texture " + Num(index);
      const uint64_t imageIndex = Whole(source, textureName + " source");
      const json::Value image = Item(images_, "image", imageIndex, textureName);
      const std::string imageName = "image " + Num(imageIndex);
      const json::Value uri = image.Get("uri");
      if (uri.Present()) {
        if (!uri.IsString()) Fail(imageName + " uri is not a string");
        const std::string_view u = uri.String();
        if (StartsWithNoCase(u, "data:")) {
          if (!StartsWithNoCase(u, "data:image/") || u.find(";base64,") == std::string_view::npos)
            Fail(imageName + " uri " + Shown(u) + " is not a base64 data:image/ uri");
        } else {
          file = FileUri(u, imageName);
        }
      }
    }
    textureFiles_[index] = std::move(file);
    return *textureFiles_[index];
  }

  void ReadMeshes(json::Value meshes, MeshData& data) {
    uint64_t vertices = 0, triangles = 0;
    for (size_t mi = 0; mi < meshes.Size(); ++mi) {
      const json::Value mesh = meshes[mi];
      const std::string meshName = "mesh " + Num(uint64_t(mi));
      if (!mesh.IsObject()) Fail(meshName + " is not an object");
      const json::Value primitives = mesh.Get("primitives");
      if (!primitives.IsArray()) Fail(meshName + " has no primitives array");
      const std::string objectName =
          mesh.Get("name").IsString() ? std::string(mesh.Get("name").String()) : "mesh" + std::to_string(mi);
      for (size_t pi = 0; pi < primitives.Size(); ++pi) {
        const json::Value prim = primitives[pi];
        const std::string what = meshName + " primitive " + Num(uint64_t(pi));
        if (!prim.IsObject()) Fail(what + " is not an object");
        const uint64_t mode = WholeOr(prim.Get("mode"), what + " mode", 4);
        if (mode > 6) Fail(what + " mode " + Num(mode) + " is not a glTF primitive mode");
        if (mode < 4) continue;  // points and lines
        const json::Value attributes = prim.Get("attributes");
        if (!attributes.IsObject()) Fail(what + " has no attributes object");
        const json::Value position = attributes.Get("POSITION");
        if (!position.Present()) continue;
        if (data.objects.size() >= kMaxObjects)
          Fail("more than " + Num(uint64_t(kMaxObjects)) + " triangle primitives");

        MeshObject obj;
        // One object per primitive: the first keeps the mesh's name, the
        // others add "_" and their place in the mesh ("door", "door_1").
        obj.name = pi == 0 ? objectName : objectName + "_" + std::to_string(pi);

        const Accessor& pa = GetAccessor(Whole(position, what + " POSITION"), what + " POSITION");
        if (pa.components != 3) Fail(what + " POSITION " + pa.name + " is not VEC3");
        if (pa.count > kMaxVertices - vertices) Fail("more than " + Num(kMaxVertices) + " vertices in the model");
        vertices += pa.count;
        const uint64_t n = pa.count;
        obj.positions.assign(size_t(n), glm::vec3(0.0f));
        ReadFloats(pa, [&](uint64_t i, uint64_t c, float v) { obj.positions[i][int(c)] = v; });

        const json::Value normal = attributes.Get("NORMAL");
        if (normal.Present()) {
          const Accessor& na = VertexAccessor(normal, what + " NORMAL", 3, n);
          obj.normals.assign(size_t(n), glm::vec3(0.0f));
          ReadFloats(na, [&](uint64_t i, uint64_t c, float v) { obj.normals[i][int(c)] = v; });
        }
        const json::Value uv = attributes.Get("TEXCOORD_0");
        if (uv.Present()) {
          const Accessor& ta = VertexAccessor(uv, what + " TEXCOORD_0", 2, n);
          obj.texCoords.assign(size_t(n), glm::vec2(0.0f));
          ReadFloats(ta, [&](uint64_t i, uint64_t c, float v) { obj.texCoords[i][int(c)] = v; });
          // glTF puts the texture origin at the top left; the engine's
          // texture coordinates (as in OBJ and 3DS) start at the bottom left.
          for (glm::vec2& t : obj.texCoords) t.y = 1.0f - t.y;
        }

        FaceGroup group;
        const json::Value indicesRef = prim.Get("indices");
        std::vector<uint32_t> corners;  // the primitive's vertex list before triangles are made
        uint64_t cornerCount = n;
        const Accessor* ia = nullptr;
        if (indicesRef.Present()) {
          ia = &GetAccessor(Whole(indicesRef, what + " indices"), what + " indices");
          if (ia->components != 1 || ComponentSize(ia->componentType) == 0 || ia->componentType == kByte ||
              ia->componentType == kShort || ia->componentType == kFloat)
            Fail(what + " indices " + ia->name + " is not SCALAR of 5121, 5123 or 5125");
          cornerCount = ia->count;
        }
        const uint64_t primitiveTriangles = mode == 4 ? cornerCount / 3 : cornerCount >= 3 ? cornerCount - 2 : 0;
        if (primitiveTriangles > kMaxTriangles - triangles)
          Fail("more than " + Num(kMaxTriangles) + " triangles in the model");
        triangles += primitiveTriangles;
        if (ia) {
          ReadIndices(*ia, corners);
        } else {
          corners.resize(size_t(n));
          for (uint64_t i = 0; i < n; ++i) corners[i] = uint32_t(i);
        }
        for (uint32_t index : corners)
          if (index >= n) Fail(what + " index " + Num(uint64_t(index)) + " is past its " + Num(n) + " vertices");
        if (mode == 4) {
          corners.resize(size_t(primitiveTriangles * 3));  // a last incomplete triangle is dropped
          group.indices = std::move(corners);
        } else {
          group.indices.reserve(size_t(primitiveTriangles * 3));
          for (uint64_t i = 0; i < primitiveTriangles; ++i) {
            if (mode == 5)  // strip: every second triangle turned to keep the winding
              group.indices.insert(group.indices.end(), {corners[i], corners[i + 1 + i % 2], corners[i + 2 - i % 2]});
            else  // fan around the first corner
              group.indices.insert(group.indices.end(), {corners[i + 1], corners[i + 2], corners[0]});
          }
        }

        const json::Value material = prim.Get("material");
        if (material.Present()) {
          const uint64_t m = Whole(material, what + " material");
          if (m >= data.materials.size())
            Fail(what + " names material " + Num(m) + ", but the file has " + Num(uint64_t(data.materials.size())));
          group.materialName = data.materials[size_t(m)].name;
        }
        obj.fileTriangles = group.indices;
        if (!group.indices.empty()) obj.faceGroups.push_back(std::move(group));
        data.objects.push_back(std::move(obj));
      }
    }
  }

  // NORMAL and TEXCOORD_0: the given width and one element per vertex.
  const Accessor& VertexAccessor(json::Value ref, const std::string& what, uint64_t components, uint64_t vertices) {
    const Accessor& a = GetAccessor(Whole(ref, what), what);
    if (a.components != components) Fail(what + " " + a.name + " is not VEC" + Num(components));
    if (a.count != vertices)
      Fail(what + " " + a.name + " has " + Num(a.count) + " elements for " + Num(vertices) + " vertices");
    return a;
  }

  const std::string& bytes_;
  std::string folder_;
  std::string_view bin_;
  bool hasBin_ = false;
  uint64_t loaded_ = 0;
  json::Document doc_;
  json::Value buffers_, views_, accessors_, textures_, images_;
  std::deque<std::string> owned_;  // decoded and external buffers; a deque keeps them in place
  std::vector<std::optional<std::string_view>> bufferData_;
  std::vector<std::optional<View>> viewData_;
  std::vector<std::optional<Accessor>> accessorInfo_;
  std::vector<std::optional<std::string>> textureFiles_;
};

}  // namespace

bool IsGLTFExtension(std::string_view lowerExt) { return lowerExt == "gltf" || lowerExt == "glb"; }

bool LoadGLTF(std::string_view fileName, const std::string& bytes, MeshData& out, std::string& error) {
  try {
    GltfReader reader(fileName, bytes);
    reader.Read(out);
    return true;
  } catch (const GltfError& e) {
    error = e.what();
    return false;
  }
}

}  // namespace kavo::scene::detail
