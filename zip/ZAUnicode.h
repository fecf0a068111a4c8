#pragma once
// Names inside the engine are UTF-8, as the file system has them. These helpers walk such a text
// character by character (a byte that does not start a well-formed sequence counts as one
// character of its own, so that no name is ever rejected), fold case on characters, and give a
// character's byte in the code pages that stored names and the locale's tables use.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zip {

struct TZAChar {
  char32_t Code = 0;  // the code point, or the byte's value for a stray byte
  bool Stray = false;  // a byte outside any well-formed UTF-8 sequence
};

// The characters of a text, in order.
std::vector<TZAChar> SplitChars(std::string_view text);
// The bytes of a character: its UTF-8 form, or the stray byte itself.
void AppendChar(std::string& out, TZAChar c);
// Whether the whole text is well-formed UTF-8.
bool IsWellFormedUtf8(std::string_view text);

// The upper-case form of a character (a stray byte is upper-cased as a Windows-1252 byte).
TZAChar UpperChar(TZAChar c);
// The text with every character upper-cased.
std::string UpperCaseText(std::string_view text);
// Equal texts when case is ignored, character by character.
bool SameTextIgnoreCase(std::string_view a, std::string_view b);

// The character's byte in the ANSI code page of the locale (Windows-1254 for Turkish, else
// Windows-1252), where the page holds it: the bytes the collation tables are built on. A stray
// byte stands for itself.
std::optional<std::uint8_t> AnsiByteOf(TZAChar c, std::uint32_t lcid);

// The OEM code page (850): a UTF-8 text in it when every character has a byte there, and back.
std::optional<std::string> Utf8ToOem(std::string_view text);
std::string OemToUtf8(std::string_view oem);

}  // namespace zip
