#include "archive/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "archive/codecs.h"
#include "platform/files.h"
#include "core/errors.h"

namespace kavo {

namespace {

int32_t ReadI32(const unsigned char* p) {
  return static_cast<int32_t>(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                              (uint32_t(p[3]) << 24));
}

void PutI32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string Key(std::string_view name) { return LowerAscii(name); }

}  // namespace

std::string EncodeCompressedEntry(std::string_view plain, TKavoPackMethod method) {
  if (plain.size() > kKavoMaxEntrySize) throw EKavoError("Entry too large to compress");
  std::string out;
  const bool huffman = method == TKavoPackMethod::Huffman;
  PutI32(out, huffman ? kKavoTagHuffman : kKavoTagBlock);
  PutI32(out, static_cast<uint32_t>(plain.size()));
  out += huffman ? EncodeLzhuf(plain) : EncodeBlockMethod(plain);
  return out;
}

std::string DecodeCompressedEntry(std::string_view stored) {
  if (stored.size() < 8) throw EKavoError(kLzrwReadError, kErrUnnumbered);
  const auto* p = reinterpret_cast<const unsigned char*>(stored.data());
  const uint32_t tag = static_cast<uint32_t>(ReadI32(p));
  const int32_t size = ReadI32(p + 4);
  std::string_view data = stored.substr(8);
  if (tag == kKavoTagBlock) {
    if (size < 0) throw EKavoError(kLzrwBlockSizeError, kErrUnnumbered);
    return DecodeBlockMethod(data, static_cast<size_t>(size));
  }
  if (tag == kKavoTagHuffman) {
    if (size < 0) throw EKavoError(kLzrwHuffmanSizeError, kErrUnnumbered);
    return DecodeLzhuf(data, static_cast<size_t>(size));
  }
  throw EKavoError(kLzrwHeaderError, kErrUnnumbered);
}

// ---------------------------------------------------------------------------

struct TKavoArchiveReader::Archive {
  std::string name;  // as opened
  std::string path;  // resolved, the key for reuse
  int fd = -1;
  std::string bytes;  // archives held in memory
  bool inMemory = false;
  uint64_t size = 0;
  bool compressed = false;
  std::vector<TKavoArchiveEntry> entries;
  std::unordered_map<std::string, size_t> index;  // lower-case name -> first entry

  ~Archive() {
    if (fd >= 0) ::close(fd);
  }

