// Wildcard masks and collation, under the default (French) locale and the Turkish one.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "ZAMasks.h"
#include "ZAPlatform.h"

namespace zip {
namespace {

struct MaskCase {
  const char* Name;
  const char* Mask;
  bool IgnoreCase;
  bool Expected;
};

class LocaleGuard {
 public:
  explicit LocaleGuard(std::optional<std::uint32_t> lcid) {
    platform::SetUserLocaleOverride(lcid);
    BuildCollationTables();
  }
  ~LocaleGuard() {
    platform::SetUserLocaleOverride(std::nullopt);
    platform::SetCompareStringOverride({});
    BuildCollationTables();
  }
};

const MaskCase kWildcardCases[] = {
    {"readme.txt", "*.*", false, true},
    {"readme", "*.*", false, true},
    {"", "*.*", false, true},
    {"anything", "*", false, true},
    {"", "*", false, true},
    {"abc", "a*.*", false, false},  // no dot after the a
    {"ab.c", "a*.*", false, true},
    {"ab", "ab**", false, false},   // the name ends while "**" is left
    {"x", "*x", false, true},
    {"abx", "*x", false, true},
    {"xa", "*x", false, false},
    {"", "?", false, false},
    {"abc", "a?c", false, true},
    {"ac", "a?c", false, false},
    {"abcd", "abc", false, false},
    {"abc", "abcd", false, false},
    {"ABC", "abc", false, false},
    {"ABC", "abc", true, true},
    {"dir/sub/a.txt", "dir/*/a.txt", true, true},
    {"a.tar.gz", "*.gz", false, true},
    {"a.tar.gz", "*.tar", false, false},
    {"ab", "ab*", false, true},
    {"ab", "a**", false, true},  // a fresh match of "b" against "*"
    {"ab", "a**.*", false, true},  // a fresh match against "*.*" fits at once
    {"ab", "a*.*", false, false},
    {"\xC9t\xE9.txt", "\xE9T\xC9.TXT", true, true},   // accented letters fold in French
    {"\xFF", "\x9F", true, true},                     // y diaeresis and its capital
    {"\xE9", "e", true, false},                       // the accent counts
    {"name\0tail", "name", false, true},              // a NUL ends the name
};

TEST(MatchesMask, WildcardCasesUnderTheDefaultLocale) {
  LocaleGuard guard(std::nullopt);
  for (const MaskCase& c : kWildcardCases) {
    std::string name = c.Name;
    if (std::string(c.Mask) == "name") name = std::string("name\0tail", 9);
    EXPECT_EQ(MatchesMask(name, c.Mask, c.IgnoreCase), c.Expected)
        << "name '" << c.Name << "' mask '" << c.Mask << "' ignoreCase " << c.IgnoreCase;
  }
}

TEST(MatchesMask, TurkishCaseFolding) {
  LocaleGuard guard(platform::LCID_Turkish);
  ASSERT_TRUE(CollationState().TableActive);
  const MaskCase cases[] = {
      {"i", "\xDD", true, true},    // i fits dotted capital I
      {"\xFD", "I", true, true},    // dotless i fits I
      {"i", "I", true, false},      // but i does not fit I
      {"\xF8", "\xD8", true, false},  // o slash keeps its case
      {"\xFF", "\x9F", true, false},  // y diaeresis has no capital here
      {"\xE7", "\xC7", true, true},   // c cedilla
      {"abc", "ABC", true, true},
      {"abc", "ABC", false, false},
      {"dosya.txt", "*.TXT", true, true},
  };
  for (const MaskCase& c : cases)
    EXPECT_EQ(MatchesMask(c.Name, c.Mask, c.IgnoreCase), c.Expected)
        << "name '" << c.Name << "' mask '" << c.Mask << "'";
}

// Names are UTF-8: "?" takes one character whatever its bytes, and case is folded on characters,
// never on the bytes of their encoding.
TEST(MatchesMask, Utf8NamesCharacterByCharacter) {
  LocaleGuard guard(std::nullopt);
  const MaskCase cases[] = {
      {"\xE6\x97\xA5\xE6\x9C\xAC/ab.txt", "?\?/ab.txt", false, true},       // 日本/ab.txt
      {"\xE6\x97\xA5\xE6\x9C\xAC/ab.txt", "?/ab.txt", false, false},
      {"\xE6\x97\xA5\xE6\x9C\xAC/ab.txt", "?????\?/ab.txt", false, false},  // not one "?" a byte
      {"\xE4\xB8\xAD\xE5\x9B\xBD/ab.txt", "\xE6\x97\xA5\xE6\x9C\xAC/ab.txt", true, false},
      {"\xF0\x9F\x98\x80.txt", "?.txt", false, true},                          // 😀.txt
      {"\xF0\x9F\x98\x80.txt", "\xF0\x9F\x8E\x89.txt", true, false},          // 🎉.txt
      {"\xC3\x89T\xC3\x89.TXT", "\xC3\xA9t\xC3\xA9.txt", true, true},           // ÉTÉ.TXT and été.txt
      {"\xC3\x89T\xC3\x89.TXT", "\xC3\xA9t\xC3\xA9.txt", false, false},
      {"\xC3\xA9", "e", true, false},                                           // the accent counts
      {"\xCE\xA9MEGA", "\xCF\x89mega", true, true},                               // Ω and ω
      {"\xD0\x96", "\xD0\xB6", true, true},                                       // Ж and ж
      {"\xD0\x96", "\xD0\xB6", false, false},
      // Two letters whose second bytes are a capital and a small letter in Windows-1252.
      {"\xD9\x9A/a.txt", "\xD9\x8A/a.txt", true, false},
      {"\xC5\x93", "\xC5\x92", true, true},                                       // œ and Œ
      {"caf\xC3\xA9*", "CAF\xC3\x89 \xC3\xA9t\xC3\xA9.txt", true, false},
      {"CAF\xC3\x89 \xC3\xA9t\xC3\xA9.txt", "caf\xC3\xA9*", true, true},
  };
  for (const MaskCase& c : cases)
    EXPECT_EQ(MatchesMask(c.Name, c.Mask, c.IgnoreCase), c.Expected)
        << "name '" << c.Name << "' mask '" << c.Mask << "' ignoreCase " << c.IgnoreCase;
  // Under the Turkish locale its own capitals fold as they do there, UTF-8 or not.
  LocaleGuard turkish(platform::LCID_Turkish);
  EXPECT_TRUE(MatchesMask("i", "\xC4\xB0", true));       // i and İ
  EXPECT_TRUE(MatchesMask("\xC4\xB1", "I", true));       // ı and I
  EXPECT_FALSE(MatchesMask("i", "I", true));
  EXPECT_TRUE(MatchesMask("\xC5\x9F", "\xC5\x9E", true));  // ş and Ş
}

// The matcher step by step as a plain recursive walk: exponential in the worst case, but a
// faithful yardstick for short names and masks.
bool WalkReference(std::string_view name, std::string_view mask, bool ignoreCase);
bool MatchReference(std::string_view name, std::string_view mask, bool ignoreCase) {
  if (mask == "*.*") return true;
  return WalkReference(name, mask, ignoreCase);
}
bool WalkReference(std::string_view name, std::string_view mask, bool ignoreCase) {
  for (;;) {
    if (mask == "*") return true;
    if (name.empty()) return mask.empty();
    if (mask.empty()) return false;
    if (mask[0] == '*') {
      for (std::size_t k = 0; k < name.size(); ++k)
        if (MatchReference(name.substr(k), mask.substr(1), ignoreCase)) return true;
      return false;
    }
    if (mask[0] != '?') {
      int cmp = ignoreCase ? MaskCompareCharsIgnoreCase(name.substr(0, 1), mask.substr(0, 1), 1)
                           : MaskCompareChars(name.substr(0, 1), mask.substr(0, 1), 1);
      if (cmp != 0) return false;
    }
    name.remove_prefix(1);
    mask.remove_prefix(1);
  }
}

TEST(MatchesMask, AgreesWithTheStepByStepWalk) {
  LocaleGuard guard(std::nullopt);
  std::mt19937 rng(99);
  const char nameChars[] = "aAb.";
  const char maskChars[] = "aAb.*?";
  for (int round = 0; round < 20000; ++round) {
    std::string name, mask;
    for (std::size_t i = rng() % 7; i > 0; --i) name += nameChars[rng() % 4];
    for (std::size_t i = rng() % 7; i > 0; --i) mask += maskChars[rng() % 6];
    bool ignoreCase = rng() % 2;
    ASSERT_EQ(MatchesMask(name, mask, ignoreCase), MatchReference(name, mask, ignoreCase))
        << "name '" << name << "' mask '" << mask << "' ignoreCase " << ignoreCase;
  }
}

TEST(MatchesMask, PathologicalMaskAnswersQuickly) {
  // A naive backtracking matcher takes exponential time on this one.
  std::string mask;
  for (int i = 0; i < 40; ++i) mask += "*a";
  mask += "*b";
  std::string name(5000, 'a');
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(MatchesMask(name, mask, true));
  EXPECT_TRUE(MatchesMask(name + "b", mask, true));
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST(Collation, TurkishTablesFollowTheFixedOrder) {
  LocaleGuard guard(platform::LCID_Turkish);
  TZACollationState t = CollationState();
  EXPECT_EQ(t.Order[0x00], 0);
  EXPECT_EQ(t.Order[0x20], 1);   // space right after NUL
  EXPECT_EQ(t.Order[0x01], 2);
  EXPECT_LT(t.Order[0x61], t.Order[0x41]);  // a before A
  EXPECT_LT(t.Order[0xFD], t.Order[0x49]);  // dotless i before I
  EXPECT_LT(t.Order[0x69], t.Order[0xDD]);  // i before dotted capital I
  EXPECT_EQ(t.Order[0x9E], 255);            // the last of the list
  for (int b = 0; b < 256; ++b) EXPECT_EQ(t.Inverse[t.Order[b]], b);
  EXPECT_LT(MaskCompareChars("a", "b", 1), 0);
  EXPECT_LT(MaskCompareChars("a", "A", 1), 0);
  EXPECT_EQ(MaskCompareCharsIgnoreCase("a", "A", 1), 0);
}

TEST(Collation, DefaultLocaleRanksEveryByteApart) {
  LocaleGuard guard(std::nullopt);
  TZACollationState t = CollationState();
  EXPECT_EQ(t.Locale, platform::LCID_French);
  EXPECT_TRUE(t.TableActive);
  EXPECT_LT(t.Order[static_cast<std::uint8_t>('1')], t.Order[static_cast<std::uint8_t>('a')]);
  EXPECT_LT(t.Order[static_cast<std::uint8_t>('e')], t.Order[0xE9]);  // e before e acute
  EXPECT_LT(t.Order[0xE9], t.Order[static_cast<std::uint8_t>('f')]);  // e acute before f
  EXPECT_EQ(MaskCompareChars("abc", "abd", 2), 0);   // only two characters are compared
  EXPECT_LT(MaskCompareChars("ab", "abc", 5), 0);    // the terminator takes part
  EXPECT_GT(MaskCompareChars("abc", "", 5), 0);
  EXPECT_EQ(MaskCompareChars("", "", 5), 0);
  EXPECT_EQ(MaskCompareChars("x", "y", 0), 0);
}

TEST(Collation, LocaleWithTiesFallsBackToTheLocaleComparison) {
  LocaleGuard guard(std::nullopt);
  int calls = 0;
  // A locale that cannot tell 'a' from 'b'.
  platform::SetCompareStringOverride([&calls](std::uint32_t flags, std::string_view a, std::string_view b) {
    ++calls;
    auto fold = [](std::string s) {
      for (char& c : s) {
        if (c == 'b') c = 'a';
        if (c == 'B') c = 'A';
      }
      return s;
    };
    std::string fa = fold(std::string(a)), fb = fold(std::string(b));
    if (flags & platform::NORM_IGNORECASE)
      for (std::string* s : {&fa, &fb})
        for (char& c : *s) c = static_cast<char>(platform::CharUpperA(static_cast<std::uint8_t>(c)));
    return fa < fb ? platform::CSTR_LESS_THAN : fa == fb ? platform::CSTR_EQUAL : platform::CSTR_GREATER_THAN;
  });
  BuildCollationTables();
  EXPECT_FALSE(CollationState().TableActive);
  calls = 0;
  EXPECT_TRUE(MatchesMask("abc", "bbc", false));
  EXPECT_TRUE(MatchesMask("ABC", "bbc", true));
  EXPECT_FALSE(MatchesMask("abd", "abc", false));
  EXPECT_EQ(MaskCompareChars("a", "b", 1), 0);
  EXPECT_GT(calls, 0);
}

TEST(NameMatchesMask, FindRules) {
  LocaleGuard guard(std::nullopt);
  const MaskCase cases[] = {
      {"readme", "*.*", true, true},
      {"dir/readme.txt", "*.*", true, true},
      {"abc", "a*.*", true, true},    // the first "*.*" counts as "*"
      {"readme", "*.", true, true},   // a mask ending with a dot: no extension
      {"readme.txt", "*.", true, false},
      {"dir.d/readme", "*.", true, true},
      {"readme.", "readme", true, true},  // a trailing dot of the name is not compared
      {"README.TXT", "readme.txt", true, true},
      {"anything", "", true, false},  // an empty mask fits nothing
  };
  for (const MaskCase& c : cases)
    EXPECT_EQ(NameMatchesMask(c.Name, c.Mask), c.Expected) << "name '" << c.Name << "' mask '" << c.Mask << "'";
}

}  // namespace
}  // namespace zip
