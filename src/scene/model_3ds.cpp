// 3D Studio (.3ds) reader. A 3DS file is a tree of chunks, each a 16-bit id
// and a 32-bit length that counts its own six header bytes. We walk only the
// chunks we need, always inside the bounds of the parent chunk, so a corrupt
// length or count ends the load with an error instead of a wild read.
//
//   0x4D4D main
//     0x3D3D editor
//       0x4000 object: zero-terminated name, then sub-chunks
//         0x4100 triangle mesh
//           0x4110 vertices: u16 count, count * 3 floats
//           0x4120 faces: u16 count, count * (3 u16 corners + u16 flags), then
//             0x4130 face material group: name, u16 count, count * u16 face
//           0x4140 texture coordinates: u16 count, count * 2 floats
//           0x4160 local axes (ignored: vertices stay as stored)
//       0xAFFF material
//         0xA000 name, 0xA010/0xA020/0xA030 ambient/diffuse/specular colour
//         (0x0010 three floats or 0x0011 three bytes, also 0x0012/0x0013),
//         0xA050 transparency (0x0030 u16 percent or 0x0031 float percent),
//         0xA200 texture map with 0xA300 file name
#include "scene/model_loaders.h"

#include <cstdio>
#include <vector>

namespace kavo::scene::detail {

namespace {

constexpr uint16_t kMain = 0x4D4D;
constexpr uint16_t kEditor = 0x3D3D;
constexpr uint16_t kObject = 0x4000;
constexpr uint16_t kTriMesh = 0x4100;
constexpr uint16_t kVertices = 0x4110;
constexpr uint16_t kFaces = 0x4120;
constexpr uint16_t kFaceMaterial = 0x4130;
constexpr uint16_t kTexCoords = 0x4140;
constexpr uint16_t kMaterial = 0xAFFF;
constexpr uint16_t kMatName = 0xA000;
constexpr uint16_t kMatAmbient = 0xA010;
constexpr uint16_t kMatDiffuse = 0xA020;
constexpr uint16_t kMatSpecular = 0xA030;
constexpr uint16_t kMatTransparency = 0xA050;
constexpr uint16_t kMatTexture = 0xA200;
constexpr uint16_t kMatMapFile = 0xA300;
constexpr uint16_t kColorFloat = 0x0010;
constexpr uint16_t kColor24 = 0x0011;
constexpr uint16_t kColor24Linear = 0x0012;
constexpr uint16_t kColorFloatLinear = 0x0013;
constexpr uint16_t kPercentInt = 0x0030;
constexpr uint16_t kPercentFloat = 0x0031;

struct Chunk {
  uint16_t id = 0;
  size_t begin = 0;  // first byte after the header
  size_t end = 0;    // one past the last byte
};

std::string Hex(uint16_t id) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%04X", id);
  return buf;
}

class Reader3DS {
 public:
  Reader3DS(const std::string& bytes, MeshData& out)
      : data_(reinterpret_cast<const uint8_t*>(bytes.data())), size_(bytes.size()), out_(out) {}

  bool Run(std::string& error) {
    if (size_ < 6) return Fail(error, "file too small for a 3DS file");
    Chunk main;
    if (!ReadHeader(0, size_, main, error)) return false;
    if (main.id != kMain) return Fail(error, "not a 3DS file (main chunk missing)");
    return ForEachChild(main, error, [&](const Chunk& c) {
      return c.id == kEditor ? ReadEditor(c, error) : true;
    });
  }

 private:
  bool Fail(std::string& error, const std::string& what) {
    error = "3DS: " + what;
    return false;
  }

  // Reads the chunk header at `pos`; the chunk must lie inside [pos, parentEnd).
  bool ReadHeader(size_t pos, size_t parentEnd, Chunk& c, std::string& error) {
    ByteReader r(data_, pos, parentEnd);
    c.id = r.U16();
    uint32_t length = r.U32();
    if (r.Failed()) return Fail(error, "truncated chunk header at offset " + std::to_string(pos));
    if (length < 6 || length > parentEnd - pos)
      return Fail(error, "chunk " + Hex(c.id) + " at offset " + std::to_string(pos) +
                             " has a bad length (" + std::to_string(length) + ")");
    c.begin = pos + 6;
    c.end = pos + length;
    return true;
  }

