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
//
// As an animated model, the skin of the first node with a mesh and a skin
// makes the skeleton, and the meshes of the nodes bound to that skin are the
// model (other meshes are left out). Bones are the skin's joints in its
// order, a parent always moved before its children; a bone's parent is the
// nearest joint above it, and the transforms of the nodes that are no joints
// in between (an "Armature" above the root) go into the bone's pose, so the
// bone matrices come out in the space the vertices are bound in. JOINTS_0 and
// WEIGHTS_0 give up to four bones a vertex (without them every vertex follows
// the first joint). Frame 0 is the nodes' own transforms; each animation
// follows as a looping range sampled at 30 frames a second from time 0 (or an
// earlier first key) to its last key; channels on joints move them, others
// (morph weights, nodes that are no joints) are ignored. Joints, nodes, keys,
// frames and bone poses are bounded.
#include "scene/animated_loaders.h"
#include "scene/fileaccess.h"
#include "scene/geometry.h"
#include "scene/json.h"
#include "scene/model_loaders.h"

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/quaternion.hpp>

#include <algorithm>
#include <array>
#include <map>
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
// Skinned models: joints, nodes, animation keys read (times and values
// together), sampled frames and bone poses (frames times joints).
constexpr size_t kMaxJoints = 4096;
constexpr size_t kMaxNodes = size_t(1) << 20;
constexpr uint64_t kMaxKeyFloats = uint64_t(1) << 24;
constexpr double kSampleRate = 30.0;                   // frames a second
constexpr double kMaxAnimationSeconds = 1200.0;        // 20 minutes
constexpr uint64_t kMaxSampledFrames = 36001;          // 20 minutes and the last key
constexpr uint64_t kMaxBonePoses = kMaxAnimatedFloats / 10;  // ten floats a pose

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
    const json::Value root = Open();
    MeshData data;
    ReadMaterials(Array(root, "materials"), data);
    ReadMeshes(Array(root, "meshes"), data);
    out = std::move(data);
  }

  // The skinned mesh with its skeleton and animations, or every mesh as one
  // morph frame when no node has a skin.
  void ReadAnimated(AnimatedModelData& out);

 private:
  json::Value Open() {
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
    return root;
  }

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
      if (!meshUsed_.empty() && !meshUsed_[mi]) continue;
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
        objectSources_.push_back({mi, pi, n});
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

  // ---- skins and animations

  struct Transform {
    glm::vec3 t{0.0f};
    glm::quat r{1.0f, 0.0f, 0.0f, 0.0f};
    glm::vec3 s{1.0f};
  };

  // One sampler's keys: `components` floats a key (three values a key for
  // CUBICSPLINE, of which the middle one is the value).
  struct Sampler {
    enum Mode { kLinear, kStep, kCubic };
    Mode mode = kLinear;
    size_t components = 0;
    std::vector<float> times;
    std::vector<float> values;
  };

  static bool Finite(const glm::vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
  static bool Finite(const glm::quat& q) { return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w); }

  static glm::mat4 Compose(const Transform& x) {
    return glm::scale(glm::translate(glm::mat4(1.0f), x.t) * glm::mat4_cast(x.r), x.s);
  }

  // A matrix as translation, rotation and scale (any shear is lost); false
  // when the parts are not finite.
  static bool Decompose(const glm::mat4& m, Transform& out) {
    out.t = glm::vec3(m[3]);
    glm::mat3 basis(m);
    glm::vec3 s(glm::length(basis[0]), glm::length(basis[1]), glm::length(basis[2]));
    if (glm::determinant(basis) < 0.0f) s.x = -s.x;
    out.s = s;
    out.r = glm::quat(1.0f, 0.0f, 0.0f, 0.0f);
    if (s.x != 0.0f && s.y != 0.0f && s.z != 0.0f) {
      basis[0] /= s.x;
      basis[1] /= s.y;
      basis[2] /= s.z;
      const glm::quat q = glm::quat_cast(basis);
      const float len = glm::length(q);
      if (len > 0.0f && std::isfinite(len)) out.r = q / len;
    }
    return Finite(out.t) && Finite(out.s) && Finite(out.r);
  }

  // glTF quaternions are x, y, z, w; a zero or unusable one is no turn.
  static glm::quat Rotation(const float* xyzw) {
    const double x = xyzw[0], y = xyzw[1], z = xyzw[2], w = xyzw[3];
    const double len = std::sqrt(x * x + y * y + z * z + w * w);
    if (!(len > 1e-12) || !std::isfinite(len)) return glm::quat(1.0f, 0.0f, 0.0f, 0.0f);
    return glm::quat(float(w / len), float(x / len), float(y / len), float(z / len));
  }

  // Exactly `n` finite numbers.
  static void Numbers(json::Value v, size_t n, const std::string& what, float* out) {
    const std::string bad = what + " is not " + Num(uint64_t(n)) + " finite numbers";
    if (!v.IsArray() || v.Size() != n) Fail(bad);
    for (size_t i = 0; i < n; ++i) {
      if (!v[i].IsNumber()) Fail(bad);
      out[i] = float(v[i].Number());
      if (!std::isfinite(out[i])) Fail(bad);
    }
  }

  static Transform NodeTransform(json::Value node, const std::string& name) {
    Transform x;
    const json::Value matrix = node.Get("matrix");
    if (matrix.Present()) {
      glm::mat4 m;
      Numbers(matrix, 16, name + " matrix", &m[0][0]);
      if (!Decompose(m, x)) Fail(name + " matrix does not make a finite translation, rotation and scale");
      return x;
    }
    if (node.Get("translation").Present()) Numbers(node.Get("translation"), 3, name + " translation", &x.t[0]);
    if (node.Get("rotation").Present()) {
      float q[4];
      Numbers(node.Get("rotation"), 4, name + " rotation", q);
      x.r = Rotation(q);
    }
    if (node.Get("scale").Present()) Numbers(node.Get("scale"), 3, name + " scale", &x.s[0]);
    return x;
  }

  // The keys of a sampler driving `components` floats (3: translation or
  // scale, 4: rotation), counted against the file's key budget.
  Sampler ReadSampler(json::Value s, const std::string& what, size_t components) {
    if (!s.IsObject()) Fail(what + " is not an object");
    Sampler out;
    out.components = components;
    const json::Value mode = s.Get("interpolation");
    if (mode.Present()) {
      const std::string_view m = mode.String();
      if (m == "STEP") out.mode = Sampler::kStep;
      else if (m == "CUBICSPLINE") out.mode = Sampler::kCubic;
      else if (m != "LINEAR") Fail(what + " interpolation " + Shown(m) + " is not LINEAR, STEP or CUBICSPLINE");
    }
    const Accessor& in = GetAccessor(Whole(s.Get("input"), what + " input"), what + " input");
    if (in.components != 1 || in.componentType != kFloat) Fail(what + " input " + in.name + " is not SCALAR floats");
    if (in.count == 0) Fail(what + " input " + in.name + " has no keys");
    const Accessor& o = GetAccessor(Whole(s.Get("output"), what + " output"), what + " output");
    const bool rotation = components == 4;
    const bool typeOk = o.componentType == kFloat ||
                        (rotation && o.normalized && o.componentType != kUnsignedInt);
    if (o.components != components || !typeOk)
      Fail(what + " output " + o.name + " is not VEC" + Num(uint64_t(components)) +
           (rotation ? " of floats or normalized integers" : " of floats"));
    const uint64_t perKey = out.mode == Sampler::kCubic ? 3 : 1;
    if (o.count != in.count * perKey)
      Fail(what + " output " + o.name + " has " + Num(o.count) + " elements for " + Num(in.count) + " keys" +
           (perKey == 3 ? " (CUBICSPLINE needs three a key)" : ""));
    const uint64_t floats = in.count + o.count * components;
    if (floats > kMaxKeyFloats - keyFloats_)
      Fail(what + " takes the animation keys of this model past " + Num(kMaxKeyFloats) + " values");
    keyFloats_ += floats;

    out.times.assign(size_t(in.count), 0.0f);
    ReadFloats(in, [&](uint64_t i, uint64_t, float v) { out.times[i] = v; });
    for (size_t i = 0; i < out.times.size(); ++i) {
      if (!std::isfinite(out.times[i]))
        Fail(what + " input " + in.name + " key " + Num(uint64_t(i)) + " time is not a finite number");
      if (i > 0 && out.times[i] < out.times[i - 1])
        Fail(what + " input " + in.name + " key " + Num(uint64_t(i)) + " time " + Num(double(out.times[i])) +
             " comes before the key before it (" + Num(double(out.times[i - 1])) + ")");
    }
    out.values.assign(size_t(o.count * components), 0.0f);
    ReadFloats(o, [&](uint64_t i, uint64_t c, float v) { out.values[size_t(i * components + c)] = v; });
    for (float v : out.values)
      if (!std::isfinite(v)) Fail(what + " output " + o.name + " holds a value that is not a finite number");
    return out;
  }

  // The sampler's value at time `t` into `out` (components floats).
  static void Sample(const Sampler& s, double t, float* out) {
    const size_t keys = s.times.size();
    const size_t per = s.mode == Sampler::kCubic ? 3 : 1;
    auto value = [&](size_t key) { return s.values.data() + (key * per + (per == 3 ? 1 : 0)) * s.components; };
    const size_t next = size_t(std::upper_bound(s.times.begin(), s.times.end(), t) - s.times.begin());
    if (next == 0 || next == keys || s.mode == Sampler::kStep) {
      const float* v = value(next == 0 ? 0 : next - 1);
      std::copy(v, v + s.components, out);
      return;
    }
    const size_t key = next - 1;
    const double span = double(s.times[next]) - double(s.times[key]);
    const float u = span > 0.0 ? float((t - double(s.times[key])) / span) : 1.0f;
    const float* a = value(key);
    const float* b = value(next);
    if (s.components == 4) {
      const glm::quat q = glm::slerp(Rotation(a), Rotation(b), u);  // the shorter way round
      out[0] = q.x, out[1] = q.y, out[2] = q.z, out[3] = q.w;
    } else {
      for (size_t c = 0; c < s.components; ++c) out[c] = a[c] + (b[c] - a[c]) * u;
    }
  }

  void RequireTriangles(const MeshData& data) {
    for (const MeshObject& obj : data.objects)
      for (const FaceGroup& g : obj.faceGroups)
        if (g.indices.size() >= 3) return;
    Fail("the file holds no geometry");
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
  // Reading a skinned model: the meshes its nodes use (empty: all), and for
  // every mesh object made, its mesh, primitive and vertex count.
  std::vector<bool> meshUsed_;
  struct ObjectSource {
    size_t mesh = 0, primitive = 0;
    uint64_t vertices = 0;
  };
  std::vector<ObjectSource> objectSources_;
  uint64_t keyFloats_ = 0;
};

