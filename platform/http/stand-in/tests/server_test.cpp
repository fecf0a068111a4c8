#include "http/stand-in/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;
using http::stand_in::ScriptedReply;
using http::stand_in::Server;
using Clock = std::chrono::steady_clock;

// Sends `request` on a fresh connection and reads until the server closes (at most 5 s).
std::string Exchange(std::uint16_t port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  std::string got;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    const auto deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
      pollfd waiting{fd, POLLIN, 0};
      if (::poll(&waiting, 1, 50) <= 0) continue;
      char buffer[4096];
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return got;
}

TEST(StandInServer, RecordsRawRequestsAndAnswersInQueueOrderThen404) {
  Server server;
  ScriptedReply first;
  first.body = "one";
  ScriptedReply second;
  second.status = 401;
  second.reason = "Authorization Required";
  second.headers = {{"WWW-Authenticate", "Basic realm=\"x\""}};
  server.Queue(first);
  server.Queue(second);

  const std::string head = "GET /a?b=c d HTTP/1.0\r\nAccept: */*\r\nX-Odd:  two  \r\n\r\n";
  EXPECT_EQ(Exchange(server.Port(), head), "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\none");
  EXPECT_EQ(Exchange(server.Port(), "GET /2 HTTP/1.1\nHost: h\n\n"),
            "HTTP/1.0 401 Authorization Required\r\nWWW-Authenticate: Basic realm=\"x\"\r\n"
            "Content-Length: 0\r\n\r\n");
  EXPECT_EQ(Exchange(server.Port(), "GET /3 HTTP/1.0\r\n\r\n"),
            "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].head, head);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/a?b=c d");
  EXPECT_EQ(requests[0].version, "HTTP/1.0");
  EXPECT_EQ(requests[0].header_lines, (std::vector<std::string>{"Accept: */*", "X-Odd:  two  "}));
  EXPECT_EQ(requests[0].Header("x-odd"), "two  ");
  EXPECT_FALSE(requests[0].Header("Host"));
  EXPECT_EQ(requests[1].Header("HOST"), "h");
}

TEST(StandInServer, CutsClosesAndSendsRawBytesAsScripted) {
  Server server;
  ScriptedReply cut;
  cut.body = "0123456789";
  cut.cut_after = 4;
  ScriptedReply closed;
  closed.close_without_reply = true;
  ScriptedReply raw;
  raw.raw = "HTTP/1.0 200 OK\n\nbare";
  server.Queue(cut);
  server.Queue(closed);
  server.Queue(raw);
  EXPECT_EQ(Exchange(server.Port(), "GET / HTTP/1.0\r\n\r\n"),
            "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n0123");
  EXPECT_EQ(Exchange(server.Port(), "GET / HTTP/1.0\r\n\r\n"), "");
  EXPECT_EQ(Exchange(server.Port(), "GET / HTTP/1.0\r\n\r\n"), "HTTP/1.0 200 OK\n\nbare");
}

TEST(StandInServer, HandlerAnswersWhenTheQueueIsEmpty) {
  Server server([](const http::stand_in::RecordedRequest& r) {
    ScriptedReply reply;
    reply.body = r.target;
    return reply;
  });
  EXPECT_EQ(Exchange(server.Port(), "GET /echo HTTP/1.0\r\n\r\n"),
            "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n/echo");
}

// A stalled connection ends as soon as the server goes, so a test never hangs on it.
TEST(StandInServer, StoppingEndsStalledConnectionsAtOnce) {
  auto server = std::make_unique<Server>();
  ScriptedReply stall;
  stall.stall = true;
  server->Queue(stall);
  const std::uint16_t port = server->Port();
  std::string got = "unset";
  std::thread client([&] { got = Exchange(port, "GET / HTTP/1.0\r\n\r\n"); });
  ASSERT_TRUE(server->WaitForRequests(1, 5s));
  const auto start = Clock::now();
  server.reset();
  client.join();
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_EQ(got, "");
}

TEST(StandInServer, ClosedPortRefusesConnections) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(http::stand_in::ClosedPort());
  EXPECT_NE(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

}  // namespace
