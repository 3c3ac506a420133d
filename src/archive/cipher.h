// The line cipher of archived scripts. Each line of a script stored in a
// ".kvo" archive is enciphered on its own, restarting from the key, and keeps
// its length. The engine and the archive tool share this one key.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kavo {

struct TKavoCipherKey {
  uint16_t M;  // multiplier
  uint16_t A;  // increment
  uint16_t S;  // start value
};

inline constexpr TKavoCipherKey kKavoCipherKey{23851, 7997, 42945};

std::string DecipherLine(std::string_view line, const TKavoCipherKey& key = kKavoCipherKey);
std::string EncipherLine(std::string_view line, const TKavoCipherKey& key = kKavoCipherKey);

// Splits enciphered text at CR, LF or CR LF, deciphers every line and joins
// them with CR LF after each line: the text the script host compiles.
std::string DecipherScript(std::string_view text, const TKavoCipherKey& key = kKavoCipherKey);

}  // namespace kavo
