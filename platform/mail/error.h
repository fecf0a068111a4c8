#pragma once
// The one exception of the mail layer: every failure of a connection, of the server's replies
// or of a message raises it, with a French text fit to show to the user. A refusal of the
// server ("-ERR ...") carries the server's own text.
#include <stdexcept>
#include <string>

namespace mail {

enum class Failure {
  Resolve,    // the host name gave no address
  Connect,    // the connection could not be made
  Timeout,    // the server was silent for the read time-out, or a reply came slower than the floor rate
  Closed,     // the server closed the connection
  LineTooLong,  // a reply line longer than the limit
  TooLarge,   // a message larger than the limit
  Refused,    // the server answered "-ERR"
  BadReply,   // a reply that is not POP3
  Usage,      // a call the connection's state does not allow
  Aborted,    // the session was ended by its owner (the program closes)
};

class EMailError : public std::runtime_error {
 public:
  EMailError(Failure kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  Failure Kind() const noexcept { return kind_; }

 private:
  Failure kind_;
};

}  // namespace mail
