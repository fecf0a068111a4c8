#include "sample_mails.h"

namespace mail::test_servers {

std::vector<std::string> SampleMails() {
  return {
      "From: Jeanne Martin <jeanne.martin@exemple.fr>\r\n"
      "To: cabinet@exemple.fr\r\n"
      "Subject: Rendez-vous de jeudi\r\n"
      "Date: Tue, 08 Dec 2026 09:15:00 +0100\r\n"
      "Message-ID: <sample-1@exemple.fr>\r\n"
      "\r\n"
      "Bonjour,\r\n"
      "pouvez-vous d\xE9placer mon rendez-vous de jeudi ?\r\n"
      "Jeanne\r\n",

      "From: secretariat@orvalis.example\r\n"
      "To: cabinet@exemple.fr\r\n"
      "Subject: =?UTF-8?Q?Planning_de_d=C3=A9cembre?=\r\n"
      "Date: Wed, 09 Dec 2026 17:40:12 +0100\r\n"
      "Organization: Orvalis\r\n"
      "Message-ID: <sample-2@orvalis.example>\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: multipart/alternative; boundary=\"sep\"\r\n"
      "\r\n"
      "--sep\r\n"
      "Content-Type: text/plain; charset=ISO-8859-1\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "\r\n"
      "Le planning de d=E9cembre est pr=EAt.\r\n"
      "--sep\r\n"
      "Content-Type: text/html; charset=UTF-8\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "\r\n"
      "PGh0bWw+PGJvZHk+PHA+TGUgPGI+cGxhbm5pbmc8L2I+IGRlIGTDqWNlbWJyZSBlc3QgcHLDqnQuPC9w\r\n"
      "PjwvYm9keT48L2h0bWw+\r\n"
      "--sep--\r\n",

      "From: Paul <paul@amis.example>\r\n"
      "To: cabinet@exemple.fr\r\n"
      "Subject: Nouvelles\r\n"
      "Date: Thu, 10 Dec 2026 08:02:30 +0100\r\n"
      "Message-ID: <sample-3@amis.example>\r\n"
      "\r\n"
      "Tout va bien ici.\r\n",
  };
}

}  // namespace mail::test_servers
