#pragma once
// UTF-8 one sequence at a time: the piece every reader and writer of UTF-8 text in the programs
// shares. What a caller does with bytes that are not well-formed is its own affair.
#include <cstddef>
#include <string>
#include <string_view>

namespace os {

// The well-formed UTF-8 sequence at text[i]: its code point and its length in bytes. Length is 0
// when the bytes there are not one (a stray or truncated byte, an overlong form, a surrogate, a
// code point above U+10FFFF).
struct Utf8Sequence {
  char32_t Code = 0;
  std::size_t Length = 0;
};
Utf8Sequence Utf8SequenceAt(std::string_view text, std::size_t i);

// The UTF-8 form of a code point, appended.
void AppendUtf8(std::string& out, char32_t code);

// Whether the whole text is well-formed UTF-8.
bool IsWellFormedUtf8(std::string_view text);

}  // namespace os
