// Game files as the engine's loaders see them: a name relative to the data
// folder is resolved to a disk file or an archive entry, and read whole.
#pragma once

#include <string>

#include "script/filemanager.h"

namespace kavo {

class TKavoForm;

// Resolves a game file name (data folder relative, "\" or "/").
TKavoFileLocation ResolveGameFile(TKavoForm& form, const std::string& name);
// Reads a resolved file: the archive entry (opening the archive) or the disk
// file. False when it cannot be read (the error text says why); archive
// failures raise the archive's own errors.
bool ReadGameFile(TKavoForm& form, const TKavoFileLocation& loc, std::string& out, std::string* error);

}  // namespace kavo
