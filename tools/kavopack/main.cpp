// kavopack: packs a folder into a ".kvo" archive, lists, extracts and
// verifies archives.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/scriptpack.h"
#include "platform/files.h"
#include "script/cipher.h"
#include "shell/errors.h"

namespace fs = std::filesystem;
using namespace kavo;

namespace {

const char* kHelp =
    "usage:\n"
    "  kavopack pack FOLDER OUT.kvo [--stored|--block|--huffman] [--script-ext .lua,.txt] [--slash]\n"
    "  kavopack list ARCHIVE\n"
    "  kavopack extract ARCHIVE DIR [--script-ext .lua,.txt]\n"
    "  kavopack verify ARCHIVE [--script-ext .lua,.txt] [--any-bytes]\n"
    "\n"
    "pack       stores every file below FOLDER, named by its path relative to FOLDER.\n"
    "           --stored writes a \"KAVO\" archive (entries as they are); --block (the\n"
    "           default) and --huffman write a \"KAVZ\" archive compressed with the\n"
    "           block method (fast) or LZHUF (smaller, slower to read).\n"
    "           Files with a script extension (default .lua and .txt) are stored\n"
    "           line-enciphered as the engine expects; a line whose cipher would hold\n"
    "           a line break gets added indentation, and packing stops with the file\n"
    "           and line where that cannot help.\n"
    "--slash    store \"/\" between folders in entry names instead of \"\\\". The engine's\n"
    "           own loaders (scripts, rooms, sounds, ...) look entries up with \"\\\";\n"
    "           the scene layer (model files and the textures they name, fonts) looks\n"
    "           them up with \"/\". Entries at the top of the archive are found by both,\n"
    "           entries in sub-folders only by the lookup matching their separator.\n"
    "list       prints every entry with its stored and uncompressed size.\n"
    "extract    writes every entry below DIR, deciphering scripts.\n"
    "verify     decodes every entry and checks every script line deciphers cleanly\n"
    "           (no control bytes; valid UTF-8 unless --any-bytes, for scripts in an\n"
    "           8-bit code page); exits with status 1 on any fault.\n";

struct Options {
  std::vector<std::string> args;
  TKavoPackMethod method = TKavoPackMethod::Block;
  std::vector<std::string> scriptExts = {".lua", ".txt"};
  bool slash = false;
  bool anyBytes = false;
};

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--stored") o.method = TKavoPackMethod::Stored;
    else if (a == "--block") o.method = TKavoPackMethod::Block;
    else if (a == "--huffman") o.method = TKavoPackMethod::Huffman;
    else if (a == "--slash") o.slash = true;
    else if (a == "--any-bytes") o.anyBytes = true;
    else if (a == "--script-ext") {
      if (++i >= argc) {
        std::fprintf(stderr, "kavopack: --script-ext needs a list such as .lua,.txt\n");
        return false;
      }
      o.scriptExts.clear();
      std::string list = argv[i];
      size_t pos = 0;
      while (pos <= list.size()) {
        size_t comma = list.find(',', pos);
        std::string e = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (!e.empty()) o.scriptExts.push_back(LowerAscii(e[0] == '.' ? e : "." + e));
        if (comma == std::string::npos) break;
        pos = comma + 1;
      }
    } else if (a.rfind("--", 0) == 0) {
      std::fprintf(stderr, "kavopack: unknown option %s\n", a.c_str());
      return false;
    } else {
      o.args.push_back(a);
    }
  }
  return true;
}

bool IsScript(const std::string& name, const Options& o) {
  const std::string n = LowerAscii(name);
  for (const std::string& e : o.scriptExts)
    if (n.size() >= e.size() && n.compare(n.size() - e.size(), e.size(), e) == 0) return true;
  return false;
}

std::string Ratio(size_t in, size_t out) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f%%", in ? 100.0 * double(out) / double(in) : 100.0);
  return buf;
}

int Pack(const Options& o) {
  if (o.args.size() != 2) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  const fs::path folder = o.args[0];
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    std::fprintf(stderr, "kavopack: %s is not a folder\n", folder.c_str());
    return 1;
  }
  const fs::path outPath = fs::absolute(o.args[1]);
  std::vector<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    if (fs::equivalent(it->path(), outPath, ec)) continue;
    files.push_back(it->path());
  }
  if (ec) {
    std::fprintf(stderr, "kavopack: cannot read %s: %s\n", folder.c_str(), ec.message().c_str());
    return 1;
  }
  std::sort(files.begin(), files.end());

  TKavoArchiveWriter writer(o.method);
  std::string error;
  if (!writer.Create(outPath.string(), &error)) {
    std::fprintf(stderr, "kavopack: %s\n", error.c_str());
    return 1;
  }
  size_t bytesIn = 0, bytesOut = 0, reindented = 0, done = 0, lastReport = 0;
  try {
    for (const fs::path& f : files) {
      std::string name = f.lexically_relative(folder).generic_string();
      if (!o.slash) name = ToBackslashes(name);
      std::string data;
      if (!Files().ReadFile(fs::absolute(f).string(), data, &error)) throw EKavoError(error);
      bytesIn += data.size();
      if (IsScript(name, o)) {
        size_t n = 0;
        data = EncipherScriptForArchive(data, f.string(), &n);
        if (n) std::fprintf(stderr, "kavopack: %s: %zu line(s) indented to keep their cipher free of line breaks\n",
                            f.c_str(), n);
        reindented += n;
      }
      bytesOut += writer.Add(name, data);
      ++done;
      if (done % 100 == 0 || bytesIn - lastReport >= (size_t(8) << 20)) {
        lastReport = bytesIn;
        std::fprintf(stderr, "kavopack: %zu/%zu files, %zu bytes read\n", done, files.size(), bytesIn);
      }
    }
  } catch (const EKavoError& e) {
    std::fprintf(stderr, "kavopack: %s\n", e.what());
    writer.Finish();
    fs::remove(outPath, ec);
    return 1;
  }
  if (!writer.Finish(&error)) {
    std::fprintf(stderr, "kavopack: %s\n", error.c_str());
    return 1;
  }
  std::printf("%zu entries, %zu bytes in, %zu bytes out, ratio %s (entry data %zu bytes, %zu script line(s) indented)\n",
              files.size(), bytesIn, writer.BytesWritten(), Ratio(bytesIn, writer.BytesWritten()).c_str(), bytesOut,
              reindented);
  return 0;
}

