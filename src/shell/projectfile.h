// Project files (".kavogame"): leading lines starting with "--" are
// comments; the first other line names the data root, with "<KavoCore>"
// (the executable's folder) and "<ThisFile>" (the project file's folder)
// replaced, matched without regard to case.
#pragma once

#include <string>
#include <string_view>

namespace kavo {

// The data root the project text names, with "/" separators and a final
// "/". Raises the list-index error when the text names none.
std::string ProjectDataRoot(std::string_view text, const std::string& kavoCore, const std::string& thisFolder);

}  // namespace kavo