  template <typename F>
  bool ForEachChildFrom(size_t pos, size_t end, std::string& error, F&& visit) {
    while (pos < end) {
      // A few exporters pad chunks; fewer than six bytes cannot hold a chunk.
      if (end - pos < 6) break;
      Chunk c;
      if (!ReadHeader(pos, end, c, error)) return false;
      if (!visit(c)) return false;
      pos = c.end;
    }
    return true;
  }
  template <typename F>
  bool ForEachChild(const Chunk& parent, std::string& error, F&& visit) {
    return ForEachChildFrom(parent.begin, parent.end, error, visit);
  }

  bool ReadEditor(const Chunk& editor, std::string& error) {
    return ForEachChild(editor, error, [&](const Chunk& c) {
      if (c.id == kObject) return ReadObject(c, error);
      if (c.id == kMaterial) return ReadMaterial(c, error);
      return true;
    });
  }

  bool ReadObject(const Chunk& object, std::string& error) {
    ByteReader r(data_, object.begin, object.end);
    std::string name;
    if (!r.CString(name)) return Fail(error, "object name is not terminated");
    return ForEachChildFrom(r.Pos(), object.end, error, [&](const Chunk& c) {
      return c.id == kTriMesh ? ReadTriMesh(c, name, error) : true;
    });
  }

  bool ReadTriMesh(const Chunk& mesh, const std::string& name, std::string& error) {
    MeshObject obj;
    obj.name = name;
    struct Group {
      std::string material;
      std::vector<uint16_t> faces;
    };
    std::vector<Group> groups;
    std::vector<uint16_t> corners;  // 3 per face
    bool haveFaces = false;
    std::vector<glm::vec2> uvs;
    bool haveUVs = false;

    bool ok = ForEachChild(mesh, error, [&](const Chunk& c) {
      ByteReader r(data_, c.begin, c.end);
      switch (c.id) {
        case kVertices: {
          uint16_t n = r.U16();
          if (r.Failed() || !r.Has(size_t(n) * 12))
            return Fail(error, "vertex count " + std::to_string(n) + " of object \"" + name +
                                   "\" runs past its chunk");
          obj.positions.resize(n);
          for (auto& p : obj.positions) p = {r.F32(), r.F32(), r.F32()};
          return true;
        }
        case kFaces: {
          uint16_t n = r.U16();
          if (r.Failed() || !r.Has(size_t(n) * 8))
            return Fail(error, "face count " + std::to_string(n) + " of object \"" + name +
                                   "\" runs past its chunk");
          // A later face list replaces an earlier one, and its groups with
          // it: they name faces of the list they belong to.
          groups.clear();
          corners.resize(size_t(n) * 3);
          for (uint16_t i = 0; i < n; ++i) {
            corners[i * 3 + 0] = r.U16();
            corners[i * 3 + 1] = r.U16();
            corners[i * 3 + 2] = r.U16();
            r.U16();  // edge visibility flags
          }
          haveFaces = true;
          return ForEachChildFrom(r.Pos(), c.end, error, [&](const Chunk& sub) {
            if (sub.id != kFaceMaterial) return true;
            ByteReader g(data_, sub.begin, sub.end);
            Group group;
            if (!g.CString(group.material)) return Fail(error, "face group name is not terminated");
            uint16_t count = g.U16();
            if (g.Failed() || !g.Has(size_t(count) * 2))
              return Fail(error, "face group \"" + group.material + "\" of object \"" + name +
                                     "\" lists more faces than its chunk holds");
            group.faces.resize(count);
            for (auto& f : group.faces) {
              f = g.U16();
              if (f >= n)
                return Fail(error, "face group \"" + group.material + "\" of object \"" + name +
                                       "\" names face " + std::to_string(f) + " of " + std::to_string(n));
            }
            groups.push_back(std::move(group));
            return true;
          });
        }
        case kTexCoords: {
          uint16_t n = r.U16();
          if (r.Failed() || !r.Has(size_t(n) * 8))
            return Fail(error, "texture coordinate count " + std::to_string(n) + " of object \"" + name +
                                   "\" runs past its chunk");
          uvs.resize(n);
          for (auto& uv : uvs) uv = {r.F32(), r.F32()};
          haveUVs = true;
          return true;
        }
        default:
          return true;
      }
    });
    if (!ok) return false;

    const size_t vertexCount = obj.positions.size();
    for (uint16_t index : corners)
      if (index >= vertexCount)
        return Fail(error, "a face of object \"" + name + "\" names vertex " + std::to_string(index) + " of " +
                               std::to_string(vertexCount));
    if (haveUVs) {
      // Some exporters write fewer or more coordinates than vertices; the
      // missing ones are zero.
      uvs.resize(vertexCount, glm::vec2(0.0f));
      obj.texCoords = std::move(uvs);
    }

    obj.fileTriangles.assign(corners.begin(), corners.end());
    if (haveFaces) {
      const size_t faceCount = corners.size() / 3;
      std::vector<bool> grouped(faceCount, false);
      for (const Group& g : groups) {
        FaceGroup fg;
        fg.materialName = g.material;
        fg.indices.reserve(g.faces.size() * 3);
        for (uint16_t f : g.faces) {
          grouped[f] = true;
          fg.indices.insert(fg.indices.end(), corners.begin() + f * 3, corners.begin() + f * 3 + 3);
        }
        obj.faceGroups.push_back(std::move(fg));
      }
      FaceGroup rest;
      for (size_t f = 0; f < faceCount; ++f)
        if (!grouped[f]) rest.indices.insert(rest.indices.end(), corners.begin() + f * 3, corners.begin() + f * 3 + 3);
      if (!rest.indices.empty()) obj.faceGroups.push_back(std::move(rest));
    }
    out_.objects.push_back(std::move(obj));
    return true;
  }

