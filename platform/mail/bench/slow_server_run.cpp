// mail_slow_server_run [list|read|trickle]: the POP3 client with its real limits against
// scripted servers on 127.0.0.1, timed (minutes each; not a test):
//   list     1500 mails, every reply 100 ms late: STAT, UIDL, every header, QUIT;
//   read     a 20 MB mail sent at 100 KB/s;
//   trickle  a reply dripped one byte every 2 s, until the client gives it up.
#include <chrono>
#include <cstdio>
#include <string>

#include "mail/pop3_client.h"
#include "paced_mailbox.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using mail::test_servers::MailboxPace;
using mail::test_servers::PacedMailbox;
using mail::test_servers::ScriptedPop3;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The client as the main window sets it up, its pump counted.
struct Client {
  explicit Client(const ScriptedPop3& server) {
    pop3.Host = "127.0.0.1";
    pop3.Port = server.Port();
    pop3.Username = "cabinet";
    pop3.Password = "s3cret";
    pop3.Pump = [this] { ++pumped; };
  }
  mail::Pop3Client pop3;
  long pumped = 0;
};

int List() {
  MailboxPace pace;
  pace.replyDelay = 100ms;
  ScriptedPop3 server(PacedMailbox(mail::test_servers::NumberedMails(1500), pace));
  Client c(server);
  const auto start = Clock::now();
  int listed = 0;
  try {
    c.pop3.Connect();
    const int count = c.pop3.CheckMessages();
    c.pop3.UniqueIds();
    for (int i = 1; i <= count; ++i) {
      c.pop3.RetrieveHeader(i);
      listed = i;
    }
  } catch (const std::exception& e) {
    std::printf("failed after %d headers: %s\n", listed, e.what());
  }
  const bool quit = c.pop3.Disconnect();
  std::printf("list: %d of 1500 headers in %.1f s, QUIT %s\n", listed, Seconds(Clock::now() - start),
              quit ? "answered" : "not answered");
  return listed == 1500 && quit ? 0 : 1;
}

int Read() {
  MailboxPace pace;
  pace.piece = 1024;
  pace.pieceEvery = 10ms;  // 100 KB/s
  const std::string mail = mail::test_servers::BigMail(20 * 1024 * 1024, false);
  ScriptedPop3 server(PacedMailbox({mail}, pace));
  Client c(server);
  const auto start = Clock::now();
  std::size_t got = 0;
  try {
    c.pop3.Connect();
    got = c.pop3.Retrieve(1).size();
  } catch (const std::exception& e) {
    std::printf("failed: %s\n", e.what());
  }
  const double took = Seconds(Clock::now() - start);
  const bool quit = c.pop3.Disconnect();
  std::printf("read: %zu of %zu bytes in %.1f s (%.0f KB/s), QUIT %s\n", got, mail.size(), took,
              static_cast<double>(got) / 1024 / took, quit ? "answered" : "not answered");
  return got == mail.size() && quit ? 0 : 1;
}

int Trickle() {
  MailboxPace pace;
  pace.trickle = 2s;
  ScriptedPop3 server(PacedMailbox({mail::test_servers::BigMail(1000, false)}, pace));
  Client c(server);
  c.pop3.Connect();
  const auto start = Clock::now();
  try {
    c.pop3.Retrieve(1);
    std::printf("trickle: read whole?\n");
    return 1;
  } catch (const std::exception& e) {
    std::printf("trickle: given up after %.1f s: %s\n", Seconds(Clock::now() - start), e.what());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "list") return List();
  if (what == "read") return Read();
  if (what == "trickle") return Trickle();
  std::fprintf(stderr, "usage: mail_slow_server_run list|read|trickle\n");
  return 2;
}
