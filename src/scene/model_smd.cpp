// Valve studiomdl (.smd) text reader. A file is "version 1" followed by
// sections, each closed by "end":
//   nodes      `index "name" parent` per bone, indices in order, parents earlier
//   skeleton   `time N` blocks, each followed by `bone px py pz rx ry rz`
//              lines (Euler angles in radians, turned about X, then Y, then
//              Z); every block is one frame, a bone a block leaves out keeps
//              its pose of the block before
//   triangles  a material line (the texture file name), then three vertex
//              lines `parent px py pz nx ny nz u v [links (bone weight)...]`,
//              again and again
// Other sections are skipped. The first time block is the reference pose:
// the triangle vertices are given in model space at that pose. Numbers are
// read exactly (from_chars); a number that is not finite, a line cut short or
// a bone that is not there ends the load with the line's number.
#include "scene/animated_loaders.h"
#include "scene/textscan.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <unordered_map>

namespace kavo::scene::detail {

namespace {

constexpr size_t kMaxBones = 65536;
constexpr size_t kMaxLinks = 64;




bool ToFloat(std::string_view tok, float& out) { return ParseFloat(tok, out) && std::isfinite(out); }

bool ToInt(std::string_view tok, long long& out) {
  if (tok.empty()) return false;
  if (tok.front() == '+') tok.remove_prefix(1);
  auto res = std::from_chars(tok.data(), tok.data() + tok.size(), out);
  return res.ec == std::errc() && res.ptr == tok.data() + tok.size();
}

// Reads `count` finite floats from the rest of a line.
bool Floats(std::string_view& rest, float* out, int count) {
  for (int i = 0; i < count; ++i)
    if (!ToFloat(NextToken(rest), out[i])) return false;
  return true;
}

glm::quat EulerXYZ(float rx, float ry, float rz) {
  // Turned about X first, then Y, then Z: R = Rz * Ry * Rx.
  return glm::angleAxis(rz, glm::vec3(0, 0, 1)) * glm::angleAxis(ry, glm::vec3(0, 1, 0)) *
         glm::angleAxis(rx, glm::vec3(1, 0, 0));
}

// Turns the links of a vertex into at most four weights summing to 1.
VertexSkin MakeSkin(int parent, std::vector<std::pair<int, float>>& links) {
  VertexSkin skin;
  if (links.empty()) {
    skin.bone[0] = parent;
    skin.weight[0] = 1.0f;
    return skin;
  }
  double sum = 0.0;
  for (const auto& l : links) sum += l.second;
  if (sum < 1.0) links.emplace_back(parent, static_cast<float>(1.0 - sum));  // the rest stays with the parent
  else
    for (auto& l : links) l.second = static_cast<float>(l.second / sum);
  // One entry per bone, then the four heaviest.
  std::sort(links.begin(), links.end());
  size_t w = 0;
  for (size_t i = 0; i < links.size(); ++i) {
    if (w > 0 && links[w - 1].first == links[i].first) links[w - 1].second += links[i].second;
    else links[w++] = links[i];
  }
  links.resize(w);
  std::stable_sort(links.begin(), links.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  if (links.size() > 4) links.resize(4);
  float kept = 0.0f;
  for (const auto& l : links) kept += l.second;
  for (size_t i = 0; i < links.size(); ++i) {
    skin.bone[i] = links[i].first;
    skin.weight[i] = kept > 0.0f ? links[i].second / kept : (i == 0 ? 1.0f : 0.0f);
  }
  return skin;
}

}  // namespace

bool ParseSMD(const std::string& bytes, SmdFile& out, std::string& why) {
  enum class Section { None, Nodes, Skeleton, Triangles, Other };
  Section section = Section::None;
  const char* sectionName = "";
  bool sawVersion = false, sawNodes = false;
  size_t lineNo = 0;
  size_t pos = 0;
  auto fail = [&](const std::string& reason) {
    why = "line " + std::to_string(lineNo) + ": " + reason;
    return false;
  };

  out = SmdFile{};
  out.mesh.objects.emplace_back();
  MeshObject& obj = out.mesh.objects.back();
  obj.name = "smd";
  std::unordered_map<std::string, size_t> groupOf;  // material name -> face group
  size_t currentGroup = 0;
  int cornersRead = -1;  // of the triangle being read; -1 before the first material line
  std::vector<std::pair<int, float>> links;

  while (pos < bytes.size()) {
    size_t eol = bytes.find('\n', pos);
    if (eol == std::string::npos) eol = bytes.size();
    std::string_view line = Trim(std::string_view(bytes).substr(pos, eol - pos));
    pos = eol + 1;
    ++lineNo;
    if (line.empty()) continue;
    if (line.find('\0') != std::string_view::npos) return fail("the line holds a zero byte");
    std::string_view rest = line;
    std::string_view first = NextToken(rest);

    if (section == Section::None) {
      if (!sawVersion) {
        long long v = 0;
        if (first != "version" || !ToInt(NextToken(rest), v) || !Trim(rest).empty())
          return fail("expected \"version 1\"");
        if (v != 1) return fail("unknown version " + std::to_string(v));
        sawVersion = true;
        continue;
      }
      if (!rest.empty() && !Trim(rest).empty()) return fail("expected a section name");
      if (first == "nodes") {
        if (sawNodes) return fail("a second \"nodes\" section");
        section = Section::Nodes, sectionName = "nodes", sawNodes = true;
      } else if (first == "skeleton") {
        if (!out.frames.empty()) return fail("a second \"skeleton\" section");
        section = Section::Skeleton, sectionName = "skeleton";
      } else if (first == "triangles") {
        if (out.hasTriangles) return fail("a second \"triangles\" section");
        section = Section::Triangles, sectionName = "triangles";
        out.hasTriangles = true;
      } else if (first == "end") {
        return fail("\"end\" outside a section");
      } else {
        section = Section::Other, sectionName = "other";
      }
      continue;
    }

    if (first == "end" && Trim(rest).empty() && (section != Section::Triangles || cornersRead < 0 || cornersRead == 3)) {
      section = Section::None;
      continue;
    }

    switch (section) {
      case Section::Nodes: {
        long long index = 0, parent = 0;
        if (!ToInt(first, index)) return fail("expected a bone index");
        if (index != static_cast<long long>(out.bones.size())) return fail("bone indices must count up from 0");
        if (out.bones.size() >= kMaxBones) return fail("too many bones");
        rest = Trim(rest);
        if (rest.size() < 2 || rest.front() != '"') return fail("expected a quoted bone name");
        size_t close = rest.find('"', 1);
        if (close == std::string_view::npos) return fail("the bone name has no closing quote");
        std::string name(rest.substr(1, close - 1));
        rest.remove_prefix(close + 1);
        if (!ToInt(NextToken(rest), parent)) return fail("expected the parent bone index");
        if (!Trim(rest).empty()) return fail("unexpected text after the parent index");
        if (parent < -1 || parent >= index) return fail("the parent bone must come before its child");
        out.bones.push_back({std::move(name), static_cast<int>(parent)});
        break;
      }
      case Section::Skeleton: {
        if (first == "time") {
          long long t = 0;
          if (!ToInt(NextToken(rest), t) || !Trim(rest).empty()) return fail("expected \"time N\"");
          if (out.bones.empty()) return fail("a skeleton frame before any bone");
          const size_t floats = (out.frames.size() + 1) * out.bones.size() * 7;
          if (floats > kMaxAnimatedFloats) return fail("too many frames");
          if (out.frames.empty()) {
            out.frames.emplace_back(out.bones.size());
            out.firstGivenIn.assign(out.bones.size(), SIZE_MAX);
          } else {
            out.frames.push_back(out.frames.back());
          }
          break;
        }
        if (out.frames.empty()) return fail("a bone pose before \"time\"");
        long long bone = 0;
        if (!ToInt(first, bone)) return fail("expected \"time N\" or a bone pose");
        if (bone < 0 || bone >= static_cast<long long>(out.bones.size()))
          return fail("unknown bone " + std::to_string(bone));
        float v[6];
        if (!Floats(rest, v, 6)) return fail("expected six finite numbers after the bone index");
        if (!Trim(rest).empty()) return fail("unexpected text after the bone pose");
        BonePose& p = out.frames.back()[static_cast<size_t>(bone)];
        p.position = {v[0], v[1], v[2]};
        p.rotation = EulerXYZ(v[3], v[4], v[5]);
        size_t& given = out.firstGivenIn[static_cast<size_t>(bone)];
        if (given == SIZE_MAX) given = out.frames.size() - 1;
        break;
      }
      case Section::Triangles: {
        if (cornersRead < 0 || cornersRead == 3) {
          // A material line: the whole line names the texture.
          std::string material(line);
          auto it = groupOf.find(material);
          if (it == groupOf.end()) {
            it = groupOf.emplace(material, obj.faceGroups.size()).first;
            obj.faceGroups.push_back({material, {}});
            ModelMaterial m;
            m.name = material;
            m.diffuse = glm::vec4(1.0f);
            m.textureFile = material;
            out.mesh.materials.push_back(std::move(m));
          }
          currentGroup = it->second;
          cornersRead = 0;
          break;
        }
        long long parent = 0;
        if (!ToInt(first, parent)) return fail("expected a vertex line");
        if (parent < 0 || parent >= static_cast<long long>(out.bones.size()))
          return fail("unknown bone " + std::to_string(parent));
        float v[8];
        if (!Floats(rest, v, 8)) return fail("expected eight finite numbers after the parent bone");
        links.clear();
        std::string_view tok = NextToken(rest);
        if (!tok.empty()) {
          long long count = 0;
          if (!ToInt(tok, count) || count < 0) return fail("expected the number of links");
          if (static_cast<unsigned long long>(count) > kMaxLinks) return fail("too many links");
          for (long long i = 0; i < count; ++i) {
            long long bone = 0;
            float weight = 0.0f;
            if (!ToInt(NextToken(rest), bone) || !ToFloat(NextToken(rest), weight))
              return fail("expected " + std::to_string(count) + " links of a bone and a weight");
            if (bone < 0 || bone >= static_cast<long long>(out.bones.size()))
              return fail("unknown bone " + std::to_string(bone));
            if (weight < 0.0f) return fail("a negative weight");
            links.emplace_back(static_cast<int>(bone), weight);
          }
          if (!Trim(rest).empty()) return fail("unexpected text after the links");
        }
        if ((obj.positions.size() + 1) * 8 > kMaxAnimatedFloats) return fail("too many vertices");
        const uint32_t index = static_cast<uint32_t>(obj.positions.size());
        obj.positions.push_back({v[0], v[1], v[2]});
        obj.normals.push_back({v[3], v[4], v[5]});
        obj.texCoords.push_back({v[6], v[7]});
        out.skin.push_back(MakeSkin(static_cast<int>(parent), links));
        obj.faceGroups[currentGroup].indices.push_back(index);
        obj.fileTriangles.push_back(index);
        ++cornersRead;
        break;
      }
      case Section::Other:
      case Section::None:
        break;
    }
  }
  if (!sawVersion) return fail("the file is empty");
  if (section != Section::None)
    return fail(std::string("the file ends inside the \"") + sectionName + "\" section");
  if (out.bones.empty()) return fail("the file names no bones");
  if (out.frames.empty()) return fail("the file has no skeleton frame");
  if (!out.hasTriangles || obj.positions.empty()) {
    out.hasTriangles = false;
    out.mesh = MeshData{};
    out.skin.clear();
  }
  return true;
}

}  // namespace kavo::scene::detail