void GltfReader::ReadAnimated(AnimatedModelData& out) {
  const json::Value root = Open();
  const json::Value nodes = Array(root, "nodes");
  const json::Value meshes = Array(root, "meshes");
  const size_t nodeCount = nodes.Size();
  if (nodeCount > kMaxNodes) Fail("more than " + Num(uint64_t(kMaxNodes)) + " nodes");
  for (size_t i = 0; i < nodeCount; ++i)
    if (!nodes[i].IsObject()) Fail("node " + Num(uint64_t(i)) + " is not an object");

  // The skin of the first node with a mesh and a skin.
  std::optional<uint64_t> skinIndex;
  for (size_t i = 0; i < nodeCount && !skinIndex; ++i)
    if (nodes[i].Get("mesh").Present() && nodes[i].Get("skin").Present())
      skinIndex = Whole(nodes[i].Get("skin"), "node " + Num(uint64_t(i)) + " skin");

  AnimatedModelData model;
  ReadMaterials(Array(root, "materials"), model.mesh);
  if (!skinIndex) {
    // A figure without bones: every mesh, one frame.
    ReadMeshes(meshes, model.mesh);
    RequireTriangles(model.mesh);
    MeshData withNormals = model.mesh;
    BuildTangentSpace(withNormals);  // fills the normals the file leaves out
    model.kind = AnimatedModelData::Kind::Morph;
    model.morphPositions.resize(1);
    model.morphNormals.resize(1);
    for (size_t o = 0; o < model.mesh.objects.size(); ++o) {
      MeshObject& obj = model.mesh.objects[o];
      const size_t n = obj.positions.size();
      if (withNormals.objects[o].normals.size() == n) obj.normals = withNormals.objects[o].normals;
      else obj.normals.assign(n, glm::vec3(0, 1, 0));
      model.morphPositions[0].push_back(obj.positions);
      model.morphNormals[0].push_back(obj.normals);
    }
    out = std::move(model);
    return;
  }

  const std::string skinName = "skin " + Num(*skinIndex);
  const json::Value skin = Item(Array(root, "skins"), "skin", *skinIndex, "a node");
  // Only the meshes of the nodes bound to that skin are the model.
  meshUsed_.assign(meshes.Size(), false);
  for (size_t i = 0; i < nodeCount; ++i) {
    const json::Value node = nodes[i];
    if (!node.Get("mesh").Present() || !node.Get("skin").Present()) continue;
    const std::string name = "node " + Num(uint64_t(i));
    if (Whole(node.Get("skin"), name + " skin") != *skinIndex) continue;
    const uint64_t mesh = Whole(node.Get("mesh"), name + " mesh");
    if (mesh >= meshes.Size())
      Fail(name + " names mesh " + Num(mesh) + ", but the file has " + Num(uint64_t(meshes.Size())));
    meshUsed_[size_t(mesh)] = true;
  }
  ReadMeshes(meshes, model.mesh);
  RequireTriangles(model.mesh);

  // Joints: the skin's nodes, each once.
  const json::Value joints = skin.Get("joints");
  if (!joints.IsArray() || joints.Size() == 0) Fail(skinName + " has no joints");
  if (joints.Size() > kMaxJoints)
    Fail(skinName + " has " + Num(uint64_t(joints.Size())) + " joints, more than " + Num(uint64_t(kMaxJoints)));
  const size_t jointCount = joints.Size();
  std::vector<int64_t> jointOfNode(nodeCount, -1);
  std::vector<size_t> jointNode(jointCount);
  for (size_t j = 0; j < jointCount; ++j) {
    const uint64_t node = Whole(joints[j], skinName + " joint " + Num(uint64_t(j)));
    if (node >= nodeCount)
      Fail(skinName + " names node " + Num(node) + ", but the file has " + Num(uint64_t(nodeCount)));
    if (jointOfNode[size_t(node)] >= 0) Fail(skinName + " names node " + Num(node) + " twice");
    jointOfNode[size_t(node)] = int64_t(j);
    jointNode[j] = size_t(node);
  }

  // The node tree: one parent each, no node its own ancestor.
  std::vector<int64_t> parent(nodeCount, -1);
  std::vector<Transform> local(nodeCount);
  for (size_t i = 0; i < nodeCount; ++i) {
    const std::string name = "node " + Num(uint64_t(i));
    local[i] = NodeTransform(nodes[i], name);
    const json::Value children = nodes[i].Get("children");
    if (children.Present() && !children.IsArray()) Fail(name + " children is not an array");
    for (size_t k = 0; k < children.Size(); ++k) {
      const uint64_t child = Whole(children[k], name + " child");
      if (child >= nodeCount) Fail(name + " names node " + Num(child) + ", but the file has " + Num(uint64_t(nodeCount)));
      if (parent[size_t(child)] >= 0 || child == i) Fail("node " + Num(child) + " has more than one parent");
      parent[size_t(child)] = int64_t(i);
    }
  }
  // Top down: every node's nearest joint above it, and the transform of the
  // nodes that are no joints between the two (for a root joint, everything
  // above it: an "Armature" node's turn and scale go into the root's pose).
  std::vector<int64_t> jointAbove(nodeCount, -1);
  std::vector<glm::mat4> between(nodeCount, glm::mat4(1.0f));
  std::vector<bool> moved(nodeCount, false);
  std::vector<uint8_t> state(nodeCount, 0);  // 0 not reached, 1 on the walk, 2 done
  std::vector<size_t> chain;
  for (size_t i = 0; i < nodeCount; ++i) {
    chain.clear();
    size_t x = i;
    for (;;) {
      if (state[x] == 2) break;
      if (state[x] == 1) Fail("node " + Num(uint64_t(x)) + " is its own ancestor");
      state[x] = 1;
      chain.push_back(x);
      if (parent[x] < 0) break;
      x = size_t(parent[x]);
    }
    for (size_t k = chain.size(); k-- > 0;) {
      const size_t n = chain[k];
      state[n] = 2;
      if (parent[n] < 0) continue;
      const size_t p = size_t(parent[n]);
      if (jointOfNode[p] >= 0) {
        jointAbove[n] = int64_t(p);
      } else {
        jointAbove[n] = jointAbove[p];
        between[n] = between[p] * Compose(local[p]);
        moved[n] = true;
      }
    }
  }

  // Bones in joint order, except that a parent comes before its children.
  std::vector<int> boneOfJoint(jointCount, -1);
  std::vector<size_t> jointOfBone;
  jointOfBone.reserve(jointCount);
  std::vector<size_t> up;
  for (size_t j = 0; j < jointCount; ++j) {
    up.clear();
    for (size_t k = j; boneOfJoint[k] < 0;) {
      up.push_back(k);
      const int64_t above = jointAbove[jointNode[k]];
      if (above < 0) break;
      k = size_t(jointOfNode[size_t(above)]);
    }
    for (size_t k = up.size(); k-- > 0;) {
      boneOfJoint[up[k]] = int(jointOfBone.size());
      jointOfBone.push_back(up[k]);
    }
  }
  for (size_t b = 0; b < jointCount; ++b) {
    const size_t node = jointNode[jointOfBone[b]];
    Bone bone;
    const json::Value name = nodes[node].Get("name");
    bone.name = name.IsString() ? std::string(name.String()) : "joint" + std::to_string(jointOfBone[b]);
    if (jointAbove[node] >= 0) bone.parent = boneOfJoint[size_t(jointOfNode[size_t(jointAbove[node])])];
    model.bones.push_back(std::move(bone));
  }
  // A joint's pose relative to its parent bone, from its own transform.
  auto pose = [&](size_t j, const Transform& own) {
    const size_t node = jointNode[j];
    Transform x = own;
    if (moved[node] && !Decompose(between[node] * Compose(own), x))
      Fail("node " + Num(uint64_t(node)) + " and the nodes above it do not make a finite transform");
    BonePose p;
    p.position = x.t;
    p.rotation = x.r;
    p.scale = x.s;
    return p;
  };
  std::vector<BonePose> rest(jointCount);
  for (size_t b = 0; b < jointCount; ++b) rest[b] = pose(jointOfBone[b], local[jointNode[jointOfBone[b]]]);

  // Vertex weights.
  uint64_t skinned = 0;
  for (const ObjectSource& src : objectSources_) skinned += src.vertices;
  if (skinned * 8 > kMaxAnimatedFloats) Fail("more than " + Num(uint64_t(kMaxAnimatedFloats / 8)) + " skinned vertices");
  for (size_t o = 0; o < objectSources_.size(); ++o) {
    const ObjectSource& src = objectSources_[o];
    const std::string what = "mesh " + Num(uint64_t(src.mesh)) + " primitive " + Num(uint64_t(src.primitive));
    const json::Value attributes = meshes[src.mesh].Get("primitives")[src.primitive].Get("attributes");
    std::vector<VertexSkin> skins(size_t(src.vertices));
    const json::Value jointsRef = attributes.Get("JOINTS_0");
    const json::Value weightsRef = attributes.Get("WEIGHTS_0");
    if (jointsRef.Present() && weightsRef.Present()) {
      const Accessor& ja = VertexAccessor(jointsRef, what + " JOINTS_0", 4, src.vertices);
      if ((ja.componentType != kUnsignedByte && ja.componentType != kUnsignedShort) || ja.normalized)
        Fail(what + " JOINTS_0 " + ja.name + " is not unsigned bytes or shorts");
      const Accessor& wa = VertexAccessor(weightsRef, what + " WEIGHTS_0", 4, src.vertices);
      if (wa.componentType != kFloat &&
          !(wa.normalized && (wa.componentType == kUnsignedByte || wa.componentType == kUnsignedShort)))
        Fail(what + " WEIGHTS_0 " + wa.name + " is not floats or normalized unsigned bytes or shorts");
      ReadFloats(ja, [&](uint64_t i, uint64_t c, float v) { skins[i].bone[c] = int(v); });
      ReadFloats(wa, [&](uint64_t i, uint64_t c, float v) { skins[i].weight[c] = v; });
    } else {
      for (VertexSkin& s : skins) s.bone[0] = 0, s.weight[0] = 1.0f;
    }
    for (size_t i = 0; i < skins.size(); ++i) {
      VertexSkin& s = skins[i];
      double sum = 0.0;
      auto vertex = [&] { return what + " vertex " + Num(uint64_t(i)); };  // named on a failure only
      for (int k = 0; k < 4; ++k) {
        if (s.bone[k] < 0) s.bone[k] = 0;  // unused slot of a primitive without weights
        if (size_t(s.bone[k]) >= jointCount)
          Fail(vertex() + " names joint " + Num(uint64_t(s.bone[k])) + ", but " + skinName + " has " +
               Num(uint64_t(jointCount)));
        if (!std::isfinite(s.weight[k])) Fail(vertex() + " has a weight that is not a finite number");
        if (s.weight[k] < 0.0f) Fail(vertex() + " has the negative weight " + Num(double(s.weight[k])));
        sum += s.weight[k];
      }
      if (sum == 0.0) s.weight[0] = 1.0f, sum = 1.0;
      for (int k = 0; k < 4; ++k) {
        if (s.weight[k] == 0.0f) {
          s.bone[k] = -1;
        } else {
          s.bone[k] = boneOfJoint[size_t(s.bone[k])];
          s.weight[k] = float(s.weight[k] / sum);
        }
      }
    }
    model.skins.push_back(std::move(skins));
  }

  // Inverse bind matrices: the file's, or none (the identity) for every joint.
  model.inverseBind.assign(jointCount, glm::mat4(1.0f));
  const json::Value ibmRef = skin.Get("inverseBindMatrices");
  if (ibmRef.Present()) {
    const std::string what = skinName + " inverseBindMatrices";
    const Accessor& a = GetAccessor(Whole(ibmRef, what), what);
    if (a.components != 16 || a.componentType != kFloat) Fail(what + " " + a.name + " is not MAT4 of floats");
    if (a.count != jointCount)
      Fail(what + " " + a.name + " has " + Num(a.count) + " matrices for " + Num(uint64_t(jointCount)) + " joints");
    std::vector<glm::mat4> matrices(jointCount, glm::mat4(0.0f));
    ReadFloats(a, [&](uint64_t i, uint64_t c, float v) { matrices[i][int(c / 4)][int(c % 4)] = v; });
    for (size_t j = 0; j < jointCount; ++j) {
      for (int k = 0; k < 16; ++k)
        if (!std::isfinite(matrices[j][k / 4][k % 4]))
          Fail(what + " matrix " + Num(uint64_t(j)) + " holds a value that is not a finite number");
      model.inverseBind[size_t(boneOfJoint[j])] = matrices[j];
    }
  }

  // Frame 0 is the rest pose; each animation follows, sampled at 30 frames a second.
  model.kind = AnimatedModelData::Kind::Skeletal;
  model.referencePose = rest;
  model.frames.push_back(rest);
  const json::Value animations = Array(root, "animations");
  for (size_t ai = 0; ai < animations.Size(); ++ai) {
    const json::Value anim = animations[ai];
    const std::string what = "animation " + Num(uint64_t(ai));
    if (!anim.IsObject()) Fail(what + " is not an object");
    const json::Value channels = anim.Get("channels");
    const json::Value samplers = anim.Get("samplers");
    if (channels.Present() && !channels.IsArray()) Fail(what + " channels is not an array");
    if (samplers.Present() && !samplers.IsArray()) Fail(what + " samplers is not an array");
    // Per joint: the sampler of its translation, rotation and scale.
    std::vector<std::array<int64_t, 3>> track(jointCount, {-1, -1, -1});
    for (size_t ci = 0; ci < channels.Size(); ++ci) {
      const std::string channelName = what + " channel " + Num(uint64_t(ci));
      const json::Value channel = channels[ci];
      if (!channel.IsObject()) Fail(channelName + " is not an object");
      const json::Value target = channel.Get("target");
      if (!target.IsObject()) Fail(channelName + " has no target");
      const uint64_t sampler = Whole(channel.Get("sampler"), channelName + " sampler");
      if (sampler >= samplers.Size())
        Fail(channelName + " names sampler " + Num(sampler) + ", but " + what + " has " +
             Num(uint64_t(samplers.Size())));
      if (!target.Get("node").Present()) continue;  // a target an extension names
      const uint64_t node = Whole(target.Get("node"), channelName + " target node");
      if (node >= nodeCount)
        Fail(channelName + " names node " + Num(node) + ", but the file has " + Num(uint64_t(nodeCount)));
      const std::string_view path = target.Get("path").String();
      const int slot = path == "translation" ? 0 : path == "rotation" ? 1 : path == "scale" ? 2 : -1;
      if (slot < 0 || jointOfNode[size_t(node)] < 0) continue;  // morph weights, or a node that moves no bone
      track[size_t(jointOfNode[size_t(node)])][size_t(slot)] = int64_t(sampler);
    }
    // The samplers the joints use, each read once.
    std::map<std::pair<int64_t, int>, Sampler> read;
    double first = 0.0, last = 0.0;
    for (auto& t : track)
      for (int slot = 0; slot < 3; ++slot) {
        if (t[size_t(slot)] < 0) continue;
        const std::pair<int64_t, int> key(t[size_t(slot)], slot == 1 ? 4 : 3);
        if (read.count(key)) continue;
        const Sampler& s = read[key] = ReadSampler(samplers[size_t(key.first)],
                                                    what + " sampler " + Num(uint64_t(key.first)), size_t(key.second));
        first = std::min(first, double(s.times.front()));
        last = std::max(last, double(s.times.back()));
      }
    const double length = last - first;
    if (!(length <= kMaxAnimationSeconds))
      Fail(what + " lasts " + Num(length) + " s, longer than " + Num(kMaxAnimationSeconds) + " s");
    const uint64_t frames = uint64_t(std::ceil(length * kSampleRate - 1e-6)) + 1;
    if (frames > kMaxSampledFrames)
      Fail(what + " takes " + Num(frames) + " frames, more than " + Num(kMaxSampledFrames));
    if ((model.frames.size() + frames) * jointCount > kMaxBonePoses)
      Fail(what + " takes the frames of this model past " + Num(kMaxBonePoses) + " bone poses");
    const int start = int(model.frames.size());
    for (uint64_t f = 0; f < frames; ++f) {
      const double time = std::min(first + double(f) / kSampleRate, last);
      std::vector<BonePose> frame(jointCount);
      for (size_t b = 0; b < jointCount; ++b) {
        const size_t j = jointOfBone[b];
        Transform x = local[jointNode[j]];
        float v[4];
        for (int slot = 0; slot < 3; ++slot) {
          if (track[j][size_t(slot)] < 0) continue;
          const Sampler& s = read.at({track[j][size_t(slot)], slot == 1 ? 4 : 3});
          Sample(s, time, v);
          if (slot == 0) x.t = glm::vec3(v[0], v[1], v[2]);
          else if (slot == 1) x.r = Rotation(v);
          else x.s = glm::vec3(v[0], v[1], v[2]);
        }
        frame[b] = pose(j, x);
      }
      model.frames.push_back(std::move(frame));
    }
    const json::Value name = anim.Get("name");
    model.animations.push_back({name.IsString() ? std::string(name.String()) : "animation" + std::to_string(ai), start,
                                int(model.frames.size()) - 1, true});
  }
  out = std::move(model);
}

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

bool LoadAnimatedGLTF(std::string_view fileName, const std::string& bytes, AnimatedModelData& out, std::string& why) {
  try {
    GltfReader reader(fileName, bytes);
    reader.ReadAnimated(out);
    return true;
  } catch (const GltfError& e) {
    why = e.what();
    return false;
  }
}

}  // namespace kavo::scene::detail
