// Wavefront OBJ reader with its MTL material libraries. `o` and `g` start a
// new mesh object, `usemtl` a new face group; convex polygons are fanned
// into triangles around their first corner, other polygons cut into ears;
// negative indices count back from the last vertex read. Each material
// library is read once per model, however often the file names it. OBJ indexes positions, texture coordinates and normals
// separately, so each mesh object gets one vertex per distinct corner triple
// it uses, in order of first use. Numbers are parsed exactly (from_chars), so
// the vertices are bit-for-bit those the file writes.
#include "scene/model_loaders.h"
#include "scene/textscan.h"

#include "core/log.h"
#include "scene/fileaccess.h"
#include "scene/triangulate.h"

#include <array>
#include <charconv>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace kavo::scene::detail {

namespace {

// Bounds on what one model may hold: past them the file is refused.
constexpr size_t kMaxFaceCorners = 1024;
constexpr size_t kMaxTriangles = size_t(1) << 24;
// Point-in-triangle tests the ear cutting of one model may take.
constexpr uint64_t kTriangulationBudget = 200'000'000;





bool ParseInt(std::string_view tok, long long& out) {
  if (tok.empty()) return false;
  if (tok.front() == '+') tok.remove_prefix(1);
  auto res = std::from_chars(tok.data(), tok.data() + tok.size(), out);
  return res.ec == std::errc() && res.ptr == tok.data() + tok.size();
}

// Reads up to `n` floats; at least `minimum` must be present and valid.
bool ParseFloats(std::string_view rest, float* out, int n, int minimum) {
  for (int i = 0; i < n; ++i) {
    std::string_view tok = NextToken(rest);
    if (tok.empty()) {
      if (i < minimum) return false;
      out[i] = 0.0f;
      continue;
    }
    if (!ParseFloat(tok, out[i])) return false;
  }
  return true;
}

std::string DirectoryOf(std::string_view fileName) {
  size_t slash = fileName.find_last_of("/\\");
  return slash == std::string_view::npos ? std::string() : std::string(fileName.substr(0, slash + 1));
}

// Texture names in MTL may carry options ("-s 1 1 1 file.png"); the file
// name is then the last token.
std::string MapFileName(std::string_view rest) {
  rest = Trim(rest);
  if (!rest.empty() && rest.front() == '-') {
    size_t blank = rest.find_last_of(" \t");
    if (blank != std::string_view::npos) rest = rest.substr(blank + 1);
  }
  return std::string(rest);
}

void ParseMTL(const std::string& text, std::vector<ModelMaterial>& materials) {
  ModelMaterial* current = nullptr;
  std::string_view all(text);
  while (!all.empty()) {
    size_t eol = all.find('\n');
    std::string_view line = all.substr(0, eol);
    all.remove_prefix(eol == std::string_view::npos ? all.size() : eol + 1);
    line = Trim(line);
    if (line.empty() || line.front() == '#') continue;
    std::string_view rest = line;
    std::string_view key = NextToken(rest);
    if (key == "newmtl") {
      materials.emplace_back();
      current = &materials.back();
      current->name = std::string(Trim(rest));
      continue;
    }
    if (!current) continue;
    float v[3];
    if (key == "Ka" && ParseFloats(rest, v, 3, 1)) {
      current->ambient = {v[0], v[1], v[2], current->ambient.a};
    } else if (key == "Kd" && ParseFloats(rest, v, 3, 1)) {
      current->diffuse = {v[0], v[1], v[2], current->diffuse.a};
    } else if (key == "Ks" && ParseFloats(rest, v, 3, 1)) {
      current->specular = {v[0], v[1], v[2], current->specular.a};
    } else if (key == "d" && ParseFloats(rest, v, 1, 1)) {
      current->opacity = v[0];
    } else if (key == "Tr" && ParseFloats(rest, v, 1, 1)) {
      current->opacity = 1.0f - v[0];
    } else if (key == "map_Kd") {
      current->textureFile = MapFileName(rest);
    }
  }
  for (ModelMaterial& m : materials) {
    if (!(m.opacity >= 0.0f && m.opacity <= 1.0f)) m.opacity = 1.0f;
    m.ambient.a = m.diffuse.a = m.specular.a = m.opacity;
  }
}

struct CornerKey {
  uint32_t v, t, n;  // 0 = absent for t and n, else index + 1
  bool operator==(const CornerKey&) const = default;
};
struct CornerHash {
  size_t operator()(const CornerKey& k) const {
    uint64_t h = k.v * 0x9E3779B97F4A7C15ull;
    h ^= (uint64_t(k.t) + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full;
    h ^= (uint64_t(k.n) + 0x85EBCA77C2B2AE63ull) * 0x165667B19E3779F9ull;
    return size_t(h ^ (h >> 29));
  }
};

class ObjReader {
 public:
  ObjReader(std::string_view fileName, MeshData& out) : fileName_(fileName), out_(out) {}

