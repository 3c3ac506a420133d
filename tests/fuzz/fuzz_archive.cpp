// libFuzzer target for the archive reader and both decoders. The first byte
// of the input picks what the rest is fed to:
//   0: a whole archive (opened from memory, every entry read)
//   1: a compressed entry (method tag, size, method data)
//   2: raw block-method data, 3: raw LZHUF data (size in the next 4 bytes)
//   4: a script enciphered for an archive and checked back
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/archive.h"
#include "archive/codecs.h"
#include "archive/scriptpack.h"
#include "core/errors.h"

using namespace kavo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    switch (data[0] % 5) {
      case 0: {
        TKavoArchiveReader reader;
        reader.OpenBytes("fuzz.kvo", std::string(rest));
        std::string out;
        for (size_t i = 0; i < reader.CurrentEntries().size() && i < 64; ++i) {
          try {
            reader.GetEntryAt(i, out);
          } catch (const EKavoError&) {
          }
          if (reader.Contains(reader.CurrentEntries()[i].Name) != true) __builtin_trap();
        }
        break;
      }
      case 1:
        DecodeCompressedEntry(rest);
        break;
      case 2:
      case 3: {
        if (rest.size() < 4) return 0;
        const size_t want = (uint32_t(uint8_t(rest[0])) | (uint32_t(uint8_t(rest[1])) << 8) |
                             (uint32_t(uint8_t(rest[2])) << 16)) & 0xFFFFFF;
        const std::string out = data[0] % 5 == 2 ? DecodeBlockMethod(rest.substr(4), want)
                                                 : DecodeLzhuf(rest.substr(4), want);
        if (out.size() != want) __builtin_trap();
        break;
      }
      case 4: {
        const std::string stored = EncipherScriptForArchive(rest, "fuzz.lua");
        // What the packer stores must always pass the check on control bytes.
        for (const std::string& p : CheckEncipheredScript(stored, "fuzz.lua", false)) {
          (void)p;
          // Plain text with control bytes of its own is reported; that is fine.
        }
        break;
      }
    }
  } catch (const EKavoError&) {
  }
  return 0;
}
