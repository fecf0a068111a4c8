// paced-mailbox [--mails N] [--reply-delay MS] [--mail-bytes B [--one-line]] [--rate BYTES_PER_S
// [--piece BYTES]] [--trickle MS]: a POP3 server on 127.0.0.1 (any user and password) serving a
// mailbox at a chosen pace, until Ctrl-C. Prints the port to type into the client.
//   --mails N          N small mails (default 1, unless --mail-bytes)
//   --reply-delay MS   every reply that late
//   --mail-bytes B     one mail of B bytes of text (lines of 76 characters, or --one-line: one
//                      line in quoted-printable)
//   --rate R           RETR sent at R bytes a second, in pieces of --piece bytes (1460)
//   --trickle MS       RETR sent one byte every MS
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>

#include "paced_mailbox.h"

namespace {
volatile std::sig_atomic_t stop = 0;
void OnSignal(int) { stop = 1; }
}  // namespace

int main(int argc, char** argv) {
  using namespace mail::test_servers;
  int count = 1;
  std::size_t bytes = 0, piece = 1460;
  double rate = 0;
  bool oneLine = false;
  MailboxPace pace;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "0";
    if (option == "--one-line") {
      oneLine = true;
      continue;
    }
    ++i;
    if (option == "--mails") count = std::atoi(value);
    else if (option == "--reply-delay") pace.replyDelay = std::chrono::milliseconds(std::atol(value));
    else if (option == "--mail-bytes") bytes = std::strtoull(value, nullptr, 10);
    else if (option == "--rate") rate = std::atof(value);
    else if (option == "--piece") piece = std::strtoull(value, nullptr, 10);
    else if (option == "--trickle") pace.trickle = std::chrono::milliseconds(std::atol(value));
    else {
      std::cerr << "usage: paced-mailbox [--mails N] [--reply-delay MS] [--mail-bytes B [--one-line]] "
                   "[--rate BYTES_PER_S [--piece BYTES]] [--trickle MS]\n";
      return 2;
    }
  }
  if (rate > 0 && piece > 0) {
    pace.piece = piece;
    pace.pieceEvery = std::chrono::microseconds(static_cast<long>(1e6 * static_cast<double>(piece) / rate));
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  try {
    ScriptedPop3 server(PacedMailbox(bytes > 0 ? std::vector<std::string>{BigMail(bytes, oneLine)} : NumberedMails(count), pace));
    std::cout << "Serveur (POP3): 127.0.0.1\nPort: " << server.Port() << "\n(any account; Ctrl-C stops it)" << std::endl;
    while (!stop) ::pause();
  } catch (const std::exception& e) {
    std::cerr << "paced-mailbox: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
