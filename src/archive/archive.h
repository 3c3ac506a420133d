// ".kvo" archives: a 16-byte header ("KAVO" for stored entries, "KAVZ" for
// compressed ones, then the directory's offset and length), the entries' data
// and a directory of 128-byte records (a 120-byte name ended by the first
// zero byte, then the data offset and the stored length). All numbers are
// little-endian signed 32-bit.
//
// The reader keeps one open file per archive for the whole run and hands out
// entries as bytes, decoding compressed ones. Every offset, length and size
// read from an archive is checked against the file's real size before it is
// used, so a corrupt archive gives an error, never a wild read or a huge
// allocation.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kavo {

inline constexpr size_t kKavoHeaderSize = 16;
inline constexpr size_t kKavoDirEntrySize = 128;
inline constexpr size_t kKavoNameSize = 120;

enum class TKavoPackMethod : uint8_t { Stored = 0, Block = 1, Huffman = 2 };

// A compressed entry: method tag, uncompressed size, method data.
std::string EncodeCompressedEntry(std::string_view plain, TKavoPackMethod method);
// Decodes a compressed entry; raises EKavoError on corrupt data.
std::string DecodeCompressedEntry(std::string_view stored);

struct TKavoArchiveEntry {
  std::string Name;
  int32_t Offset = 0;
  int32_t Length = 0;
};

class TKavoArchiveReader {
 public:
  TKavoArchiveReader();
  ~TKavoArchiveReader();
  TKavoArchiveReader(const TKavoArchiveReader&) = delete;
  TKavoArchiveReader& operator=(const TKavoArchiveReader&) = delete;

  // Opens an archive (a name relative to the file layer's current directory,
  // or absolute) and makes it the current one. An archive already open under
  // the same path is not opened again, only made current. Raises EKavoError
  // with name + " - This is not PAK file" for anything that is not a sound
  // archive header and directory, and for an empty file.
  void Open(const std::string& fileName);
  // The same for an archive held in memory (tests and tools); `name` stands
  // for its path.
  void OpenBytes(const std::string& name, std::string bytes);

  bool HasCurrent() const { return current_ != nullptr; }
  // No archive is current any more (a loose file is loading: nothing of an
  // archive opened earlier may stand in for the files beside it).
  void ForgetCurrent() { current_ = nullptr; }
  // File name the current archive was opened with ("" when none is open).
  std::string CurrentName() const;
  bool CurrentIsCompressed() const;
  size_t ArchiveCount() const { return archives_.size(); }
  // Directory of the current archive in directory order.
  const std::vector<TKavoArchiveEntry>& CurrentEntries() const;

  // Whether the current archive holds the entry (compared without regard to
  // letter case, separators as stored).
  bool Contains(std::string_view entry) const;
  // Reads an entry of the current archive into `out`. Returns false when the
  // archive has no such entry; raises EKavoError when it is corrupt (a bad
  // offset or length, or compressed data that does not decode to its size).
  // Decoding runs to the end in one go: no other engine events run meanwhile.
  bool GetEntry(std::string_view entry, std::string& out);
  // Reads the entry at a directory index of the current archive.
  void GetEntryAt(size_t index, std::string& out);

  // The current archive's entry by name ("\\" turned into "/", case
  // ignored); only the current archive is consulted, never older ones.
  // False when it has no such entry; raises EKavoError for a corrupt one.
  bool OpenCurrentEntry(std::string_view name, std::string& out);
  bool CurrentHasEntry(std::string_view name) const;

 private:
  struct Archive;
  void Add(std::unique_ptr<Archive> archive);
  std::vector<std::unique_ptr<Archive>> archives_;
  std::unordered_map<std::string, Archive*> byPath_;  // by resolved path
  std::unordered_map<std::string, Archive*> byName_;  // by absolute path as asked
  Archive* current_ = nullptr;
};

// Writes an archive to a file as entries are added. Entries are coded with
// the archive's method as they come; the directory follows the data.
class TKavoArchiveWriter {
 public:
  explicit TKavoArchiveWriter(TKavoPackMethod method);
  ~TKavoArchiveWriter();
  TKavoArchiveWriter(const TKavoArchiveWriter&) = delete;
  TKavoArchiveWriter& operator=(const TKavoArchiveWriter&) = delete;

  // Starts the archive file. Returns false (with a reason) when it cannot be created.
  bool Create(const std::string& path, std::string* error = nullptr);
  // Starts an archive that is built in `out` instead of a file.
  void CreateInMemory(std::string& out);
  // Adds one entry; returns the number of bytes stored for it. Raises
  // EKavoError for a name longer than 120 bytes or an archive past 2 GiB.
  size_t Add(std::string_view name, std::string_view data);
  // Writes the directory and the header. Returns false on a write error.
  bool Finish(std::string* error = nullptr);
  size_t BytesWritten() const { return offset_; }

 private:
  TKavoPackMethod method_;
  bool Write(std::string_view bytes);
  bool WriteAt(size_t offset, std::string_view bytes);
  std::FILE* file_ = nullptr;
  std::string* memory_ = nullptr;
  std::string path_;
  size_t offset_ = 0;
  std::vector<TKavoArchiveEntry> entries_;
  bool failed_ = false;
};

// A whole archive as bytes (fixtures and tests).
std::string BuildKavoArchive(TKavoPackMethod method,
                             const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace kavo
