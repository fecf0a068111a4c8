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