bool OpenArchive(TKavoArchiveReader& reader, const std::string& path) {
  try {
    reader.Open(fs::absolute(path).string());
    return true;
  } catch (const EKavoError& e) {
    std::fprintf(stderr, "kavopack: %s\n", e.what());
    return false;
  }
}

int List(const Options& o) {
  if (o.args.size() != 1) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  TKavoArchiveReader reader;
  if (!OpenArchive(reader, o.args[0])) return 1;
  const auto& entries = reader.CurrentEntries();
  int status = 0;
  size_t in = 0, stored = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    std::string out;
    std::string size;
    try {
      reader.GetEntryAt(i, out);
      size = std::to_string(out.size());
      in += out.size();
    } catch (const EKavoError& e) {
      size = "corrupt";
      status = 1;
    }
    stored += static_cast<size_t>(std::max(0, entries[i].Length));
    std::printf("%10d %10s  %s\n", entries[i].Length, size.c_str(), entries[i].Name.c_str());
  }
  std::printf("%zu entries (%s), %zu bytes stored, %zu bytes uncompressed\n", entries.size(),
              reader.CurrentIsCompressed() ? "KAVZ" : "KAVO", stored, in);
  return status;
}

bool SafeEntryPath(const std::string& name) {
  const std::string n = ToSlashes(name);
  if (n.empty() || n[0] == '/' || n.find(':') != std::string::npos) return false;
  for (const auto& part : fs::path(n)) {
    if (part == "..") return false;
  }
  return true;
}

int Extract(const Options& o) {
  if (o.args.size() != 2) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  TKavoArchiveReader reader;
  if (!OpenArchive(reader, o.args[0])) return 1;
  const fs::path dir = fs::absolute(o.args[1]);
  int status = 0;
  const auto& entries = reader.CurrentEntries();
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = entries[i].Name;
    if (!SafeEntryPath(name)) {
      std::fprintf(stderr, "kavopack: skipped %s: the name leaves the target folder\n", name.c_str());
      status = 1;
      continue;
    }
    std::string data;
    try {
      reader.GetEntryAt(i, data);
    } catch (const EKavoError& e) {
      std::fprintf(stderr, "kavopack: %s: %s\n", name.c_str(), e.what());
      status = 1;
      continue;
    }
    if (IsScript(name, o)) data = DecipherScript(data);
    const fs::path target = dir / ToSlashes(name);
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (!Files().WriteFile(target.string(), data)) {
      std::fprintf(stderr, "kavopack: cannot write %s\n", target.c_str());
      status = 1;
    }
  }
  std::printf("%zu entries extracted to %s\n", entries.size(), dir.c_str());
  return status;
}

int Verify(const Options& o) {
  if (o.args.size() != 1) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  TKavoArchiveReader reader;
  if (!OpenArchive(reader, o.args[0])) return 1;
  const auto& entries = reader.CurrentEntries();
  size_t faults = 0, bytes = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    std::string data;
    try {
      reader.GetEntryAt(i, data);
    } catch (const EKavoError& e) {
      std::fprintf(stderr, "kavopack: %s: %s\n", entries[i].Name.c_str(), e.what());
      ++faults;
      continue;
    }
    bytes += data.size();
    if (IsScript(entries[i].Name, o)) {
      for (const std::string& p : CheckEncipheredScript(data, entries[i].Name, !o.anyBytes)) {
        std::fprintf(stderr, "kavopack: %s\n", p.c_str());
        ++faults;
      }
    }
  }
  std::printf("%zu entries, %zu bytes, %zu fault(s)\n", entries.size(), bytes, faults);
  return faults ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kHelp, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  Options o;
  if (!ParseOptions(argc, argv, o)) return 2;
  const std::string cmd = argv[1];
  try {
    if (cmd == "pack") return Pack(o);
    if (cmd == "list") return List(o);
    if (cmd == "extract") return Extract(o);
    if (cmd == "verify") return Verify(o);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kavopack: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "kavopack: unknown command %s\n%s", cmd.c_str(), kHelp);
  return 2;
}
