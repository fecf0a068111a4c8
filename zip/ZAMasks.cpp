#include "ZAMasks.h"

#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "ZAPlatform.h"
#include "ZAUnicode.h"

namespace zip {

namespace {

// Turkish (Windows-1254) bytes in ascending collation order, as inclusive ranges.
struct ByteRange {
  std::uint8_t Lo, Hi;
};
constexpr ByteRange kTurkishOrder[] = {
    {0x00, 0x00}, {0x20, 0x20}, {0x01, 0x1F}, {0x21, 0x40}, {0x61, 0x61}, {0xE5, 0xE5},
    {0xE0, 0xE0}, {0xE2, 0xE2}, {0xE1, 0xE1}, {0xE3, 0xE3}, {0xE6, 0xE6}, {0x41, 0x41},
    {0xC5, 0xC5}, {0xC0, 0xC0}, {0xC2, 0xC2}, {0xC1, 0xC1}, {0xC3, 0xC3}, {0xC6, 0xC6},
    {0xE4, 0xE4}, {0xC4, 0xC4}, {0x62, 0x62}, {0x42, 0x42}, {0x63, 0x63}, {0x43, 0x43},
    {0xE7, 0xE7}, {0xC7, 0xC7}, {0x64, 0x64}, {0x44, 0x44}, {0x65, 0x65}, {0xE9, 0xEB},
    {0xE8, 0xE8}, {0x45, 0x45}, {0xC9, 0xCB}, {0xC8, 0xC8}, {0x66, 0x66}, {0x46, 0x46},
    {0x67, 0x67}, {0x47, 0x47}, {0xF0, 0xF0}, {0xD0, 0xD0}, {0x68, 0x68}, {0x48, 0x48},
    {0xFD, 0xFD}, {0xEF, 0xEF}, {0xEE, 0xEE}, {0xED, 0xED}, {0xEC, 0xEC}, {0x49, 0x49},
    {0xCD, 0xCF}, {0xCC, 0xCC}, {0x69, 0x69}, {0xDD, 0xDD}, {0x6A, 0x6A}, {0x4A, 0x4A},
    {0x6B, 0x6B}, {0x4B, 0x4B}, {0x6C, 0x6C}, {0x4C, 0x4C}, {0x6D, 0x6D}, {0x4D, 0x4D},
    {0x6E, 0x6E}, {0xF1, 0xF1}, {0x4E, 0x4E}, {0xD1, 0xD1}, {0x6F, 0x6F}, {0xF3, 0xF3},
    {0xF2, 0xF2}, {0xF4, 0xF4}, {0xF5, 0xF5}, {0x4F, 0x4F}, {0xD3, 0xD3}, {0xD4, 0xD4},
    {0xD2, 0xD2}, {0xD5, 0xD5}, {0xF6, 0xF6}, {0xD6, 0xD6}, {0x70, 0x70}, {0x50, 0x50},
    {0x71, 0x71}, {0x51, 0x51}, {0x72, 0x72}, {0x52, 0x52}, {0x73, 0x73}, {0x53, 0x53},
    {0xDF, 0xDF}, {0xFE, 0xFE}, {0xDE, 0xDE}, {0x74, 0x74}, {0x54, 0x54}, {0x75, 0x75},
    {0xFB, 0xFB}, {0xF9, 0xF9}, {0xFA, 0xFA}, {0x55, 0x55}, {0xDA, 0xDA}, {0xDB, 0xDB},
    {0xD9, 0xD9}, {0xFC, 0xFC}, {0xDC, 0xDC}, {0x76, 0x76}, {0x56, 0x56}, {0x77, 0x77},
    {0x57, 0x57}, {0x78, 0x78}, {0x58, 0x58}, {0x79, 0x79}, {0xFF, 0xFF}, {0x59, 0x59},
    {0x7A, 0x7A}, {0x5A, 0x60}, {0x7B, 0x7F}, {0x82, 0x8C}, {0x91, 0x9C}, {0x9F, 0xBF},
    {0xD7, 0xD7}, {0xD8, 0xD8}, {0xF7, 0xF7}, {0xF8, 0xF8}, {0x80, 0x80}, {0x81, 0x81},
    {0x8D, 0x90}, {0x9D, 0x9D}, {0x9E, 0x9E},
};

std::uint8_t TurkishUpperCase(std::uint8_t c) {
  if (c == 0x69) return 0xDD;  // i -> dotted capital I
  if (c == 0xFD) return 0x49;  // dotless i -> I
  if (c >= 0x61 && c <= 0x7A) return static_cast<std::uint8_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xF6) return static_cast<std::uint8_t>(c - 0x20);
  if (c >= 0xF9 && c <= 0xFC) return static_cast<std::uint8_t>(c - 0x20);
  if (c == 0xFE) return 0xDE;
  return c;
}

std::shared_mutex gTablesMutex;
TZACollationState gTables;
std::once_flag gBuiltOnce;

TZACollationState ComputeTables() {
  TZACollationState t;
  t.Locale = platform::GetUserDefaultLCID();
  // Order: the position of each byte in the locale's sort.
  if (t.Locale == platform::LCID_Turkish) {
    int code = 0;
    for (const ByteRange& r : kTurkishOrder)
      for (int b = r.Lo; b <= r.Hi; ++b) t.Order[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(code++);
  } else {
    for (int i = 0; i < 256; ++i) {
      const char ci = static_cast<char>(i);
      int before = 0;
      for (int j = 0; j < 256; ++j) {
        const char cj = static_cast<char>(j);
        if (platform::CompareStringA(0, std::string_view(&cj, 1), std::string_view(&ci, 1)) ==
            platform::CSTR_LESS_THAN)
          ++before;
      }
      t.Order[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(before > 255 ? 255 : before);
    }
  }
  for (int i = 0; i < 256; ++i) t.Inverse[t.Order[static_cast<std::size_t>(i)]] = static_cast<std::uint8_t>(i);
  // Active only when every code is taken: two bytes the locale ranks equal share a code.
  std::array<bool, 256> present{};
  for (std::uint8_t code : t.Order) present[code] = true;
  t.TableActive = true;
  for (bool p : present)
    if (!p) {
      t.TableActive = false;
      break;
    }
  if (t.TableActive) {
    for (int i = 0; i < 256; ++i) {
      auto b = static_cast<std::uint8_t>(i);
      std::uint8_t u = t.Locale == platform::LCID_Turkish ? TurkishUpperCase(b) : platform::CharUpperA(b);
      t.Upper[t.Order[b]] = t.Order[u];
    }
  }
  return t;
}

void EnsureBuilt() {
  std::call_once(gBuiltOnce, [] {
    TZACollationState t = ComputeTables();
    std::unique_lock lock(gTablesMutex);
    gTables = t;
  });
}

// Compares two coded strings of known length over at most maxLen positions; the terminator of
// the shorter one takes part when maxLen reaches past it.
int CompareCoded(const std::string& a, const std::string& b, int maxLen, const TZACollationState* upper) {
  if (maxLen <= 0) return 0;
  if (a.empty() && b.empty()) return 0;
  if (a.empty()) return -1;
  if (b.empty()) return 1;
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  std::size_t count = static_cast<std::size_t>(maxLen) > n ? n + 1 : static_cast<std::size_t>(maxLen);
  for (std::size_t i = 0; i < count; ++i) {
    // c_str() gives the terminator at position size().
    auto ca = static_cast<std::uint8_t>(a.c_str()[i]);
    auto cb = static_cast<std::uint8_t>(b.c_str()[i]);
    if (ca == cb) continue;
    if (!upper) return ca - cb;
    int ua = upper->Upper[ca];
    int ub = upper->Upper[cb];
    if (ua != ub) return ua - ub;
  }
  return 0;
}

std::string_view UpToNul(std::string_view s) {
  std::size_t nul = s.find('\0');
  return nul == std::string_view::npos ? s : s.substr(0, nul);
}

int CompareChars(std::string_view s1, std::string_view s2, int maxLen, bool ignoreCase) {
  EnsureBuilt();
  s1 = UpToNul(s1);
  s2 = UpToNul(s2);
  {
    std::shared_lock lock(gTablesMutex);
    if (gTables.TableActive) {
      std::string a(s1), b(s2);
      for (char& c : a) c = static_cast<char>(gTables.Order[static_cast<std::uint8_t>(c)]);
      for (char& c : b) c = static_cast<char>(gTables.Order[static_cast<std::uint8_t>(c)]);
      return CompareCoded(a, b, maxLen, ignoreCase ? &gTables : nullptr);
    }
  }
  std::size_t limit = maxLen < 0 ? 0 : static_cast<std::size_t>(maxLen);
  return platform::CompareStringA(ignoreCase ? platform::NORM_IGNORECASE : 0, s1.substr(0, std::min(limit, s1.size())),
                                  s2.substr(0, std::min(limit, s2.size()))) -
         2;
}

}  // namespace

void BuildCollationTables() {
  EnsureBuilt();
  TZACollationState t = ComputeTables();
  std::unique_lock lock(gTablesMutex);
  gTables = t;
}

TZACollationState CollationState() {
  EnsureBuilt();
  std::shared_lock lock(gTablesMutex);
  return gTables;
}

int MaskCompareChars(std::string_view s1, std::string_view s2, int maxLen) {
  return CompareChars(s1, s2, maxLen, false);
}

int MaskCompareCharsIgnoreCase(std::string_view s1, std::string_view s2, int maxLen) {
  return CompareChars(s1, s2, maxLen, true);
}

bool MatchesMask(std::string_view name, std::string_view mask, bool ignoreCase) {
  name = UpToNul(name);
  mask = UpToNul(mask);
  if (mask == "*.*") return true;

  // The matcher walks name and mask together; at a "*" with more mask after it, it tries every
  // non-empty rest of the name against the rest of the mask, each try a fresh match (where a
  // rest of the mask that is exactly "*.*" fits at once). Instead of trying recursively, the
  // answers for every (name position, mask position) are worked out once, from the ends back.
  //   Walk(i, j):  the loop from name position i and mask position j;
  //   Entry(i, j): a fresh match of name[i..] against mask[j..];
  //   Later(i, j): Entry(k, j) for some k with i <= k < n.
  // Both are walked character by character: "?" takes one character, whatever its bytes.
  const std::vector<TZAChar> nameChars = SplitChars(name);
  const std::vector<TZAChar> maskChars = SplitChars(mask);
  const std::size_t n = nameChars.size();
  const std::size_t m = maskChars.size();
  EnsureBuilt();
  TZACollationState tables;
  {
    std::shared_lock lock(gTablesMutex);
    tables = gTables;
  }
  auto same = [&](char a, char b) {
    if (tables.TableActive) {
      auto ca = tables.Order[static_cast<std::uint8_t>(a)];
      auto cb = tables.Order[static_cast<std::uint8_t>(b)];
      return ca == cb || (ignoreCase && tables.Upper[ca] == tables.Upper[cb]);
    }
    return platform::CompareStringA(ignoreCase ? platform::NORM_IGNORECASE : 0, std::string_view(&a, 1),
                                    std::string_view(&b, 1)) == platform::CSTR_EQUAL;
  };

  auto sameChar = [&](TZAChar a, TZAChar b) {
    // Characters of the locale's code page compare as the locale sorts them; any other is equal
    // only to itself, or to a character of the same upper-case form when case is ignored. A stray
    // byte (a name that is not UTF-8) meets another stray byte or ASCII, never a decoded character.
    if (a.Stray != b.Stray && (a.Stray ? b : a).Code >= 0x80) return false;
    const auto byteA = AnsiByteOf(a, tables.Locale);
    const auto byteB = AnsiByteOf(b, tables.Locale);
    if (!byteA || !byteB) {
      if (a.Code == b.Code && a.Stray == b.Stray) return true;
      if (!ignoreCase) return false;
      const TZAChar ua = UpperChar(a);
      const TZAChar ub = UpperChar(b);
      return ua.Code == ub.Code && ua.Stray == ub.Stray;
    }
    return same(static_cast<char>(*byteA), static_cast<char>(*byteB));
  };
  const auto isMask = [&](std::size_t j, char c) {
    return !maskChars[j].Stray && maskChars[j].Code == static_cast<char32_t>(c);
  };

  // Columns j+1 (next) and j (cur), each indexed by name position 0..n.
  std::vector<char> walkNext(n + 1), laterNext(n + 2), walkCur(n + 1), laterCur(n + 2);
  for (std::size_t jj = m + 1; jj-- > 0;) {
    const bool restIsStar = jj + 1 == m && isMask(jj, '*');
    const bool restIsStarDotStar = jj + 3 == m && isMask(jj, '*') && isMask(jj + 1, '.') && isMask(jj + 2, '*');
    laterCur[n] = 0;
    for (std::size_t ii = n + 1; ii-- > 0;) {
      bool walk;
      if (restIsStar) {
        walk = true;
      } else if (ii == n) {
        walk = jj == m;
      } else if (jj == m) {
        walk = false;  // the mask ended while the name goes on
      } else if (isMask(jj, '*')) {
        walk = laterNext[ii] != 0;
      } else if (isMask(jj, '?')) {
        walk = walkNext[ii + 1] != 0;
      } else {
        walk = sameChar(nameChars[ii], maskChars[jj]) && walkNext[ii + 1] != 0;
      }
      walkCur[ii] = walk;
      if (ii < n) {
        bool entry = restIsStarDotStar || walk;
        laterCur[ii] = entry || laterCur[ii + 1];
      }
    }
    walkNext.swap(walkCur);
    laterNext.swap(laterCur);
  }
  return walkNext[0] != 0;
}

}  // namespace zip

namespace zip {

bool NameMatchesMask(std::string_view name, std::string_view mask) {
  mask = UpToNul(mask);
  name = UpToNul(name);
  if (mask.empty()) return false;
  std::string m(mask);
  if (std::size_t at = m.find("*.*"); at != std::string::npos)
    m = m.substr(0, at) + "*" + m.substr(at + 3);
  const bool maskEndsWithDot = mask.back() == '.';
  if (maskEndsWithDot && !m.empty()) m.pop_back();
  std::string_view n = name;
  if (!n.empty() && n.back() == '.') n.remove_suffix(1);
  if (!MatchesMask(n, m, true)) return false;
  if (maskEndsWithDot) {
    std::size_t sep = name.find_last_of("/\\:");
    std::size_t dot = name.find_last_of('.');
    bool hasDot = dot != std::string_view::npos && (sep == std::string_view::npos || dot > sep);
    std::string_view ext = hasDot ? name.substr(dot) : std::string_view();
    return ext.empty() || ext == ".";
  }
  return true;
}

}  // namespace zip
