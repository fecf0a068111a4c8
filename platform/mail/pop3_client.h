#pragma once
// A POP3 client (RFC 1939) that says no more than the mail watch needs: USER and PASS to log
// in (no APOP, no SASL, no TLS), STAT, TOP n 0, RETR n, UIDL, DELE n and QUIT. One connection
// at a time; each operation of the caller connects, works and disconnects.
//
// Every call blocks the calling thread until the server has answered, but calls the caller's
// `Pump` at least every `PumpInterval` while it works, whether bytes keep arriving or not, so
// windows stay alive. A reply is bounded by its progress, not by its length: it fails when
// nothing arrives for `ReadTimeout`, or when, over any `LowSpeedTime` since it began, it brought
// fewer than `LowSpeedLimit` bytes a second (curl's low-speed limit), so a server that trickles
// is cut while a slow but steady one completes any operation. A reply line longer than
// `MaxLineLength` fails too (it is never split). `Abort` ends a session at once. Every failure
// raises mail::EMailError; a refusal of the server ("-ERR") leaves the connection open (a
// refused login closes it), any other failure closes it.
//
// Texts cross the boundary in Windows-1252: the user name and the password go out in it, and the
// server's refusal texts come back converted to UTF-8.
#include <netdb.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mail/error.h"

namespace mail {

// A message's number in the mailbox (from 1) and its unique id (UIDL).
struct UniqueId {
  int number = 0;
  std::string id;
  bool operator==(const UniqueId&) const = default;
};

class Pop3Client {
 public:
  Pop3Client();
  ~Pop3Client();
  Pop3Client(const Pop3Client&) = delete;
  Pop3Client& operator=(const Pop3Client&) = delete;

  // The account; read at each Connect.
  std::string Host;
  int Port = 110;
  std::string Username;
  std::string Password;

  // The limits: the connection and every silence of the server; the floor rate of a reply
  // (bytes a second: 1 KB/s is below any real link, a byte every few seconds far below it) and
  // the period it is measured over; the longest reply line (without its CR LF); the largest
  // message (headers or whole) taken in.
  std::chrono::milliseconds ReadTimeout{120000};
  std::size_t LowSpeedLimit = 1024;
  std::chrono::milliseconds LowSpeedTime{120000};
  std::size_t MaxLineLength = 16384;
  std::size_t MaxMessageSize = 64 * 1024 * 1024;
  // Called on the calling thread at least every `PumpInterval` while a call works with the
  // network. When it throws, the connection is closed and the exception goes on to the caller.
  std::function<void()> Pump;
  std::chrono::milliseconds PumpInterval{10};
  // Looks the host up (getaddrinfo's contract; the result is freed with freeaddrinfo). It runs on
  // a thread of its own while the caller pumps, since a resolver that does not answer can take
  // half a minute; a session that ends meanwhile leaves it to finish by itself.
  using Resolver =
      std::function<int(const std::string& host, const std::string& port, const addrinfo& hints, addrinfo** found)>;
  Resolver Resolve;

  // Connects and logs in with USER and PASS.
  void Connect();
  bool Connected() const;
  // STAT: the number of messages in the mailbox.
  int CheckMessages();
  // TOP n 0: the header of message n, as the server sends it (lines joined by CR LF).
  std::string RetrieveHeader(int number);
  // RETR n: the whole of message n.
  std::string Retrieve(int number);
  // UIDL: the unique id of every message; nothing when the server does not know the command
  // or when its list cannot be read (a line without a number and an id).
  std::optional<std::vector<UniqueId>> UniqueIds();
  // DELE n: flags message n; the server removes it at QUIT.
  void Delete(int number);
  // QUIT when connected (the server then commits the deletions), and the connection closed.
  // Never throws; false when the server did not confirm the QUIT.
  bool Disconnect() noexcept;
  // Ends the session under way at once, also from the pump while a call waits: that call and
  // every later one until the next Connect fail with Failure::Aborted, and nothing more is sent.
  void Abort() noexcept;

 private:
  struct Connection;
  std::unique_ptr<Connection> conn_;
  bool busy_ = false;
  std::atomic<bool> aborted_{false};

  // Throws when the session was aborted.
  void ThrowIfAborted() const;

  template <class F>
  auto Guarded(F&& work);
  std::string Command(const std::string& line);
  std::string MultiLine(const std::string& line);
};

}  // namespace mail
