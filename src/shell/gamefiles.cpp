#include "shell/gamefiles.h"

#include "platform/files.h"
#include "shell/kavoform.h"

namespace kavo {

TKavoFileLocation ResolveGameFile(TKavoForm& form, const std::string& name) {
  TKavoFileLocation loc;
  if (!Files().SetCurrentDir(form.DataFolder())) return loc;
  std::string p = ToBackslashes(name);
  if (Files().FileExists(p)) loc.ResolvedPath = p;
  return loc;
}

bool ReadGameFile(TKavoForm& form, const TKavoFileLocation& loc, std::string& out, std::string* error) {
  (void)form;
  return Files().ReadFile(loc.ResolvedPath, out, error);
}

}  // namespace kavo
