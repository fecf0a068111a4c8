// Taking mail apart: header fields, parts, transfer encodings and character sets.
#include <gtest/gtest.h>

#include "mail/message.h"

namespace {

using mail::Message;

TEST(MessageTest, HeaderFieldsAreDecodedAndTheContentTypeKeptAsWritten) {
  Message m;
  m.Parse("From: =?ISO-8859-1?Q?Ren=E9e?= <renee@exemple.fr>\r\n"
          "Subject: =?UTF-8?B?UsOpdW5pb24=?= de =?ISO-8859-1?Q?f=EAte?=\r\n"
          "Date: Thu, 10 Dec 2026 09:15:30 +0100\r\n"
          "Organization: Cabinet \xC9toile\r\n"
          "Message-ID: <abc@exemple.fr>\r\n"
          "Content-Type: Multipart/Alternative;\r\n boundary=\"b\"\r\n"
          "\r\n");
  EXPECT_EQ(m.FromAddress(), "renee@exemple.fr");
  EXPECT_EQ(m.Subject(), "R\xC3\xA9union de f\xC3\xAAte");
  ASSERT_TRUE(m.Date());
  EXPECT_EQ(m.Date()->unixTime, 1796890530);  // 08:15:30 UTC
  EXPECT_EQ(m.Organization(), "Cabinet \xC3\x89toile");
  EXPECT_EQ(m.MessageId(), "<abc@exemple.fr>");
  EXPECT_EQ(m.ContentType(), "Multipart/Alternative; boundary=\"b\"");
  m.Clear();
  EXPECT_EQ(m.Subject(), "");
  EXPECT_FALSE(m.Date());
}

TEST(MessageTest, AMessageWithoutMimeHasItsBodyAndNoParts) {
  Message m;
  m.Parse("From: a@b.c\r\nSubject: x\r\n\r\nUn <b>gras</b> texte\r\nd\xE9" "but\r\n");
  EXPECT_TRUE(m.Parts().empty());
  EXPECT_EQ(m.Body(), "Un <b>gras</b> texte\r\nd\xC3\xA9" "but\r\n");
  EXPECT_EQ(m.ContentType(), "");
  EXPECT_FALSE(m.Date());
}

TEST(MessageTest, PartsAreTheLeavesInOrderWithTheirTextDecoded) {
  Message m;
  m.Parse("From: a@b.c\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"o\"\r\n\r\n"
          "--o\r\nContent-Type: multipart/alternative; boundary=\"i\"\r\n\r\n"
          "--i\r\nContent-Type: text/plain; charset=ISO-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
          "pr=EAt =\r\n=E0 partir\r\nligne 2\r\n"
          "--i\r\nContent-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
          "PHA+w6l0w6k8L3A+\r\n"
          "--i--\r\n"
          "--o\r\nContent-Type: text/plain; name=\"note.txt\"\r\nContent-Disposition: attachment\r\n\r\nannexe\r\n"
          "--o\r\nContent-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n\r\nJVBERg==\r\n"
          "--o\r\nContent-Type: text/plain; charset=koi8-r\r\n\r\n\xF0\xD2\xC9\xD7\xC5\xD4\r\n"
          "--o--\r\n");
  const auto& parts = m.Parts();
  ASSERT_EQ(parts.size(), 5u);
  EXPECT_EQ(parts[0].contentType, "text/plain; charset=ISO-8859-1");
  EXPECT_TRUE(parts[0].isText);
  EXPECT_EQ(parts[0].bodyLines, (std::vector<std::string>{"pr\xC3\xAAt \xC3\xA0 partir", "ligne 2"}));
  EXPECT_EQ(parts[1].contentType, "text/html; charset=UTF-8");
  EXPECT_EQ(parts[1].bodyLines, (std::vector<std::string>{"<p>\xC3\xA9t\xC3\xA9</p>"}));
  EXPECT_FALSE(parts[2].isText);  // an attachment, even in text
  EXPECT_FALSE(parts[3].isText);
  EXPECT_TRUE(parts[4].isText);
  EXPECT_EQ(parts[4].bodyLines, (std::vector<std::string>{"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"}));
  EXPECT_EQ(m.Body(), "");
}

TEST(MessageTest, TheSenderIsTheAddressAsWritten) {
  const std::pair<const char*, const char*> cases[] = {
      {"MAILER-DAEMON", "MAILER-DAEMON"},  // no domain added
      {"Mail Delivery System <MAILER-DAEMON>", "MAILER-DAEMON"},
      {"=?ISO-8859-1?Q?Ren=E9e?= <renee@exemple.fr>", "renee@exemple.fr"},
      {"\"Dupont, Jean\" <jean@exemple.fr>, autre@exemple.fr", "jean@exemple.fr"},
      {"jean@exemple.fr (Jean Dupont)", "jean@exemple.fr"},
      {"a@b.c, d@e.f", "a@b.c"},
      {"Equipe: jean@exemple.fr, marie@exemple.fr;", "jean@exemple.fr"},
      {"<@relais.fr:jean@exemple.fr>", "jean@exemple.fr"},
      // Comments before, inside and around the mailbox, nested and with escapes.
      {"(Jean) jean@exemple.fr", "jean@exemple.fr"},
      {"(c) a@b.c (d)", "a@b.c"},
      {"(Jean \\( (le) Dupont) <jean@exemple.fr>", "jean@exemple.fr"},
      {"Jean Dupont <jean(c)@exemple.fr>", "jean@exemple.fr"},
      {"\"(pas un commentaire)\" <jean@exemple.fr>", "jean@exemple.fr"},
      {"jean(x)@exemple.fr", "jean@exemple.fr"},
      {"jean@(x)exemple.fr", "jean@exemple.fr"},
  };
  for (const auto& [from, address] : cases) {
    Message m;
    m.Parse(std::string("From: ") + from + "\r\nSubject: s\r\n\r\n");
    EXPECT_EQ(m.FromAddress(), address) << from;
  }
}

TEST(MessageTest, ADateThatCannotBeReadGivesNoDate) {
  const std::pair<const char*, std::int64_t> readable[] = {
      {"Thu, 10 Dec 2026 09:15:30 +0100", 1796890530},
      {"Thu, 10 Dec 2026 09:15:30 +0100 (CET)", 1796890530},
      {"10 Dec 2026 03:15:30 EST", 1796890530},
      {"Thu, 10 Dec 26 08:15:30 GMT", 1796890530},
      {"Thu Dec 10 08:15:30 2026", 1796890530},
      {"Thu, 10 Dec 2026 08:15 -0000", 1796890500},
  };
  for (const auto& [date, unixTime] : readable) {
    Message m;
    m.Parse(std::string("Date: ") + date + "\r\n\r\n");
    ASSERT_TRUE(m.Date()) << date;
    EXPECT_EQ(m.Date()->unixTime, unixTime) << date;
  }
  const char* unreadable[] = {"yesterday-ish", "", "Thu, 31 Feb 2026 08:15:30 +0000", "Thu, 10 Dec 2026 25:15:30 +0000",
                              "10 Foo 2026 08:15:30 +0000", "Thu, 10 Dec 08:15:30 +0000"};
  for (const char* date : unreadable) {
    Message m;
    m.Parse(std::string("Subject: s\r\nDate: ") + date + "\r\n\r\n");
    EXPECT_FALSE(m.Date()) << date;
    EXPECT_EQ(m.Subject(), "s");
  }
}

TEST(MessageTest, TextDeclaredAsUtf8LosesOnlyItsBadBytes) {
  struct Case {
    const char* charset;  // as declared, nullptr for none
    std::string bytes, text;
  };
  const Case cases[] = {
      {"utf-8", "fran\xC3\xA7" "ais \xFF fin", "fran\xC3\xA7" "ais \xEF\xBF\xBD fin"},
      {"UTF-8", "caf\xC3\xA9 \xE9t\xC3\xA9", "caf\xC3\xA9 \xEF\xBF\xBDt\xC3\xA9"},
      {"utf-8", "\xC3\xA7\xC3", "\xC3\xA7\xEF\xBF\xBD"},  // cut at the end
      {nullptr, "fran\xE7" "ais", "fran\xC3\xA7" "ais"},        // undeclared: Windows-1252
      {nullptr, "fran\xC3\xA7" "ais", "fran\xC3\xA7" "ais"},
      {"iso-8859-1", "fran\xE7" "ais", "fran\xC3\xA7" "ais"},
  };
  for (const Case& c : cases) {
    const std::string type = c.charset ? std::string("text/plain; charset=") + c.charset : "text/plain";
    Message single;
    single.Parse("Content-Type: " + type + "\r\n\r\n" + c.bytes);
    EXPECT_EQ(single.Body(), c.text) << c.bytes;
    Message multi;
    multi.Parse("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: " + type + "\r\n\r\n" + c.bytes +
                "\r\n--b--\r\n");
    ASSERT_EQ(multi.Parts().size(), 1u);
    EXPECT_EQ(multi.Parts()[0].bodyLines, std::vector<std::string>{c.text}) << c.bytes;
    // The same bytes as an encoded word of the subject.
    if (c.charset) {
      std::string q;
      for (const char ch : c.bytes) {
        static const char* kHex = "0123456789ABCDEF";
        q += std::string("=") + kHex[static_cast<unsigned char>(ch) >> 4] + kHex[static_cast<unsigned char>(ch) & 15];
      }
      Message header;
      header.Parse("Subject: =?" + std::string(c.charset) + "?Q?" + q + "?=\r\n\r\n");
      EXPECT_EQ(header.Subject(), c.text) << c.bytes;
    }
  }
}

TEST(MessageTest, AMultipartWhoseBoundaryNeverAppearsReadsAsText) {
  {
    Message m;
    m.Parse("Content-Type: multipart/mixed; boundary=\"zz\"\r\n\r\nBonjour,\r\nd\xC3\xA9j\xC3\xA0 lu\r\n");
    EXPECT_TRUE(m.Parts().empty());
    EXPECT_EQ(m.Body(), "Bonjour,\r\nd\xC3\xA9j\xC3\xA0 lu\r\n");
  }
  {
    Message m;
    m.Parse("Content-Type: multipart/alternative\r\n\r\nsans fronti\xE8re\r\n");  // no boundary at all
    EXPECT_EQ(m.Body(), "sans fronti\xC3\xA8re\r\n");
  }
  {
    // Nested: the inner multipart becomes one text part between its neighbours.
    Message m;
    m.Parse("Content-Type: multipart/mixed; boundary=o\r\n\r\n"
            "--o\r\nContent-Type: text/plain\r\n\r\navant\r\n"
            "--o\r\nContent-Type: multipart/alternative; boundary=jamais\r\n\r\ndedans\r\nencore\r\n"
            "--o\r\nContent-Type: text/plain\r\n\r\napr\xC3\xA8s\r\n--o--\r\n");
    ASSERT_EQ(m.Parts().size(), 3u);
    EXPECT_TRUE(m.Parts()[1].isText);
    EXPECT_EQ(m.Parts()[1].bodyLines, (std::vector<std::string>{"dedans", "encore"}));
    EXPECT_EQ(m.Parts()[2].bodyLines, std::vector<std::string>{"apr\xC3\xA8s"});
    EXPECT_EQ(m.Body(), "");
  }
}

TEST(MessageTest, TheHeaderAloneGivesTheFieldsOfTheList) {
  const std::string raw =
      "From: Jean <jean@exemple.fr>\r\nSubject: =?UTF-8?Q?r=C3=A9union?=\r\nDate: Thu, 10 Dec 2026 09:15:30 +0100\r\n"
      "Message-ID: <m1@exemple.fr>\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\ntexte\r\n--b--\r\n";
  Message full, header;
  full.Parse(raw);
  header.ParseHeader(raw);
  EXPECT_EQ(header.Subject(), "r\xC3\xA9union");
  EXPECT_EQ(header.FromAddress(), "jean@exemple.fr");
  EXPECT_EQ(header.Date(), full.Date());
  EXPECT_EQ(header.MessageId(), "<m1@exemple.fr>");
  EXPECT_EQ(header.ContentType(), full.ContentType());
  EXPECT_TRUE(header.Parts().empty());
  EXPECT_EQ(full.Parts().size(), 1u);
}

TEST(MessageTest, TransferEncodingsAreDecodedLeniently) {
  struct Case {
    const char* encoding;
    std::string body, text;
  };
  const Case cases[] = {
      {"quoted-printable", "caf=C3=A9 cr=c3=a8me", "caf\xC3\xA9 cr\xC3\xA8me"},
      {"Quoted-Printable", "une longue =\r\nligne, =\nune autre = \t\r\nfin", "une longue ligne, une autre fin"},
      {"quoted-printable", "5=3D5, =ZZ, =4 et =", "5=5, =ZZ, =4 et "},
      {"base64", "w6l0\r\nw6k=\r\n", "\xC3\xA9t\xC3\xA9"},
      {"BASE64 (commentaire)", "w6l0w6k=w6k=", "\xC3\xA9t\xC3\xA9"},  // vmime's decoder ends at the padding
      {"base64", "!!w6l0!!", "\xC3\xA9t"},
      {"x-uuencode", "begin 644 a.txt\r\n#86)C\r\n`\r\nend\r\n", "abc"},
      {"uuencode", "sans d\xC3\xA9" "but\r\n", "sans d\xC3\xA9" "but\r\n"},
      {"8bit", "caf=C3=A9", "caf=C3=A9"},
      {"x-inconnu", "w6k=", "w6k="},
  };
  for (const Case& c : cases) {
    Message m;
    m.Parse(std::string("Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: ") + c.encoding + "\r\n\r\n" +
            c.body);
    EXPECT_EQ(m.Body(), c.text) << c.encoding << ": " << c.body;
  }
}

TEST(MessageTest, HostileBytesNeverFailAndAlwaysGiveUtf8) {
  const std::string cases[] = {
      "",
      "\r\n\r\n",
      "Subject: =?bogus-charset?Q?caf=E9?=\r\n\r\n\xFF\xFE",
      "Content-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n\xC3(\xFF\r\n",
      "Content-Type: multipart/mixed\r\n\r\nno boundary at all",
      "Date: yesterday-ish\r\nFrom: <<<@@@>>>\r\n\r\n",
      std::string("Subject: \0nul\r\n\r\n\0", 18),
  };
  // Parts nested far deeper than any mail: the header is still read, and the levels beyond
  // those followed make one part that is not text.
  std::string nested = "From: a@b.c\r\nSubject: profond\r\n";
  for (int i = 0; i < 20000; ++i)
    nested += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(i) + "\"\r\n\r\n--b" + std::to_string(i) + "\r\n";
  {
    Message m;
    m.Parse(nested);
    EXPECT_EQ(m.Subject(), "profond");
    ASSERT_EQ(m.Parts().size(), 1u);
    EXPECT_FALSE(m.Parts()[0].isText);
  }
  for (const std::string& raw : cases) {
    Message m;
    EXPECT_NO_THROW(m.Parse(raw));
    for (const auto& p : m.Parts())
      for (const auto& l : p.bodyLines) EXPECT_EQ(l.find('\xFF'), std::string::npos);
  }
}

}  // namespace