  bool ReadAt(uint64_t offset, size_t length, std::string& out) const {
    if (offset > size || length > size - offset) return false;
    if (inMemory) {
      out.assign(bytes, static_cast<size_t>(offset), length);
      return true;
    }
    out.resize(length);
    size_t got = 0;
    while (got < length) {
      ssize_t r = ::pread(fd, out.data() + got, length - got, static_cast<off_t>(offset + got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      got += static_cast<size_t>(r);
    }
    return true;
  }

  // Reads and checks the header and the directory.
  void Load() {
    const EKavoError notPak(name + " - This is not PAK file", kErrUnnumbered);
    std::string header;
    if (size < kKavoHeaderSize || !ReadAt(0, kKavoHeaderSize, header)) throw notPak;
    if (header.compare(0, 4, "KAVO") == 0) {
      compressed = false;
    } else if (header.compare(0, 4, "KAVZ") == 0) {
      compressed = true;
    } else {
      throw notPak;
    }
    const auto* h = reinterpret_cast<const unsigned char*>(header.data());
    const int32_t dirOffset = ReadI32(h + 4);
    const int32_t dirLength = ReadI32(h + 8);
    if (dirOffset < 0 || dirLength < 0) throw notPak;
    const size_t count = static_cast<size_t>(dirLength) / kKavoDirEntrySize;
    if (count == 0) return;
    const size_t bytesNeeded = count * kKavoDirEntrySize;
    std::string dir;
    if (!ReadAt(static_cast<uint64_t>(dirOffset), bytesNeeded, dir)) throw notPak;
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      const auto* e = reinterpret_cast<const unsigned char*>(dir.data()) + i * kKavoDirEntrySize;
      size_t len = 0;
      while (len < kKavoNameSize && e[len] != 0) ++len;
      TKavoArchiveEntry entry;
      entry.Name.assign(reinterpret_cast<const char*>(e), len);
      entry.Offset = ReadI32(e + kKavoNameSize);
      entry.Length = ReadI32(e + kKavoNameSize + 4);
      index.emplace(Key(entry.Name), entries.size());
      entries.push_back(std::move(entry));
    }
  }

  std::optional<size_t> Find(std::string_view entry) const {
    auto it = index.find(Key(entry));
    if (it == index.end()) return std::nullopt;
    return it->second;
  }

  void Get(size_t i, std::string& out) const {
    const TKavoArchiveEntry& e = entries[i];
    // A bad offset or length is a corrupt entry: refuse it before reading.
    if (e.Offset < 0 || e.Length < 0) throw EKavoError(kLzrwReadError, kErrUnnumbered);
    std::string stored;
    if (!ReadAt(static_cast<uint64_t>(e.Offset), static_cast<size_t>(e.Length), stored))
      throw EKavoError(kLzrwReadError, kErrUnnumbered);
    if (!compressed) {
      out = std::move(stored);
      return;
    }
    out = DecodeCompressedEntry(stored);
  }
};

TKavoArchiveReader::TKavoArchiveReader() = default;
TKavoArchiveReader::~TKavoArchiveReader() = default;

void TKavoArchiveReader::Add(std::unique_ptr<Archive> archive) {
  Archive* a = archive.get();
  archives_.push_back(std::move(archive));
  byPath_[a->path] = a;
  current_ = a;
}

void TKavoArchiveReader::Open(const std::string& fileName) {
  std::string path = Files().Absolute(fileName);
  // The same spelling as before needs no trip to the file system.
  if (auto it = byName_.find(path); it != byName_.end()) {
    current_ = it->second;
    return;
  }
  const std::string asked = path;
  {
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf) != nullptr) path = buf;
  }
  if (auto it = byPath_.find(path); it != byPath_.end()) {
    current_ = it->second;
    byName_[asked] = it->second;
    return;
  }
  auto a = std::make_unique<Archive>();
  a->name = fileName;
  a->path = path;
  {
    // A FIFO or device named like an archive is refused at once.
    struct stat pre;
    if (::stat(path.c_str(), &pre) == 0 && !S_ISREG(pre.st_mode))
      throw EKavoError(fileName + " - This is not PAK file", kErrUnnumbered);
  }
  a->fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (a->fd < 0)
    throw EKavoError("Cannot open file \"" + fileName + "\". " + std::strerror(errno), kErrUnnumbered);
  struct stat st;
  if (::fstat(a->fd, &st) != 0 || !S_ISREG(st.st_mode))
    throw EKavoError(fileName + " - This is not PAK file", kErrUnnumbered);
  a->size = static_cast<uint64_t>(st.st_size);
  a->Load();
  byName_[asked] = a.get();
  Add(std::move(a));
}

void TKavoArchiveReader::OpenBytes(const std::string& name, std::string bytes) {
  if (auto it = byPath_.find(name); it != byPath_.end()) {
    current_ = it->second;
    return;
  }
  auto a = std::make_unique<Archive>();
  a->name = name;
  a->path = name;
  a->inMemory = true;
  a->bytes = std::move(bytes);
  a->size = a->bytes.size();
  a->Load();
  Add(std::move(a));
}

std::string TKavoArchiveReader::CurrentName() const { return current_ ? current_->name : std::string(); }
bool TKavoArchiveReader::CurrentIsCompressed() const { return current_ && current_->compressed; }

const std::vector<TKavoArchiveEntry>& TKavoArchiveReader::CurrentEntries() const {
  static const std::vector<TKavoArchiveEntry> none;
  return current_ ? current_->entries : none;
}

bool TKavoArchiveReader::Contains(std::string_view entry) const {
  return current_ && current_->Find(entry).has_value();
}

bool TKavoArchiveReader::GetEntry(std::string_view entry, std::string& out) {
  if (!current_) return false;
  auto i = current_->Find(entry);
  if (!i) return false;
  current_->Get(*i, out);
  return true;
}

void TKavoArchiveReader::GetEntryAt(size_t index, std::string& out) {
  if (!current_ || index >= current_->entries.size()) throw ListIndexError(static_cast<long long>(index));
  current_->Get(index, out);
}

bool TKavoArchiveReader::OpenCurrentEntry(std::string_view name, std::string& out) {
  if (!current_) return false;
  auto i = current_->Find(ToSlashes(name));
  if (!i) return false;
  current_->Get(*i, out);
  return true;
}

