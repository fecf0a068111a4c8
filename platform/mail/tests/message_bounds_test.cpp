// What a sender cannot do to a reading: nest parts without end however the type is spelt, send
// more parts or header fields than any mail has, or make the reading slow.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "mail/message.h"

namespace {

using mail::Message;
using Clock = std::chrono::steady_clock;

double SecondsToParse(Message& m, const std::string& raw) {
  const auto start = Clock::now();
  m.Parse(raw);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A mail whose parts nest `depth` multiparts deep, each typed as `type` and with a boundary
// parameter written as `boundary` (where "#" stands for the level), around one text part.
std::string NestedMail(int depth, const std::string& type, const std::string& boundary) {
  std::string raw = "From: a@b.c\r\nSubject: profond\r\n";
  for (int i = 0; i < depth; ++i) {
    std::string parameter = boundary;
    parameter.replace(parameter.find('#'), 1, std::to_string(i));
    raw += "Content-Type: " + type + ";" + parameter + "\r\n\r\npr\xC3\xA9" "ambule\r\n--b" + std::to_string(i) + "\r\n";
  }
  raw += "Content-Type: text/plain\r\n\r\nle fond\r\n";
  for (int i = depth; i-- > 0;) raw += "--b" + std::to_string(i) + "--\r\n";
  return raw;
}

struct Spelling {
  const char* type;
  const char* boundary;
};

// Every way of writing the type and its boundary that a reader understands as a multipart.
const Spelling kSpellings[] = {
    {"multipart/mixed", " boundary=\"b#\""},
    {"multipart /mixed", " boundary=b#"},
    {"MultiPart/Related", " BOUNDARY=b#"},
    {"multipart\r\n /mixed", "\r\n\tboundary=\"b#\""},
    {"multipart(un commentaire)/mixed", " boundary=(encore) \"b#\""},
    {"  multipart  /  alternative  ", " charset=\"x;y\"; boundary=\"b#\""},
};

TEST(MessageBoundsTest, NestingIsUnderstoodAndBoundedWhateverTheSpelling) {
  for (const Spelling& s : kSpellings) {
    // Nested as real mails are: every level is followed down to the text.
    {
      Message m;
      m.Parse(NestedMail(20, s.type, s.boundary));
      ASSERT_EQ(m.Parts().size(), 1u) << s.type;
      EXPECT_EQ(m.Parts()[0].bodyLines, std::vector<std::string>{"le fond"}) << s.type;
    }
    // Nested as no mail is (285 KB, 4000 levels): read to a bounded depth, at once, and the
    // levels beyond make one part that is not text.
    {
      Message m;
      const std::string raw = NestedMail(4000, s.type, s.boundary);
      const double seconds = SecondsToParse(m, raw);
      EXPECT_EQ(m.Subject(), "profond") << s.type;
      ASSERT_EQ(m.Parts().size(), 1u) << s.type;
      EXPECT_FALSE(m.Parts()[0].isText) << s.type;
      EXPECT_LT(seconds, 5.0) << s.type;
    }
  }
}

TEST(MessageBoundsTest, BoundariesAreFoundHoweverTheyAreWritten) {
  struct Case {
    const char* parameters;  // of the outer multipart
    const char* delimiter;   // its delimiter lines, without the final "--"
    const char* end;         // a line end
    const char* padding = "";  // blanks after the delimiters
  };
  const Case cases[] = {
      {"boundary=\"=_a;b c\"", "--=_a;b c", "\r\n"},
      {"boundary=\"q\\\"uote\"", "--q\"uote", "\r\n"},
      {"(commentaire) boundary = (encore) x", "--x", "\r\n"},
      {"boundary=x", "--x", "\r\n", " \t"},
      {"boundary=x", "--x", "\n"},
  };
  for (const Case& c : cases) {
    const std::string n = c.end, open = c.delimiter + std::string(c.padding) + n,
                      close = c.delimiter + std::string("--") + c.padding + n;
    // The inner boundary begins with the outer one: its delimiters are not the outer's.
    const std::string raw = "Content-Type: multipart/mixed; " + std::string(c.parameters) + n + n + open +
                            "Content-Type: multipart/alternative; boundary=\"x_2\"" + n + n + "--x_2" + n +
                            "Content-Type: text/plain" + n + n + "un" + n + "--x_2" + n + "Content-Type: text/html" + n + n +
                            "<p>deux</p>" + n + "--x_2--" + n + open + n + "trois" + n + close;
    Message m;
    m.Parse(raw);
    ASSERT_EQ(m.Parts().size(), 3u) << c.parameters;
    EXPECT_EQ(m.Parts()[0].bodyLines, std::vector<std::string>{"un"}) << c.parameters;
    EXPECT_EQ(m.Parts()[1].bodyLines, std::vector<std::string>{"<p>deux</p>"}) << c.parameters;
    EXPECT_EQ(m.Parts()[2].bodyLines, std::vector<std::string>{"trois"}) << c.parameters;
  }
}

TEST(MessageBoundsTest, LinesThatOnlyLookLikeDelimitersStayInTheText) {
  // A delimiter line is the boundary and blanks, or the boundary, "--" and blanks: lines that
  // only begin with it are text, also where a lenient reader would split or close there.
  const std::vector<std::string> text = {"--x-", "--x--suite", "--xy", "\r--x", "fin"};
  std::string body;
  for (const std::string& line : text) body += line + "\r\n";
  Message m;
  m.Parse("Content-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\nContent-Type: text/plain\r\n\r\n" + body +
          "--x\r\nContent-Type: text/plain\r\n\r\napr\xC3\xA8s\r\n--x--\r\n");
  ASSERT_EQ(m.Parts().size(), 2u);
  EXPECT_EQ(m.Parts()[0].bodyLines, (std::vector<std::string>{"--x-", "--x--suite", "--xy", "", "--x", "fin"}));
  EXPECT_EQ(m.Parts()[1].bodyLines, std::vector<std::string>{"apr\xC3\xA8s"});
}

TEST(MessageBoundsTest, TheDepthFollowedEndsAtThirtyTwoLevels) {
  Message within, beyond;
  within.Parse(NestedMail(31, "multipart/mixed", " boundary=b#"));  // the message and 30 more
  ASSERT_EQ(within.Parts().size(), 1u);
  EXPECT_TRUE(within.Parts()[0].isText);
  beyond.Parse(NestedMail(33, "multipart/mixed", " boundary=b#"));
  ASSERT_EQ(beyond.Parts().size(), 1u);
  EXPECT_FALSE(beyond.Parts()[0].isText);
  EXPECT_NE(beyond.Parts()[0].contentType.find("b32"), std::string::npos);
}

TEST(MessageBoundsTest, ManyPartsAreCutToTheFirstThousand) {
  // 4 MB of empty parts, then a text part no reader reaches.
  std::string raw = "Subject: vide\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n";
  while (raw.size() < 4'000'000) raw += "--b\r\n";
  raw += "--b\r\nContent-Type: text/plain\r\n\r\ntrop loin\r\n--b--\r\n";
  Message m;
  const double seconds = SecondsToParse(m, raw);
  EXPECT_EQ(m.Parts().size(), 1000u);
  for (const auto& part : m.Parts()) EXPECT_TRUE(part.bodyLines.empty());
  EXPECT_EQ(m.Subject(), "vide");
  EXPECT_LT(seconds, 5.0);
}

TEST(MessageBoundsTest, TheTextsOfThePartsAreCutToTheirFirstMillionLines) {
  // 2 MB of empty lines over two parts: 2 million lines of which the first 1048576 are kept.
  const std::string lines(1'000'000, '\n');
  const std::string raw = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\n" + lines + "un\r\n--b\r\n\r\n" + lines +
                          "deux\r\n--b--\r\n";
  Message m;
  m.Parse(raw);
  ASSERT_EQ(m.Parts().size(), 2u);
  EXPECT_EQ(m.Parts()[0].bodyLines.size(), 1'000'001u);
  EXPECT_EQ(m.Parts()[0].bodyLines.back(), "un");
  EXPECT_EQ(m.Parts()[1].bodyLines.size(), 48'575u);
}

TEST(MessageBoundsTest, TheBodyIsCutToItsFirstMillionLines) {
  // A mail without parts of 3 million empty lines, LF, CR and CR LF alike: the reader would
  // otherwise get a line for each.
  for (const std::string eol : {"\n", "\r", "\r\n"}) {
    std::string body;
    for (int i = 0; i < 3'000'000; ++i) body += eol;
    Message m;
    m.Parse("From: a@b.c\r\nSubject: vide\r\n\r\n" + body + "fin\r\n");
    EXPECT_EQ(m.Body(), body.substr(0, (1u << 20) * eol.size())) << eol.size();
    EXPECT_EQ(m.Subject(), "vide");
  }
}

TEST(MessageBoundsTest, AFieldCutToItsBoundKeepsItsCharactersWhole) {
  // A subject of 90 KB of "€" (three bytes each) over folded lines: the part kept ends on a whole
  // character, so it still reads as UTF-8 and not, whole, as Windows-1252.
  for (const std::string lead : {"Facture", "Factures", "Facture n"}) {
    std::string raw = "From: a@b.c\r\nSubject: " + lead;
    for (int line = 0; line < 30; ++line) {
      raw += "\r\n ";
      for (int i = 0; i < 1000; ++i) raw += "\xE2\x82\xAC";
    }
    raw += "\r\n\r\ncorps\r\n";
    Message m;
    m.Parse(raw);
    const std::string& subject = m.Subject();
    EXPECT_EQ(subject.rfind(lead + " \xE2\x82\xAC\xE2\x82\xAC", 0), 0u) << lead;
    EXPECT_LE(subject.size(), 65536u);
    EXPECT_GT(subject.size(), 60000u);
    EXPECT_EQ(subject.find("\xC3\xA2"), std::string::npos) << "read as Windows-1252";
    EXPECT_EQ(subject.find("\xEF\xBF\xBD"), std::string::npos) << "a character cut in two";
  }
}

TEST(MessageBoundsTest, HugeHeadersAreReadInOnePass) {
  // 16 MB of header fields, the ones the list shows at the end.
  std::string raw = "X-Debut: 1\r\n";
  for (int i = 0; raw.size() < 16'000'000; ++i) raw += "X-Champ-" + std::to_string(i) + ": valeur\r\n";
  raw += "From: fin@exemple.fr\r\nSubject: =?UTF-8?Q?enfin_l=C3=A0?=\r\n\r\ncorps\r\n";
  Message m;
  double seconds = SecondsToParse(m, raw);
  EXPECT_EQ(m.FromAddress(), "fin@exemple.fr");
  EXPECT_EQ(m.Subject(), "enfin l\xC3\xA0");
  EXPECT_EQ(m.Body(), "corps\r\n");
  EXPECT_LT(seconds, 5.0);
  // One field of 16 MB: its first 64 KB are kept.
  const std::string huge = "Subject: " + std::string(16'000'000, 'x') + "\r\n\r\n";
  seconds = SecondsToParse(m, huge);
  EXPECT_EQ(m.Subject(), std::string(65536, 'x'));
  EXPECT_LT(seconds, 5.0);
  // A subject of 16 MB of encoded words in many character sets.
  std::string words = "Subject:";
  while (words.size() < 16'000'000) words += " =?koi8-r?Q?=F0?= =?iso-8859-2?Q?=A3?= =?x-inconnu?B?AAAA?=";
  seconds = SecondsToParse(m, words + "\r\n\r\n");
  EXPECT_FALSE(m.Subject().empty());
  EXPECT_LT(seconds, 5.0);
}

TEST(MessageBoundsTest, ReadingTimeGrowsWithTheDepthNotItsSquare) {
  // Ten times the levels must not take anywhere near a hundred times the time.
  const std::string shallow = NestedMail(200, "multipart /mixed", " boundary=b#");
  const std::string deep = NestedMail(2000, "multipart /mixed", " boundary=b#");
  Message m;
  double shallowTime = 1e9, deepTime = 1e9;
  for (int run = 0; run < 3; ++run) {  // the best of three, against a loaded machine
    shallowTime = std::min(shallowTime, SecondsToParse(m, shallow));
    deepTime = std::min(deepTime, SecondsToParse(m, deep));
  }
  EXPECT_LT(deepTime, 30 * shallowTime + 0.2);
}

}  // namespace
