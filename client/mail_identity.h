#pragma once
// What tells one mail apart on the POP3 server between two connections. Message numbers
// change when another mail program deletes a message, so a mail listed at a check is found
// again by its unique id (UIDL) and, on a server without UIDL, by its Message-ID (or its whole
// header when it has none) before anything is read or deleted by number. An id that the
// server's list gives to more than one mail, at the check or later, tells none of them apart:
// such a mail is found as one without UIDL, under its listed number.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "mail/message.h"
#include "mail/pop3_client.h"

namespace client {

struct MailIdentity {
  std::string uid;        // empty when the server has no UIDL, or gave this id to other mails too
  std::string messageId;  // the Message-ID header, as written
  // For a mail without Message-ID, its header: the whole of it up to kKeptHeader bytes, else
  // its beginning with its size and a hash of the whole, so that the identities of a long list
  // do not hold every long header.
  std::string header;
  std::size_t headerSize = 0;
  std::size_t headerHash = 0;
  static constexpr std::size_t kKeptHeader = 64 * 1024;
  bool Known() const { return !uid.empty() || !messageId.empty() || !header.empty(); }
  bool SameHeader(const MailIdentity& other) const {
    return header == other.header && headerSize == other.headerSize && headerHash == other.headerHash;
  }
};

// The identity of message `number` at a check, from the server's ids (nothing: no UIDL) and
// the header the check fetched, as `parsed` took it apart.
MailIdentity IdentityAt(int number, const std::optional<std::vector<mail::UniqueId>>& uids, const std::string& header,
                        const mail::Message& parsed);
// The same, taking the header apart itself.
MailIdentity IdentityAt(int number, const std::optional<std::vector<mail::UniqueId>>& uids, const std::string& header);

// How a header is taken apart (by default on the spot).
using HeaderParser = std::function<void(mail::Message&, const std::string&)>;

// The number the mail has now on the connected server, or nothing when it is no longer there
// (or cannot be told apart). `uidsNow` is what UIDL answers now; without UIDL the header of
// message `listedNumber` is fetched, taken apart by `parse` and compared.
std::optional<int> CurrentNumber(mail::Pop3Client& pop3, const MailIdentity& identity, int listedNumber,
                                 const std::optional<std::vector<mail::UniqueId>>& uidsNow,
                                 const HeaderParser& parse = nullptr);

}  // namespace client