bool TKavoArchiveReader::CurrentHasEntry(std::string_view name) const {
  return current_ && current_->Find(ToSlashes(name));
}

// ---------------------------------------------------------------------------

TKavoArchiveWriter::TKavoArchiveWriter(TKavoPackMethod method) : method_(method) {}

TKavoArchiveWriter::~TKavoArchiveWriter() {
  if (file_) std::fclose(file_);
}

bool TKavoArchiveWriter::Write(std::string_view bytes) {
  if (memory_) {
    memory_->append(bytes);
  } else if (!file_ || std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    failed_ = true;
    return false;
  }
  offset_ += bytes.size();
  return true;
}

bool TKavoArchiveWriter::WriteAt(size_t offset, std::string_view bytes) {
  if (memory_) {
    memory_->replace(offset, bytes.size(), bytes);
    return true;
  }
  if (!file_ || std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0 ||
      std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    failed_ = true;
    return false;
  }
  return std::fseek(file_, 0, SEEK_END) == 0;
}

bool TKavoArchiveWriter::Create(const std::string& path, std::string* error) {
  path_ = path;
  // A regular file only: a FIFO or device is refused, never waited on.
  const std::string abs = Files().Absolute(path);
  struct stat st;
  if (::stat(abs.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (error) *error = "Cannot create \"" + path + "\": not a file";
    return false;
  }
  const int fd = ::open(abs.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (error) *error = "Cannot create \"" + path + "\": " + (fd < 0 ? std::strerror(errno) : "not a file");
    if (fd >= 0) ::close(fd);
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    if (error) *error = "Cannot create \"" + path + "\": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  return Write(std::string(kKavoHeaderSize, '\0'));
}

void TKavoArchiveWriter::CreateInMemory(std::string& out) {
  memory_ = &out;
  out.clear();
  Write(std::string(kKavoHeaderSize, '\0'));
}

size_t TKavoArchiveWriter::Add(std::string_view name, std::string_view data) {
  if (name.size() > kKavoNameSize)
    throw EKavoError("Entry name longer than 120 bytes: " + std::string(name));
  if (name.find('\0') != std::string_view::npos) throw EKavoError("Entry name holds a zero byte");
  std::string coded;
  std::string_view stored = data;
  if (method_ != TKavoPackMethod::Stored) {
    coded = EncodeCompressedEntry(data, method_);
    stored = coded;
  }
  if (offset_ + stored.size() > size_t(INT32_MAX)) throw EKavoError("Archive larger than 2 GiB");
  TKavoArchiveEntry e;
  e.Name = std::string(name);
  e.Offset = static_cast<int32_t>(offset_);
  e.Length = static_cast<int32_t>(stored.size());
  Write(stored);
  entries_.push_back(std::move(e));
  return stored.size();
}

bool TKavoArchiveWriter::Finish(std::string* error) {
  const size_t dirOffset = offset_;
  if (dirOffset + entries_.size() * kKavoDirEntrySize > size_t(INT32_MAX)) {
    if (error) *error = "Archive larger than 2 GiB";
    return false;
  }
  std::string dir;
  dir.reserve(entries_.size() * kKavoDirEntrySize);
  for (const TKavoArchiveEntry& e : entries_) {
    std::string rec(kKavoNameSize, '\0');
    std::memcpy(rec.data(), e.Name.data(), e.Name.size());
    PutI32(rec, static_cast<uint32_t>(e.Offset));
    PutI32(rec, static_cast<uint32_t>(e.Length));
    dir += rec;
  }
  Write(dir);
  std::string header(method_ == TKavoPackMethod::Stored ? "KAVO" : "KAVZ");
  PutI32(header, static_cast<uint32_t>(dirOffset));
  PutI32(header, static_cast<uint32_t>(dir.size()));
  header.push_back(static_cast<char>(method_));
  header.append(3, '\0');
  WriteAt(0, header);
  if (file_) {
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
  }
  if (failed_ && error) *error = "Write error on \"" + path_ + "\"";
  return !failed_;
}

std::string BuildKavoArchive(TKavoPackMethod method,
                             const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string out;
  TKavoArchiveWriter w(method);
  w.CreateInMemory(out);
  for (const auto& [name, data] : entries) w.Add(name, data);
  w.Finish();
  return out;
}

}  // namespace kavo
