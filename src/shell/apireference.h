// The script API reference: every registered class with its properties
// (type, read or write) and methods (with what they take), written from the
// class tables as Markdown. `kavo --api-reference` prints it; docs/api.md
// is its committed copy.
#pragma once

#include <string>

namespace kavo {

std::string ApiReference();

}  // namespace kavo
