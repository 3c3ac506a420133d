#include "archive/pack.h"

#include <algorithm>
#include <filesystem>

#include "archive/scriptpack.h"
#include "platform/files.h"
#include "archive/cipher.h"
#include "core/errors.h"

namespace kavo {

namespace fs = std::filesystem;

bool IsScriptName(const std::string& name, const TKavoPackOptions& options) {
  const std::string n = LowerAscii(name);
  for (const std::string& ext : options.ScriptExtensions) {
    const std::string e = LowerAscii(ext);
    if (!e.empty() && n.size() >= e.size() && n.compare(n.size() - e.size(), e.size(), e) == 0) return true;
  }
  return false;
}

TKavoPackSummary PackFolder(const std::string& folder, const std::string& archivePath,
                            const TKavoPackOptions& options, const TKavoPackProgress& progress,
                            const TKavoPackNote& note) {
  std::error_code ec;
  const fs::path root = fs::absolute(Files().Absolute(folder));
  if (!fs::is_directory(root, ec)) throw EKavoError(folder + " is not a folder");
  const fs::path outPath = fs::absolute(Files().Absolute(archivePath));
  std::vector<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    if (fs::equivalent(it->path(), outPath, ec)) continue;  // an older archive of our own inside
    files.push_back(it->path());
  }
  if (ec) throw EKavoError("Cannot read " + folder + ": " + ec.message());
  std::sort(files.begin(), files.end());

  TKavoArchiveWriter writer(options.Method);
  std::string error;
  if (!writer.Create(outPath.string(), &error)) throw EKavoError(error);
  TKavoPackSummary sum;
  size_t lastReport = 0;
  try {
    for (const fs::path& f : files) {
      std::string name = f.lexically_relative(root).generic_string();
      if (!options.Slash) name = ToBackslashes(name);
      std::string data;
      if (!Files().ReadFile(f.string(), data, &error)) throw EKavoError(error);
      sum.BytesIn += data.size();
      if (IsScriptName(name, options)) {
        size_t indented = 0;
        data = EncipherScriptForArchive(data, f.lexically_relative(root).string(), &indented);
        if (indented && note)
          note(f.lexically_relative(root).string() + ": " + std::to_string(indented) +
               " line(s) indented to keep their cipher free of line breaks");
        sum.IndentedLines += indented;
      }
      writer.Add(name, data);
      ++sum.Entries;
      if (progress && (sum.Entries % 100 == 0 || sum.BytesIn - lastReport >= (size_t(8) << 20))) {
        lastReport = sum.BytesIn;
        progress(sum.Entries, files.size(), sum.BytesIn);
      }
    }
  } catch (const EKavoError&) {
    writer.Finish();
    fs::remove(outPath, ec);
    throw;
  }
  if (!writer.Finish(&error)) {
    fs::remove(outPath, ec);
    throw EKavoError(error);
  }
  sum.BytesOut = writer.BytesWritten();
  return sum;
}

namespace {
bool SafeEntryPath(const std::string& name) {
  const std::string n = ToSlashes(name);
  if (n.empty() || n[0] == '/' || n.find(':') != std::string::npos) return false;
  for (const auto& part : fs::path(n))
    if (part == "..") return false;
  return true;
}
}  // namespace

std::vector<std::string> ExtractArchive(const std::string& archivePath, const std::string& dir,
                                        const TKavoPackOptions& options) {
  std::vector<std::string> problems;
  TKavoArchiveReader reader;
  reader.Open(archivePath);
  const fs::path target = fs::absolute(Files().Absolute(dir));
  const auto& entries = reader.CurrentEntries();
  // Entries that share stored bytes are a crafted archive (the writer never
  // makes them): one compressed run extracted many times could fill a disk.
  {
    std::vector<size_t> order;
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i].Offset >= 0 && entries[i].Length > 0) order.push_back(i);
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return entries[a].Offset < entries[b].Offset; });
    for (size_t k = 1; k < order.size(); ++k) {
      const TKavoArchiveEntry& a = entries[order[k - 1]];
      const TKavoArchiveEntry& b = entries[order[k]];
      if (int64_t(a.Offset) + a.Length > b.Offset) {
        problems.push_back(a.Name + " and " + b.Name + " overlap: the archive is refused");
        return problems;
      }
    }
  }
  // No archive the codecs write unpacks to more than this many times its size.
  const long long archiveSize = Files().FileSize(archivePath);
  const uint64_t budget = static_cast<uint64_t>(archiveSize > 0 ? archiveSize : 0) * kMaxPackRatio;
  uint64_t written = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = entries[i].Name;
    if (!SafeEntryPath(name)) {
      problems.push_back(name + ": skipped, the name leaves the target folder");
      continue;
    }
    std::string data;
    try {
      reader.GetEntryAt(i, data);
    } catch (const EKavoError& e) {
      problems.push_back(name + ": " + e.Message());
      continue;
    }
    if (IsScriptName(name, options)) data = DecipherScript(data);
    written += data.size();
    if (written > budget) {
      problems.push_back(name + ": stopped, the archive would unpack to more than " + std::to_string(kMaxPackRatio) +
                         " times its size");
      return problems;
    }
    const fs::path path = target / ToSlashes(name);
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (!Files().WriteFile(path.string(), data)) problems.push_back(name + ": cannot write " + path.string());
  }
  return problems;
}

std::vector<std::string> VerifyArchive(const std::string& archivePath, const TKavoPackOptions& options,
                                       size_t* entryCount, size_t* byteCount) {
  std::vector<std::string> faults;
  TKavoArchiveReader reader;
  reader.Open(archivePath);
  const auto& entries = reader.CurrentEntries();
  size_t bytes = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    std::string data;
    try {
      reader.GetEntryAt(i, data);
    } catch (const EKavoError& e) {
      faults.push_back(entries[i].Name + ": " + e.Message());
      continue;
    }
    bytes += data.size();
    if (IsScriptName(entries[i].Name, options)) {
      for (std::string& p : CheckEncipheredScript(data, entries[i].Name, options.RequireUtf8))
        faults.push_back(std::move(p));
    }
  }
  if (entryCount) *entryCount = entries.size();
  if (byteCount) *byteCount = bytes;
  return faults;
}

}  // namespace kavo