  // A colour chunk's value: the first colour sub-chunk found.
  bool ReadColor(const Chunk& c, glm::vec4& colour, std::string& error) {
    bool got = false;
    return ForEachChild(c, error, [&](const Chunk& sub) {
      if (got) return true;
      ByteReader r(data_, sub.begin, sub.end);
      if (sub.id == kColorFloat || sub.id == kColorFloatLinear) {
        float rgb[3] = {r.F32(), r.F32(), r.F32()};
        if (r.Failed()) return Fail(error, "truncated colour");
        colour = {rgb[0], rgb[1], rgb[2], colour.a};
        got = true;
      } else if (sub.id == kColor24 || sub.id == kColor24Linear) {
        uint8_t rgb[3] = {r.U8(), r.U8(), r.U8()};
        if (r.Failed()) return Fail(error, "truncated colour");
        colour = {rgb[0] / 255.0f, rgb[1] / 255.0f, rgb[2] / 255.0f, colour.a};
        got = true;
      }
      return true;
    });
  }

  bool ReadMaterial(const Chunk& material, std::string& error) {
    ModelMaterial m;
    bool ok = ForEachChild(material, error, [&](const Chunk& c) {
      ByteReader r(data_, c.begin, c.end);
      switch (c.id) {
        case kMatName:
          if (!r.CString(m.name)) return Fail(error, "material name is not terminated");
          return true;
        case kMatAmbient:
          return ReadColor(c, m.ambient, error);
        case kMatDiffuse:
          return ReadColor(c, m.diffuse, error);
        case kMatSpecular:
          return ReadColor(c, m.specular, error);
        case kMatTransparency:
          return ForEachChild(c, error, [&](const Chunk& sub) {
            ByteReader p(data_, sub.begin, sub.end);
            float percent = -1.0f;
            if (sub.id == kPercentInt) percent = float(p.U16());
            else if (sub.id == kPercentFloat) percent = p.F32();
            else return true;
            if (p.Failed()) return Fail(error, "truncated transparency");
            if (percent >= 0.0f && percent <= 100.0f) m.opacity = 1.0f - percent / 100.0f;
            return true;
          });
        case kMatTexture:
          return ForEachChild(c, error, [&](const Chunk& sub) {
            if (sub.id != kMatMapFile) return true;
            ByteReader t(data_, sub.begin, sub.end);
            if (!t.CString(m.textureFile)) return Fail(error, "texture file name is not terminated");
            return true;
          });
        default:
          return true;
      }
    });
    if (!ok) return false;
    for (glm::vec4* c : {&m.ambient, &m.diffuse, &m.specular}) c->a = m.opacity;
    out_.materials.push_back(std::move(m));
    return true;
  }

  const uint8_t* data_;
  size_t size_;
  MeshData& out_;
};

}  // namespace

bool Load3DS(const std::string& bytes, MeshData& out, std::string& error) {
  MeshData data;
  Reader3DS reader(bytes, data);
  if (!reader.Run(error)) return false;
  out = std::move(data);
  return true;
}

}  // namespace kavo::scene::detail
