// sample-mailbox [--port N] [--user U] [--password P]: Dovecot on 127.0.0.1 with the sample
// mails, until Ctrl-C. Prints the server, the port and the account to type into the client.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>

#include "dovecot_server.h"
#include "sample_mails.h"

namespace {
volatile std::sig_atomic_t stop = 0;
void OnSignal(int) { stop = 1; }
}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  std::string user = "cabinet", password = "s3cret";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--port") {
      port = std::atoi(argv[i + 1]);
    } else if (option == "--user") {
      user = argv[i + 1];
    } else if (option == "--password") {
      password = argv[i + 1];
    } else {
      std::cerr << "usage: sample-mailbox [--port N] [--user U] [--password P]\n";
      return 2;
    }
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  try {
    mail::test_servers::DovecotServer server(user, password, port);
    for (const std::string& m : mail::test_servers::SampleMails()) server.Deliver(m);
    std::cout << "Serveur (POP3): " << server.Host() << "\nPort: " << server.Port() << "\nNom du compte: " << user
              << "\nMot de passe: " << password << "\n(" << server.Folder() << "; Ctrl-C stops it)" << std::endl;
    while (!stop) ::pause();
  } catch (const std::exception& e) {
    std::cerr << "sample-mailbox: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
