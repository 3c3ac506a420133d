#include "shell/projectfile.h"

#include <vector>

#include "core/errors.h"
#include "core/strings.h"

namespace kavo {

namespace {

std::string ReplaceAllIgnoringCase(const std::string& s, const std::string& token, const std::string& with) {
  const std::string lower = LowerAscii(s), ltoken = LowerAscii(token);
  std::string out;
  size_t pos = 0;
  while (true) {
    const size_t hit = lower.find(ltoken, pos);
    if (hit == std::string::npos) break;
    out += s.substr(pos, hit - pos) + with;
    pos = hit + token.size();
  }
  return out + s.substr(pos);
}

}  // namespace

std::string ProjectDataRoot(std::string_view text, const std::string& kavoCore, const std::string& thisFolder) {
  const std::vector<std::string_view> lines = SplitLines(text);
  size_t first = 0;
  while (first < lines.size() && lines[first].substr(0, 2) == "--") ++first;
  if (first >= lines.size()) throw ListIndexError(static_cast<long long>(first));
  std::string root(lines[first]);
  root = ReplaceAllIgnoringCase(root, "<KavoCore>", kavoCore);
  root = ReplaceAllIgnoringCase(root, "<ThisFile>", thisFolder);
  return ToSlashes(root) + "/";
}

}  // namespace kavo
