// kavopack: packs a folder into a ".kvo" archive, lists, extracts and
// verifies archives.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/pack.h"
#include "platform/files.h"
#include "core/errors.h"

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
    "           block method (fast to read) or LZHUF (smaller, slower to read).\n"
    "           Files with a script extension (default .lua and .txt) are stored\n"
    "           line-enciphered as the engine loads them; a line whose cipher would\n"
    "           hold a line break gets added indentation, and packing stops naming\n"
    "           the file and line where that cannot help (inside a long string or\n"
    "           long comment).\n"
    "--slash    store \"/\" between folders in entry names instead of \"\\\". The engine's\n"
    "           own loaders (scripts, rooms, sounds, pictures named by scripts) look\n"
    "           entries up with \"\\\"; the scene layer (model files, the textures a model\n"
    "           names, fonts) looks them up with \"/\". Entries at the top of the\n"
    "           archive are found by both, entries in sub-folders only by the lookup\n"
    "           that matches their separator.\n"
    "list       prints every entry with its stored and uncompressed size.\n"
    "extract    writes every entry below DIR, deciphering scripts.\n"
    "verify     decodes every entry and checks that every script line deciphers\n"
    "           cleanly (no control bytes; valid UTF-8 unless --any-bytes, for\n"
    "           scripts in an 8-bit code page).\n"
    "Every command exits with status 1 on a fault, 2 on a usage error.\n";

struct Options {
  std::vector<std::string> args;
  TKavoPackOptions pack;
};

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--stored") o.pack.Method = TKavoPackMethod::Stored;
    else if (a == "--block") o.pack.Method = TKavoPackMethod::Block;
    else if (a == "--huffman") o.pack.Method = TKavoPackMethod::Huffman;
    else if (a == "--slash") o.pack.Slash = true;
    else if (a == "--any-bytes") o.pack.RequireUtf8 = false;
    else if (a == "--script-ext") {
      if (++i >= argc) {
        std::fprintf(stderr, "kavopack: --script-ext needs a list such as .lua,.txt\n");
        return false;
      }
      o.pack.ScriptExtensions.clear();
      const std::string list = argv[i];
      size_t pos = 0;
      for (;;) {
        const size_t comma = list.find(',', pos);
        const std::string e = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (!e.empty()) o.pack.ScriptExtensions.push_back(e[0] == '.' ? e : "." + e);
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

int Usage() {
  std::fputs(kHelp, stderr);
  return 2;
}

int Pack(const Options& o) {
  if (o.args.size() != 2) return Usage();
  const TKavoPackSummary s = PackFolder(
      o.args[0], o.args[1], o.pack,
      [](size_t done, size_t total, size_t bytes) {
        std::fprintf(stderr, "kavopack: %zu/%zu files, %zu bytes read\n", done, total, bytes);
      },
      [](const std::string& text) { std::fprintf(stderr, "kavopack: %s\n", text.c_str()); });
  std::printf("%zu entries, %zu bytes in, %zu bytes out, ratio %.1f%%\n", s.Entries, s.BytesIn, s.BytesOut,
              s.BytesIn ? 100.0 * double(s.BytesOut) / double(s.BytesIn) : 100.0);
  return 0;
}

int List(const Options& o) {
  if (o.args.size() != 1) return Usage();
  TKavoArchiveReader reader;
  reader.Open(o.args[0]);
  const auto& entries = reader.CurrentEntries();
  int status = 0;
  size_t plain = 0, stored = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    std::string data, size;
    try {
      reader.GetEntryAt(i, data);
      size = std::to_string(data.size());
      plain += data.size();
    } catch (const EKavoError&) {
      size = "corrupt";
      status = 1;
    }
    stored += static_cast<size_t>(std::max(0, entries[i].Length));
    std::printf("%10d %10s  %s\n", entries[i].Length, size.c_str(), entries[i].Name.c_str());
  }
  std::printf("%zu entries (%s), %zu bytes stored, %zu bytes uncompressed\n", entries.size(),
              reader.CurrentIsCompressed() ? "KAVZ" : "KAVO", stored, plain);
  return status;
}

int Extract(const Options& o) {
  if (o.args.size() != 2) return Usage();
  const auto problems = ExtractArchive(o.args[0], o.args[1], o.pack);
  for (const std::string& p : problems) std::fprintf(stderr, "kavopack: %s\n", p.c_str());
  std::printf("extracted to %s, %zu problem(s)\n", o.args[1].c_str(), problems.size());
  return problems.empty() ? 0 : 1;
}

int Verify(const Options& o) {
  if (o.args.size() != 1) return Usage();
  size_t entries = 0, bytes = 0;
  const auto faults = VerifyArchive(o.args[0], o.pack, &entries, &bytes);
  for (const std::string& f : faults) std::fprintf(stderr, "kavopack: %s\n", f.c_str());
  std::printf("%zu entries, %zu bytes, %zu fault(s)\n", entries, bytes, faults.size());
  return faults.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
      std::strcmp(argv[1], "help") == 0) {
    std::fputs(kHelp, stdout);
    return 0;
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
  std::fprintf(stderr, "kavopack: unknown command %s\n", cmd.c_str());
  return Usage();
}
