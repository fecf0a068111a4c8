// A mutation run over the message model: crafted mails (nesting, folding, encodings, boundaries,
// huge headers), changed by a fixed-seed generator a bounded number of times, are read whole and
// for their header alone. Whatever the bytes, a reading must not crash or throw, must give UTF-8
// in every text it shows, must stay within its bounds and must end quickly.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "mail/message.h"

namespace {

using mail::Message;
using Clock = std::chrono::steady_clock;

bool IsUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    std::uint32_t code = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      code = (code << 6) | (cc & 0x3F);
    }
    static constexpr std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kMin[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

std::string Nested(int depth, const std::string& type) {
  std::string raw = "From: a@b.c\r\nSubject: profond\r\n";
  for (int i = 0; i < depth; ++i)
    raw += "Content-Type: " + type + "; boundary=\"b" + std::to_string(i) + "\"\r\n\r\n--b" + std::to_string(i) + "\r\n";
  return raw + "Content-Type: text/plain; charset=utf-8\r\n\r\nfond \xC3\xA9t\xC3\xA9\r\n";
}

// The mails the run starts from: what real mail programs write, and what hostile ones do.
std::vector<std::string> Seeds() {
  std::vector<std::string> seeds = {
      "From: =?ISO-8859-1?Q?Ren=E9e?= <renee@exemple.fr>\r\n"
      "Subject: =?UTF-8?B?UsOpdW5pb24=?= de =?ISO-8859-1?Q?f=EAte?=\r\n"
      "Date: Thu, 10 Dec 2026 09:15:30 +0100 (CET)\r\nOrganization: Cabinet \xC9toile\r\n"
      "Message-ID: <abc@exemple.fr>\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed;\r\n boundary=\"o\"\r\n\r\npr\xE9" "ambule\r\n"
      "--o\r\nContent-Type: multipart/alternative; boundary=\"i\"\r\n\r\n"
      "--i\r\nContent-Type: text/plain; charset=ISO-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
      "pr=EAt =\r\n=E0 partir\r\nligne 2\r\n"
      "--i\r\nContent-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
      "PHA+w6l0w6k8L3A+\r\n--i--\r\n"
      "--o\r\nContent-Type: text/plain; name=\"note.txt\"\r\nContent-Disposition: attachment\r\n\r\nannexe\r\n"
      "--o\r\nContent-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n\r\nJVBERg==\r\n"
      "--o\r\nContent-Type: text/plain; charset=koi8-r\r\n\r\n\xF0\xD2\xC9\xD7\xC5\xD4\r\n"
      "--o--\r\n\xE9pilogue\r\n",
      // Folded and commented types, a quoted boundary with specials, LF line ends.
      "From: \"Dupont, Jean\" <jean@exemple.fr>\nSubject: =?utf-8?q?caf=C3=A9?=\n =?utf-8?q?_cr=C3=A8me?=\n"
      "Content-Type: multipart\n (commentaire) /mixed;\n\tboundary=\"=_a;b \\\"c\\\"\"\n\n"
      "--=_a;b \"c\"\nContent-Type: text/plain; charset=\"utf-8\"\nContent-Transfer-Encoding: 8bit\n\n"
      "fran\xC3\xA7" "ais \xFF\n--=_a;b \"c\"  \nContent-Type: TEXT/HTML\n\n<b>gras</b>\n--=_a;b \"c\"--\n",
      // uuencode, an unknown encoding and an unknown character set.
      "From: MAILER-DAEMON\r\nDate: yesterday\r\nContent-Type: multipart/report; boundary=r\r\n\r\n"
      "--r\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\n"
      "begin 644 a.txt\r\n#86)C\r\n`\r\nend\r\n"
      "--r\r\nContent-Type: text/plain; charset=x-nothing\r\nContent-Transfer-Encoding: x-strange\r\n\r\n\xE9t\xE9\r\n"
      "--r\r\nContent-Type: message/rfc822\r\n\r\nSubject: dedans\r\n\r\ncorps\r\n--r--\r\n",
      // A boundary that never appears, header-only parts, empty parts.
      "Subject: =?bogus?Q?caf=E9?= =?utf-8?B?////?=\r\nContent-Type: multipart/mixed; boundary=jamais\r\n\r\n"
      "texte sans limite\r\n--jamai\r\n--jamais-\r\n",
      "Content-Type: multipart/mixed; boundary=e\r\n\r\n--e\r\n--e\r\nContent-Type: text/plain\r\n--e\r\n\r\n--e--",
      // No MIME at all, 8-bit text, bare CRs.
      "From: jean@exemple.fr (Jean)\r\nSubject: \xE9t\xE9\rlong\r\n\r\nUn <b>gras</b>\rtexte d\xE9" "but\r\n.\r\n",
      Nested(40, "multipart/mixed"),
      Nested(40, "multipart /mixed"),
      Nested(40, "Multipart\r\n /Alternative"),
  };
  return seeds;
}

// Pieces that make the parser's decisions, inserted where a change hurts most.
const char* const kPieces[] = {"\r\n", "\n", "\r", "\r\n\r\n", "\r\n ", "--", "--o", "--o--", "--i\r\n", "--b1",
                               "=?", "?=", "=?utf-8?B?", "=?iso-8859-1?Q?", "?Q?", "=\r\n", "=E", "(", ")", "\"",
                               "\\", ";", "=", "<", ">", "@", ":", ",", "\xFF", "\xC3", "\xE2\x82",
                               "Content-Type: multipart/mixed; boundary=o\r\n\r\n", "multipart /mixed",
                               "Content-Transfer-Encoding: base64\r\n", "quoted-printable", "boundary=",
                               "charset=utf-8", "Date: 31 Feb 99 25:61 +9999\r\n", "begin 644 x\r\n", "\0"};

std::string Mutate(const std::string& original, std::mt19937& rng) {
  std::string b = original;
  const int edits = 1 + static_cast<int>(rng() % 4);
  for (int e = 0; e < edits && !b.empty(); ++e) {
    const std::size_t at = rng() % b.size();
    switch (rng() % 7) {
      case 0:
        b[at] = static_cast<char>(b[at] ^ (1 << (rng() % 8)));
        break;
      case 1:
        b[at] = static_cast<char>(rng());
        break;
      case 2:
      case 3: {
        const char* piece = kPieces[rng() % std::size(kPieces)];
        b.insert(at, piece, std::max<std::size_t>(1, std::char_traits<char>::length(piece)));
        break;
      }
      case 4:
        b.erase(at, 1 + rng() % 64);
        break;
      case 5: {  // a stretch repeated, which deepens nestings and multiplies parts
        const std::string stretch = b.substr(at, 1 + rng() % 200);
        for (int k = 1 + static_cast<int>(rng() % 8); k > 0 && b.size() < 400'000; --k) b.insert(at, stretch);
        break;
      }
      default:
        b.resize(at);
        break;
    }
  }
  return b;
}

struct Figures {
  int mails = 0;
  double seconds = 0, longest = 0;
};

void Check(const std::string& raw, Figures& figures) {
  Message whole, header;
  const auto start = Clock::now();
  EXPECT_NO_THROW(whole.Parse(raw));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_NO_THROW(header.ParseHeader(raw));
  ++figures.mails;
  figures.seconds += seconds;
  figures.longest = std::max(figures.longest, seconds);
  for (const std::string* text : {&whole.Subject(), &whole.FromAddress(), &whole.Organization(), &whole.ContentType(),
                                  &whole.Body()})
    ASSERT_TRUE(IsUtf8(*text)) << raw;
  ASSERT_LE(whole.Parts().size(), 1000u);
  for (const auto& part : whole.Parts()) {
    if (!part.isText) {
      ASSERT_TRUE(part.bodyLines.empty());
    }
    for (const std::string& line : part.bodyLines) ASSERT_TRUE(IsUtf8(line)) << raw;
  }
  // The header alone reads as the header of the whole.
  ASSERT_EQ(header.Subject(), whole.Subject());
  ASSERT_EQ(header.FromAddress(), whole.FromAddress());
  ASSERT_EQ(header.Date(), whole.Date());
  ASSERT_EQ(header.MessageId(), whole.MessageId());
  ASSERT_TRUE(header.Parts().empty() && header.Body().empty());
}

TEST(MessageMutationTest, MutatedMailsAreReadSafelyAndQuickly) {
  constexpr int kMutantsPerSeed = 10000;
  std::mt19937 rng(20261210u);
  Figures figures;
  const auto begin = Clock::now();
  for (const std::string& seed : Seeds()) {
    Check(seed, figures);
    for (int i = 0; i < kMutantsPerSeed && !HasFatalFailure(); ++i) Check(Mutate(seed, rng), figures);
  }
  // Large mails, fewer times: deep nesting however typed, and huge headers.
  std::string fields = "Subject: gros\r\n";
  for (int i = 0; fields.size() < 2'000'000; ++i) fields += "X-" + std::to_string(i) + ": =?utf-8?Q?=C3=A9?= (c)\r\n";
  std::string parts = "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
  while (parts.size() < 2'000'000) parts += "--b\r\nContent-Type: text/plain\r\n\r\n\xC3\xA9\r\n";
  for (const std::string& big : {Nested(4000, "multipart /mixed"), Nested(4000, "multipart\r\n /mixed"), fields, parts}) {
    Check(big, figures);
    for (int i = 0; i < 60 && !HasFatalFailure(); ++i) Check(Mutate(big, rng), figures);
  }
  const double total = std::chrono::duration<double>(Clock::now() - begin).count();
  std::cout << "Mutation run: " << figures.mails << " mails read in " << figures.seconds << " s (run " << total
            << " s), longest reading " << figures.longest * 1000 << " ms\n";
  RecordProperty("mails", figures.mails);
  RecordProperty("longest_ms", static_cast<int>(figures.longest * 1000));
  // No reading freezes a window: generous, for a loaded machine under the sanitizers.
  EXPECT_LT(figures.longest, 5.0);
}

}  // namespace