  bool Run(const std::string& bytes, std::string& error) {
    std::string_view all(bytes);
    size_t lineNo = 0;
    while (!all.empty()) {
      size_t eol = all.find('\n');
      std::string_view line = all.substr(0, eol);
      all.remove_prefix(eol == std::string_view::npos ? all.size() : eol + 1);
      ++lineNo;
      if (!Line(Trim(line), error)) {
        error = "OBJ: line " + std::to_string(lineNo) + ": " + error;
        return false;
      }
    }
    FinishObject();
    return true;
  }

 private:
  bool Line(std::string_view line, std::string& error) {
    if (line.empty() || line.front() == '#') return true;
    std::string_view rest = line;
    std::string_view key = NextToken(rest);
    float v[3];
    if (key == "v") {
      if (!ParseFloats(rest, v, 3, 3)) return Fail(error, "bad vertex");
      positions_.push_back({v[0], v[1], v[2]});
    } else if (key == "vt") {
      if (!ParseFloats(rest, v, 2, 1)) return Fail(error, "bad texture coordinate");
      texCoords_.push_back({v[0], v[1]});
    } else if (key == "vn") {
      if (!ParseFloats(rest, v, 3, 3)) return Fail(error, "bad normal");
      normals_.push_back({v[0], v[1], v[2]});
    } else if (key == "f") {
      return Face(rest, error);
    } else if (key == "o" || key == "g") {
      FinishObject();
      pendingName_ = std::string(Trim(rest));
      newGroup_ = true;
    } else if (key == "usemtl") {
      material_ = std::string(Trim(rest));
      newGroup_ = true;
    } else if (key == "mtllib") {
      LoadLibraries(rest);
    }
    return true;  // other statements (s, l, p, ...) do not concern us
  }

  bool Fail(std::string& error, const std::string& what) {
    error = what;
    return false;
  }

  // Resolves a 1-based or negative OBJ index against `count` entries.
  static bool Resolve(std::string_view tok, size_t count, uint32_t& out) {
    long long i;
    if (!ParseInt(tok, i) || i == 0) return false;
    long long index = i > 0 ? i - 1 : static_cast<long long>(count) + i;
    if (index < 0 || index >= static_cast<long long>(count)) return false;
    out = static_cast<uint32_t>(index);
    return true;
  }

  bool Face(std::string_view rest, std::string& error) {
    corners_.clear();
    for (std::string_view tok = NextToken(rest); !tok.empty(); tok = NextToken(rest)) {
      std::array<std::string_view, 3> parts{};
      int part = 0;
      size_t start = 0;
      for (size_t i = 0; i <= tok.size() && part < 3; ++i) {
        if (i == tok.size() || tok[i] == '/') {
          parts[part++] = tok.substr(start, i - start);
          start = i + 1;
        }
      }
      CornerKey key{0, 0, 0};
      if (!Resolve(parts[0], positions_.size(), key.v))
        return Fail(error, "face corner \"" + std::string(tok) + "\" names no vertex");
      uint32_t i;
      if (!parts[1].empty()) {
        if (!Resolve(parts[1], texCoords_.size(), i))
          return Fail(error, "face corner \"" + std::string(tok) + "\" names no texture coordinate");
        key.t = i + 1;
      }
      if (!parts[2].empty()) {
        if (!Resolve(parts[2], normals_.size(), i))
          return Fail(error, "face corner \"" + std::string(tok) + "\" names no normal");
        key.n = i + 1;
      }
      if (corners_.size() == kMaxFaceCorners)
        return Fail(error, "face with more than " + std::to_string(kMaxFaceCorners) + " corners");
      corners_.push_back(Vertex(key));
    }
    if (corners_.size() < 3) return Fail(error, "face with fewer than three corners");

    MeshObject& obj = Current();
    if (newGroup_ || obj.faceGroups.empty()) {
      obj.faceGroups.emplace_back();
      obj.faceGroups.back().materialName = material_;
      newGroup_ = false;
    }
    FaceGroup& group = obj.faceGroups.back();
    cornerPositions_.clear();
    for (uint32_t c : corners_) cornerPositions_.push_back(obj.positions[c]);
    triangles_.clear();
    if (!TriangulatePolygon(cornerPositions_, triangles_, budget_))
      return Fail(error, "faces too complex to cut into triangles");
    triangleCount_ += triangles_.size() / 3;
    if (triangleCount_ > kMaxTriangles)
      return Fail(error, "more than " + std::to_string(kMaxTriangles) + " triangles in one model");
    for (uint32_t k : triangles_) {
      group.indices.push_back(corners_[k]);
      obj.fileTriangles.push_back(corners_[k]);
    }
    return true;
  }

