#pragma once
// A real POP3 server for tests and for trying the client by hand: Dovecot on 127.0.0.1, on a
// free port, with a private configuration, its own run and state folders, a passwd file with
// one account and a maildir, all in a temporary folder that goes with the server. The
// constructor returns once the server greets; the destructor stops it (and waits for it, a
// few seconds at most) and removes the folder.
//
// Run as root, Dovecot's own users ("dovecot", "dovenull") serve the logins and own the mail;
// run as anyone else, that user does.
#include <string>
#include <sys/types.h>
#include <vector>

namespace mail::test_servers {

class DovecotServer {
 public:
  explicit DovecotServer(std::string user = "marie", std::string password = "s3cret", int port = 0);
  ~DovecotServer();
  DovecotServer(const DovecotServer&) = delete;
  DovecotServer& operator=(const DovecotServer&) = delete;

  const std::string& Host() const { return host_; }
  int Port() const { return port_; }
  const std::string& User() const { return user_; }
  const std::string& Password() const { return password_; }
  const std::string& Folder() const { return folder_; }

  // Delivers a message (its bytes as they are) after the ones delivered before.
  void Deliver(const std::string& raw);
  // The messages of the mailbox now, in delivery order (what a deletion left).
  std::vector<std::string> Messages() const;
  // Dovecot's log so far.
  std::string Log() const;

 private:
  void WriteConfiguration();
  void Start();
  void Stop() noexcept;

  std::string host_ = "127.0.0.1";
  std::string user_, password_;
  int port_ = 0;
  std::string folder_;
  std::string maildir_;
  pid_t pid_ = -1;
  int delivered_ = 0;
};

// The dovecot program, or empty when it is not installed.
std::string DovecotProgram();

}  // namespace mail::test_servers
