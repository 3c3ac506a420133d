// Whole-archive jobs of the archive tool: packing a folder, extracting and
// verifying an archive. Kept in the library so tests can make and check
// archives the way the tool does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive.h"

namespace kavo {

struct TKavoPackOptions {
  TKavoPackMethod Method = TKavoPackMethod::Block;
  // Files stored line-enciphered, as the engine loads them as scripts.
  std::vector<std::string> ScriptExtensions = {".lua", ".txt"};
  // Store "/" between folders instead of "\" (the scene layer's lookups use
  // "/", the engine's own "\").
  bool Slash = false;
  // Scripts must decipher to UTF-8 when verifying.
  bool RequireUtf8 = true;
};

struct TKavoPackSummary {
  size_t Entries = 0;
  size_t BytesIn = 0;   // file bytes read (plain)
  size_t BytesOut = 0;  // size of the archive file
  size_t IndentedLines = 0;
};

// Called now and then while packing: files done, files in all, bytes read.
using TKavoPackProgress = std::function<void(size_t done, size_t total, size_t bytesIn)>;
// Called for notes worth telling the user (a script with indented lines).
using TKavoPackNote = std::function<void(const std::string& text)>;

bool IsScriptName(const std::string& name, const TKavoPackOptions& options);

// Packs every regular file below `folder` (names relative to it, sorted) into
// `archivePath`. Raises EKavoError naming the file (and line, for scripts
// that cannot be stored) on failure; a failed archive file is removed.
TKavoPackSummary PackFolder(const std::string& folder, const std::string& archivePath,
                            const TKavoPackOptions& options, const TKavoPackProgress& progress = nullptr,
                            const TKavoPackNote& note = nullptr);

// The most an archive written by the codecs unpacks to, per byte of the
// archive (the block method reaches about 900 on runs of zeros).
constexpr uint64_t kMaxPackRatio = 1024;

// Writes every entry of an archive below `dir`, deciphering scripts. Names
// that would leave `dir` are skipped; an archive whose entries overlap is
// refused, and the extraction stops before it writes more than
// kMaxPackRatio times the archive's size. Returns the problems met (empty:
// all done).
std::vector<std::string> ExtractArchive(const std::string& archivePath, const std::string& dir,
                                        const TKavoPackOptions& options);

// Decodes every entry and checks every script line. Returns the faults.
std::vector<std::string> VerifyArchive(const std::string& archivePath, const TKavoPackOptions& options,
                                       size_t* entries = nullptr, size_t* bytes = nullptr);

}  // namespace kavo
