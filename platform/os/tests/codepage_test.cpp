#include "os/codepage.h"

#include <gtest/gtest.h>

namespace {

TEST(Codepage, RoundTripsEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(os::Utf8ToCp1252(os::Cp1252ToUtf8(all)), all);
}

TEST(Codepage, KnownCharacters) {
  struct Case { std::string cp1252; std::string utf8; };
  const Case cases[] = {
      {"annul\xE9", "annulé"},
      {"%\xF9@\xE0*\xA3", "%ù@à*£"},
      {"\x80", "€"},
      {"\x9C\x8C", "œŒ"},
      {"plain", "plain"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(os::Cp1252ToUtf8(c.cp1252), c.utf8);
    EXPECT_EQ(os::Utf8ToCp1252(c.utf8), c.cp1252);
  }
}

TEST(Codepage, UnmappableAndMalformedUtf8) {
  EXPECT_EQ(os::Utf8ToCp1252("日本"), "??");
  // A lone continuation byte and a truncated sequence pass through as bytes of their own.
  EXPECT_EQ(os::Utf8ToCp1252("a\x80" "b\xC3"), "a\x80" "b\xC3");
  // An overlong encoding of '/' is not a '/'.
  EXPECT_EQ(os::Utf8ToCp1252("\xC0\xAF"), "\xC0\xAF");
}

}  // namespace
