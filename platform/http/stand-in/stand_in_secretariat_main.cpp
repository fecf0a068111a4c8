// stand-in-secretariat: serves the sample secretariat on 127.0.0.1 until Ctrl-C.
//
//   stand-in-secretariat [--port N] [--login L --password P] [--new-every SECONDS] [--slow MS]
//
// Without --port a free port is taken; the address to type into the client's server field is
// printed first. Without --login any credentials are accepted. With --new-every a poll finds a
// new message once that many seconds have passed since the last one. With --slow every reply
// waits that many milliseconds before it goes out (a slow line or server). Each request is
// printed as it arrives.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <mutex>
#include <string>

#include "http/stand-in/sample_secretariat.h"
#include "http/stand-in/server.h"

namespace {

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%d/%m/%Y", &local);
  return text;
}

int Usage() {
  std::cerr << "usage: stand-in-secretariat [--port N] [--login L --password P] [--new-every SECONDS] [--slow MS]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  int new_every = -1;
  int slow_ms = 0;
  std::string login;
  std::string password;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    if (option == "--port") {
      try {
        port = std::stoi(value);
      } catch (const std::exception&) {
        return Usage();
      }
      if (port < 0 || port > 65535) return Usage();
    } else if (option == "--new-every") {
      try {
        new_every = std::stoi(value);
      } catch (const std::exception&) {
        return Usage();
      }
      if (new_every < 0) return Usage();
    } else if (option == "--slow") {
      try {
        slow_ms = std::stoi(value);
      } catch (const std::exception&) {
        return Usage();
      }
      if (slow_ms < 0) return Usage();
    } else if (option == "--login") {
      login = value;
    } else if (option == "--password") {
      password = value;
    } else {
      return Usage();
    }
  }

  // Ctrl-C and kill are taken by sigwait below, not by the server's threads.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  http::stand_in::SampleSecretariat secretariat(login, password, Today());
  if (new_every >= 0) secretariat.SetArrivalInterval(std::chrono::seconds(new_every));
  std::mutex output;
  try {
    http::stand_in::Server server(
        [&](const http::stand_in::RecordedRequest& request) {
          auto reply = secretariat.Answer(request);
          reply.delay = std::chrono::milliseconds(slow_ms);
          std::lock_guard lock(output);
          std::cout << request.request_line << "  ->  " << reply.status << " " << reply.reason
                    << std::endl;
          return reply;
        },
        static_cast<std::uint16_t>(port));
    {
      std::lock_guard lock(output);
      std::cout << "Stand-in secretariat on " << server.HostAndPort() << "\n"
                << "Server field of the client: " << server.HostAndPort() << "\n"
                << (login.empty() ? "Any login and password are accepted."
                                  : "Login: " + login + "  Password: " + password)
                << "\nCtrl-C stops it." << std::endl;
    }
    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
