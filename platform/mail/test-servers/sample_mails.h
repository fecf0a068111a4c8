#pragma once
// A few mails of every kind the mail watch shows: plain, multipart/alternative with an HTML
// part, quoted-printable Latin-1, base64 UTF-8, and one from a friend's domain.
#include <string>
#include <vector>

namespace mail::test_servers {

std::vector<std::string> SampleMails();

}  // namespace mail::test_servers
