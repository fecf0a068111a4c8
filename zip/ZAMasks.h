#pragma once
// Locale-aware character comparison and the wildcard matcher that finds items by mask.
#include <array>
#include <cstdint>
#include <string_view>

namespace zip {

// Derives the collation order of the 256 byte values from the user's locale (fixed tables for
// Turkish). Runs by itself before the first comparison; call it again after changing the
// locale (tests) to follow the new one.
void BuildCollationTables();

struct TZACollationState {
  std::array<std::uint8_t, 256> Order{};
  std::array<std::uint8_t, 256> Inverse{};
  std::array<std::uint8_t, 256> Upper{};
  bool TableActive = false;
  std::uint32_t Locale = 0;
};
// The tables as they stand (built on first use).
TZACollationState CollationState();

// Compare at most maxLen characters: below, equal to or above zero.
int MaskCompareChars(std::string_view s1, std::string_view s2, int maxLen);
int MaskCompareCharsIgnoreCase(std::string_view s1, std::string_view s2, int maxLen);

// Whether the whole name fits the mask ("*" any run, "?" any one character; "*.*" fits every
// name). Names and masks are UTF-8 and are matched character by character (a byte outside any
// well-formed sequence is a character of its own, taken as a Windows-1252 byte); both end at a
// NUL byte if they hold one. Characters of the locale's code page compare through its
// collation; any other only to itself or, case ignored, to one of the same upper-case form. Runs
// in time proportional to the name's length times the mask's.
bool MatchesMask(std::string_view name, std::string_view mask, bool ignoreCase);

}  // namespace zip

namespace zip {

// The archiver's name-against-mask test of its finds, case ignored: an empty mask fits nothing;
// the mask's first "*.*" counts as "*"; a mask ending with "." fits only names without an
// extension; a name's trailing "." is not compared.
bool NameMatchesMask(std::string_view name, std::string_view mask);

}  // namespace zip
