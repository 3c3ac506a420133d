#pragma once
#include <string>
namespace kavo {
struct TKavoFileLocation {
  std::string ResolvedPath, ArchiveName, ArchiveFolder;
};
}  // namespace kavo
