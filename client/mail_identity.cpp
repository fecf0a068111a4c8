#include "mail_identity.h"

#include <functional>

#include "mail/message.h"

namespace client {

MailIdentity IdentityAt(int number, const std::optional<std::vector<mail::UniqueId>>& uids, const std::string& header,
                        const mail::Message& parsed) {
  MailIdentity identity;
  if (uids)
    for (const mail::UniqueId& u : *uids)
      if (u.number == number) identity.uid = u.id;
  identity.messageId = parsed.MessageId();
  if (identity.messageId.empty()) {
    identity.header = header.substr(0, MailIdentity::kKeptHeader);
    identity.headerSize = header.size();
    if (header.size() > MailIdentity::kKeptHeader) identity.headerHash = std::hash<std::string>{}(header);
  }
  return identity;
}

MailIdentity IdentityAt(int number, const std::optional<std::vector<mail::UniqueId>>& uids, const std::string& header) {
  mail::Message message;
  message.ParseHeader(header);
  return IdentityAt(number, uids, header, message);
}

std::optional<int> CurrentNumber(mail::Pop3Client& pop3, const MailIdentity& identity, int listedNumber,
                                 const std::optional<std::vector<mail::UniqueId>>& uidsNow, const HeaderParser& parse) {
  if (!identity.uid.empty() && uidsNow) {
    for (const mail::UniqueId& u : *uidsNow)
      if (u.id == identity.uid) return u.number;
    return std::nullopt;
  }
  if (identity.messageId.empty() && identity.header.empty()) return std::nullopt;
  if (listedNumber < 1) return std::nullopt;
  // No ids to go by: the mail still under its number must be the one listed.
  std::string header;
  try {
    header = pop3.RetrieveHeader(listedNumber);
  } catch (const mail::EMailError& e) {
    if (e.Kind() == mail::Failure::Refused) return std::nullopt;  // no message of that number now
    throw;
  }
  mail::Message parsed;
  if (parse)
    parse(parsed, header);
  else
    parsed.ParseHeader(header);
  const MailIdentity now = IdentityAt(listedNumber, std::nullopt, header, parsed);
  const bool same = identity.messageId.empty() ? now.messageId.empty() && now.SameHeader(identity)
                                               : now.messageId == identity.messageId;
  return same ? std::optional<int>(listedNumber) : std::nullopt;
}

}  // namespace client
