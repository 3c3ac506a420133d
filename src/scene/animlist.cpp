// ".aaf" animation lists: one animation a line, "name start end [loop|once]"
// with absolute frame numbers (start <= end), "#" to the end of the line is a
// comment. A list is taken whole or not at all.
#include "scene/animatedmesh.h"
#include "scene/textscan.h"

#include <charconv>
#include <climits>

namespace kavo::scene {

namespace {

using detail::IsBlank;
using detail::NextToken;



bool ToFrame(std::string_view tok, int& out) {
  long long v = 0;
  auto res = std::from_chars(tok.data(), tok.data() + tok.size(), v);
  if (tok.empty() || res.ec != std::errc() || res.ptr != tok.data() + tok.size()) return false;
  if (v < 0 || v > INT_MAX) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

bool ParseAnimationList(std::string_view fileName, std::string_view text, std::vector<AnimationRange>& out,
                        std::string& error) {
  std::vector<AnimationRange> list;
  size_t lineNo = 0;
  while (!text.empty()) {
    size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    ++lineNo;
    if (size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    auto fail = [&](const std::string& reason) {
      error = std::string(fileName) + ": line " + std::to_string(lineNo) + ": " + reason;
      return false;
    };
    std::string_view name = NextToken(line);
    if (name.empty()) continue;
    AnimationRange a;
    a.name = std::string(name);
    std::string_view start = NextToken(line), end = NextToken(line), mode = NextToken(line);
    if (start.empty() || end.empty()) return fail("expected \"name start end [loop|once]\"");
    if (!ToFrame(start, a.start)) return fail("bad start frame \"" + std::string(start) + "\"");
    if (!ToFrame(end, a.end)) return fail("bad end frame \"" + std::string(end) + "\"");
    if (a.start > a.end) return fail("the start frame lies after the end frame");
    if (mode == "once") a.loop = false;
    else if (!mode.empty() && mode != "loop") return fail("expected \"loop\" or \"once\", not \"" + std::string(mode) + "\"");
    if (!NextToken(line).empty()) return fail("unexpected text after the animation");
    list.push_back(std::move(a));
  }
  out = std::move(list);
  return true;
}

std::string WriteAnimationList(const std::vector<AnimationRange>& list) {
  std::string s;
  for (const AnimationRange& a : list)
    s += a.name + " " + std::to_string(a.start) + " " + std::to_string(a.end) + (a.loop ? " loop\n" : " once\n");
  return s;
}

}  // namespace kavo::scene