  MeshObject& Current() {
    if (!open_) {
      out_.objects.emplace_back();
      out_.objects.back().name = pendingName_;
      open_ = true;
      anyUV_ = anyNormal_ = false;
      corner_.clear();
    }
    return out_.objects.back();
  }

  // The object's vertex for a corner triple, made on first use.
  uint32_t Vertex(const CornerKey& key) {
    MeshObject& obj = Current();
    auto [it, inserted] = corner_.try_emplace(key, static_cast<uint32_t>(obj.positions.size()));
    if (inserted) {
      obj.positions.push_back(positions_[key.v]);
      if (key.t && !anyUV_) {
        anyUV_ = true;
        obj.texCoords.assign(obj.positions.size() - 1, glm::vec2(0.0f));
      }
      if (anyUV_) obj.texCoords.push_back(key.t ? texCoords_[key.t - 1] : glm::vec2(0.0f));
      if (key.n && !anyNormal_) {
        anyNormal_ = true;
        obj.normals.assign(obj.positions.size() - 1, glm::vec3(0.0f));
      }
      // A zero normal marks a corner the file gave none for; tangent-space
      // building computes it.
      if (anyNormal_) obj.normals.push_back(key.n ? normals_[key.n - 1] : glm::vec3(0.0f));
    }
    return it->second;
  }

  void FinishObject() {
    open_ = false;
    corner_.clear();
  }

  void LoadLibraries(std::string_view rest) {
    // Library names are usually one file; names with blanks are rare but
    // exist, so try the whole rest of the line first.
    std::string whole(Trim(rest));
    std::vector<std::string> names;
    std::string dir = DirectoryOf(fileName_);
    if (!whole.empty() && SceneFileExists(dir + whole)) {
      names.push_back(whole);
    } else {
      for (std::string_view tok = NextToken(rest); !tok.empty(); tok = NextToken(rest)) names.emplace_back(tok);
    }
    for (const std::string& name : names) {
      if (!librariesRead_.insert(name).second) continue;  // read once per model
      std::string text;
      if (!OpenSceneFile(dir + name, text)) {
        KavoLog("Scene: material library " + dir + name + " of " + std::string(fileName_) + " not found");
        continue;
      }
      ParseMTL(text, out_.materials);
    }
  }

  std::string_view fileName_;
  MeshData& out_;
  std::vector<glm::vec3> positions_;
  std::vector<glm::vec2> texCoords_;
  std::vector<glm::vec3> normals_;
  std::vector<uint32_t> corners_;
  std::vector<glm::vec3> cornerPositions_;
  std::vector<uint32_t> triangles_;
  size_t triangleCount_ = 0;
  uint64_t budget_ = kTriangulationBudget;
  std::unordered_set<std::string> librariesRead_;
  std::unordered_map<CornerKey, uint32_t, CornerHash> corner_;
  std::string pendingName_;
  std::string material_;
  bool open_ = false;
  bool newGroup_ = true;
  bool anyUV_ = false;
  bool anyNormal_ = false;
};

}  // namespace

bool LoadOBJ(std::string_view fileName, const std::string& bytes, MeshData& out, std::string& error) {
  MeshData data;
  ObjReader reader(fileName, data);
  if (!reader.Run(bytes, error)) return false;
  out = std::move(data);
  return true;
}

}  // namespace kavo::scene::detail
