#include "ZAUnicode.h"

#include <locale.h>
#include <wctype.h>

#include <array>

#include "ZAPlatform.h"
#include "os/utf8.h"

namespace zip {

namespace {

// Windows-1252 bytes 0x80..0x9F; the rest of the page above them is Latin-1.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Where Windows-1254 (Turkish) differs from Windows-1252.
struct TPageDiff {
  std::uint8_t Byte;
  char32_t Code;
};
constexpr TPageDiff kCp1254Diff[] = {{0xD0, 0x011E}, {0xDD, 0x0130}, {0xDE, 0x015E},
                                     {0xF0, 0x011F}, {0xFD, 0x0131}, {0xFE, 0x015F}};

// The OEM code page (850) above ASCII.
constexpr std::array<char32_t, 128> kCp850High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C,
    0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0};

// The C.UTF-8 locale's case mapping covers every script; it is the same whatever the user's locale.
locale_t UnicodeLocale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

std::vector<TZAChar> SplitChars(std::string_view text) {
  std::vector<TZAChar> chars;
  chars.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const os::Utf8Sequence seq = os::Utf8SequenceAt(text, i);
    if (seq.Length == 0) {
      chars.push_back({static_cast<unsigned char>(text[i]), true});
      ++i;
    } else {
      chars.push_back({seq.Code, false});
      i += seq.Length;
    }
  }
  return chars;
}

void AppendChar(std::string& out, TZAChar ch) {
  if (ch.Stray)
    out += static_cast<char>(ch.Code);
  else
    os::AppendUtf8(out, ch.Code);
}

bool IsWellFormedUtf8(std::string_view text) { return os::IsWellFormedUtf8(text); }

TZAChar UpperChar(TZAChar c) {
  if (c.Stray) return {platform::CharUpperA(static_cast<std::uint8_t>(c.Code)), true};
  if (c.Code < 0x80) return {c.Code >= 'a' && c.Code <= 'z' ? c.Code - 0x20 : c.Code, false};
  const locale_t locale = UnicodeLocale();
  if (locale == static_cast<locale_t>(nullptr)) return c;
  return {static_cast<char32_t>(towupper_l(static_cast<wint_t>(c.Code), locale)), false};
}

std::string UpperCaseText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const TZAChar c : SplitChars(text)) AppendChar(out, UpperChar(c));
  return out;
}

bool SameTextIgnoreCase(std::string_view a, std::string_view b) { return UpperCaseText(a) == UpperCaseText(b); }

std::optional<std::uint8_t> AnsiByteOf(TZAChar c, std::uint32_t lcid) {
  if (c.Stray || c.Code < 0x80) return static_cast<std::uint8_t>(c.Code);
  if (lcid == platform::LCID_Turkish) {
    for (const TPageDiff& d : kCp1254Diff) {
      if (d.Code == c.Code) return d.Byte;
      if (d.Byte == c.Code) return std::nullopt;  // the Latin-1 letter this page replaced
    }
    if (c.Code == 0x017D || c.Code == 0x017E) return std::nullopt;  // 0x8E and 0x9E are undefined there
  }
  if (c.Code >= 0xA0 && c.Code <= 0xFF) return static_cast<std::uint8_t>(c.Code);
  for (std::size_t i = 0; i < kCp1252High.size(); ++i)
    if (kCp1252High[i] == c.Code) return static_cast<std::uint8_t>(0x80 + i);
  return std::nullopt;
}

std::optional<std::string> Utf8ToOem(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const TZAChar c : SplitChars(text)) {
    if (c.Stray) return std::nullopt;
    if (c.Code < 0x80) {
      out += static_cast<char>(c.Code);
      continue;
    }
    std::size_t i = 0;
    while (i < kCp850High.size() && kCp850High[i] != c.Code) ++i;
    if (i == kCp850High.size()) return std::nullopt;
    out += static_cast<char>(0x80 + i);
  }
  return out;
}

std::string OemToUtf8(std::string_view oem) {
  std::string out;
  out.reserve(oem.size());
  for (const char ch : oem) {
    const auto b = static_cast<unsigned char>(ch);
    AppendChar(out, {b < 0x80 ? char32_t{b} : kCp850High[b - 0x80], false});
  }
  return out;
}

}  // namespace zip
