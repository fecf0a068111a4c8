#include "secretariat/reply_lines.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

TEST(ReplyLines, BreaksAndTheEmptyBody) {
  struct Case {
    const char* what;
    std::string body;
    Lines lines;
  };
  const Case cases[] = {
      {"empty body", "", {"0"}},
      {"no line break", "2-0-1", {"2-0-1"}},
      {"CR LF at the end adds no line", "a\r\n", {"a"}},
      {"CR LF alone is one empty line", "\r\n", {""}},
      {"LF alone", "\n", {""}},
      {"CR LF CR LF between", "a\r\n\r\nb", {"a", "", "b"}},
      {"LF CR counts as two breaks", "a\n\rb", {"a", "", "b"}},
      {"CR CR counts as two breaks", "a\r\rb", {"a", "", "b"}},
      {"mixed", "1-2-3\rmessage|x\nrv|y\r\nvi|z", {"1-2-3", "message|x", "rv|y", "vi|z"}},
      {"two breaks at the end", "a\n\n", {"a", ""}},
      {"NUL ends its line's text", "ab\0cd\r\nef"s, {"ab", "ef"}},
      {"NUL first", "\0x\ny"s, {"", "y"}},
      {"NUL alone", "\0"s, {""}},
      {"Windows-1252 comes out in UTF-8", "Mouvement iso 42 annul\xE9\r\n\x80 5", {"Mouvement iso 42 annulé", "€ 5"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(secretariat::ReplyLines(c.body), c.lines);
  }
}

// Any bytes at all give lines, never a crash and never a line break inside a line.
TEST(ReplyLines, EveryByteValue) {
  std::string body;
  for (int i = 0; i < 256; ++i) body += static_cast<char>(i);
  body += body;
  const Lines lines = secretariat::ReplyLines(body);
  for (const auto& line : lines) EXPECT_EQ(line.find_first_of("\r\n"s + '\0'), std::string::npos);
  // Bytes 0-9 (cut at the NUL), 11-12, 14-255 then 0-9 (cut at the NUL), 11-12, 14-255.
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "\x0B\x0C");
  EXPECT_EQ(lines[2], lines[4]);
}

struct FakeMemo {
  Lines lines{"old"};
  int clears = 0;
  void Clear() {
    ++clears;
    lines.clear();
  }
  void Add(std::string text) { lines.push_back(std::move(text)); }
};

TEST(LoadMemoFromMemoryStream, ReplacesTheMemosLines) {
  FakeMemo memo;
  secretariat::LoadMemoFromMemoryStream(memo, "a\r\nb");
  EXPECT_EQ(memo.lines, (Lines{"a", "b"}));
  EXPECT_EQ(memo.clears, 1);

  Lines plain{"old"};
  secretariat::LoadMemoFromMemoryStream(plain, "");
  EXPECT_EQ(plain, Lines{"0"});
}

}  // namespace
