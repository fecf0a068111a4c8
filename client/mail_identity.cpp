#include "mail_identity.h"

#include <functional>

#include "mail/message.h"

namespace client {

namespace {

// The id of message `number` when the list holds it once; an id the list repeats tells no mail
// apart from the others that carry it, and is no identity.
std::string UniqueIdOf(int number, const std::vector<mail::UniqueId>& uids) {
  std::string id;
  for (const mail::UniqueId& u : uids)
    if (u.number == number) id = u.id;
  if (id.empty()) return id;
  int carriers = 0;
  for (const mail::UniqueId& u : uids)
    if (u.id == id) ++carriers;
  return carriers == 1 ? id : std::string();
}

}  // namespace

MailIdentity IdentityAt(int number, const std::optional<std::vector<mail::UniqueId>>& uids, const std::string& header,
                        const mail::Message& parsed) {
  MailIdentity identity;
  if (uids) identity.uid = UniqueIdOf(number, *uids);
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
    std::optional<int> found;
    int carriers = 0;
    for (const mail::UniqueId& u : *uidsNow)
      if (u.id == identity.uid) {
        found = u.number;
        ++carriers;
      }
    if (carriers <= 1) return found;
    // The server now gives the id to more than one mail: it no longer tells which is ours, so
    // the mail is looked for as one without id. A mail under the listed number that now has an
    // id of its own (another one) is surely not it.
    if (!UniqueIdOf(listedNumber, *uidsNow).empty()) return std::nullopt;
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
