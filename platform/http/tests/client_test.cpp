#include "http/client.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "http/stand-in/server.h"

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using http::stand_in::ScriptedReply;
using http::stand_in::Server;
using Clock = std::chrono::steady_clock;

http::Request To(const Server& server, std::string target = "/") {
  http::Request request;
  request.host = "127.0.0.1";
  request.port = server.Port();
  request.target = std::move(target);
  request.time_limit = 10s;
  return request;
}

ScriptedReply Answer(int status, std::string reason, std::string body = {}) {
  ScriptedReply reply;
  reply.status = status;
  reply.reason = std::move(reason);
  reply.body = std::move(body);
  return reply;
}

TEST(HttpGet, SendsExactlyTheTargetBytesAndTheGivenHeadersInOrder) {
  Server server;
  server.Queue(Answer(200, "OK", "1-0-2"));
  auto request = To(server, "/cgi-bin/clients/indycons.pl?motif=caf\xE9+&+=50%/x y#z");
  request.version = http::Version::Http10;
  request.headers = {{"Accept", "image/gif, */*"},
                     {"User-Agent", "Mozilla/3.0 (compatible)"},
                     {"Host", "127.0.0.1"},
                     {"Authorization", "Basic YTpi"}};
  const http::Reply reply = http::Get(request);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "1-0-2");

  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].head,
            "GET /cgi-bin/clients/indycons.pl?motif=caf\xE9+&+=50%/x y#z HTTP/1.0\r\n"
            "Accept: image/gif, */*\r\n"
            "User-Agent: Mozilla/3.0 (compatible)\r\n"
            "Host: 127.0.0.1\r\n"
            "Authorization: Basic YTpi\r\n"
            "\r\n");
}

TEST(HttpGet, WithoutHeadersOnlyTheHostGoesOut) {
  Server server;
  server.Queue(Answer(200, "OK"));
  http::Get(To(server, "/a"));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].head,
            "GET /a HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n\r\n");
}

TEST(HttpGet, LineBreaksInTheTargetCannotEndTheRequestLine) {
  Server server;
  server.Queue(Answer(200, "OK"));
  http::Get(To(server, "/x?motif=a\r\nInjected: 1\n\0b"s));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].request_line, "GET /x?motif=a%0D%0AInjected: 1%0A%00b HTTP/1.1");
  EXPECT_EQ(server.Requests()[0].header_lines.size(), 1u);
}

TEST(HttpGet, HeaderValuesWithLineBreaksAreRefused) {
  Server server;
  auto request = To(server);
  request.headers = {{"Host", "a\r\nX: y"}};
  EXPECT_THROW(http::Get(request), std::invalid_argument);
  EXPECT_TRUE(server.Requests().empty());
}

// A proxy named by the environment is never used.
TEST(HttpGet, IgnoresProxiesFromTheEnvironment) {
  Server proxy;
  Server server;
  server.Queue(Answer(200, "OK", "direct"));
  const std::string proxy_address = "http://" + proxy.HostAndPort();
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
    setenv(name, proxy_address.c_str(), 1);
  unsetenv("no_proxy");
  unsetenv("NO_PROXY");
  const http::Reply reply = http::Get(To(server, "/p"));
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(name);
  EXPECT_EQ(reply.body, "direct");
  EXPECT_TRUE(proxy.Requests().empty());
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(HttpGet, RepliesBelow400AreTakenWhateverTheirBody) {
  struct Case {
    int status;
    const char* reason;
    std::string body;
  };
  const Case cases[] = {
      {200, "OK", "2-0-1\r\nmessage|01/02|10:00\r\n"},
      {200, "OK", ""},
      {200, "OK", std::string("a\0b", 3)},
      {204, "No Content", ""},
      {302, "Found", "<html>moved</html>"},
      {399, "", "odd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    Server server;
    server.Queue(Answer(c.status, c.reason, c.body));
    const http::Reply reply = http::Get(To(server));
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.reason, c.reason);
    EXPECT_EQ(reply.body, c.body);
  }
}

TEST(HttpGet, StatusFrom400RaisesTheReasonPhrase) {
  struct Case {
    int status;
    std::string reason;
  };
  const Case cases[] = {
      {401, "Authorization Required"},
      {404, "Not Found"},
      {500, "Internal Server Error"},
      {503, "Service  Unavailable  now"},  // the phrase is kept as sent, inner blanks too
      {400, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    Server server;
    server.Queue(Answer(c.status, c.reason, "<html>error page</html>"));
    try {
      http::Get(To(server));
      ADD_FAILURE() << "no exception";
    } catch (const http::EHttpException& e) {
      EXPECT_EQ(e.StatusCode(), c.status);
      EXPECT_EQ(e.Kind(), http::Failure::Status);
      EXPECT_EQ(std::string(e.what()), c.reason);
    }
  }
}

http::EHttpException FailureOf(const http::Request& request) {
  try {
    http::Get(request);
  } catch (const http::EHttpException& e) {
    return e;
  }
  return http::EHttpException(0, http::Failure::Other, "no exception");
}

TEST(HttpGet, FailuresWithoutAReplyCountAs404WithTheirOwnText) {
  http::Request closed_port;
  closed_port.host = "127.0.0.1";
  closed_port.port = http::stand_in::ClosedPort();
  closed_port.time_limit = 10s;

  http::Request bad_name = closed_port;
  bad_name.host = "cabinet nord";
  http::Request beyond_ascii = closed_port;
  beyond_ascii.host = "caf\xE9";
  http::Request empty_name = closed_port;
  empty_name.host = "";
  http::Request bad_port = closed_port;
  bad_port.port = -1;

  struct Case {
    const char* what;
    const http::Request& request;
    http::Failure kind;
    const char* message;
  };
  const Case cases[] = {
      {"closed port", closed_port, http::Failure::Connect, "Connection refused (Error #111)"},
      {"name with a blank", bad_name, http::Failure::Resolve, "can't resolve hostname to IP address"},
      {"name beyond ASCII", beyond_ascii, http::Failure::Resolve, "can't resolve hostname to IP address"},
      {"empty name", empty_name, http::Failure::Resolve, "can't resolve hostname to IP address"},
      {"no port number", bad_port, http::Failure::Connect, "can't connect: Invalid argument (Error #22)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto e = FailureOf(c.request);
    EXPECT_EQ(e.StatusCode(), 404);
    EXPECT_EQ(e.Kind(), c.kind);
    EXPECT_STREQ(e.what(), c.message);
  }
}

TEST(HttpGet, BrokenRepliesFail) {
  ScriptedReply closed;
  closed.close_without_reply = true;
  ScriptedReply cut = Answer(200, "OK", std::string(5000, 'x'));
  cut.cut_after = 1000;
  ScriptedReply garbage;
  garbage.raw = "this is not HTTP\r\n\r\n";
  struct Case {
    const char* what;
    ScriptedReply reply;
    http::Failure kind;
  };
  const Case cases[] = {
      {"closed without a reply", closed, http::Failure::Closed},
      {"cut in the body", cut, http::Failure::Closed},
      {"not HTTP", garbage, http::Failure::BadReply},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Server server;
    server.Queue(c.reply);
    const auto e = FailureOf(To(server));
    EXPECT_EQ(e.StatusCode(), 404);
    EXPECT_EQ(e.Kind(), c.kind) << e.what();
  }
}

TEST(HttpGet, ABodyWithoutLengthEndsWithTheConnection) {
  Server server;
  ScriptedReply reply = Answer(200, "OK", "no length");
  reply.content_length = false;
  server.Queue(reply);
  EXPECT_EQ(http::Get(To(server)).body, "no length");
}

TEST(HttpGet, TimeLimitEndsAStalledRequest) {
  Server server;
  ScriptedReply stall;
  stall.stall = true;
  server.Queue(stall);
  auto request = To(server);
  request.time_limit = 300ms;
  const auto start = Clock::now();
  const auto e = FailureOf(request);
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_EQ(e.Kind(), http::Failure::Timeout);
  EXPECT_STREQ(e.what(), "Connection timed out (Error #110)");
}

TEST(HttpGet, KeepsPumpingWhileTheServerStalls) {
  Server server;
  ScriptedReply slow = Answer(200, "OK", "late");
  slow.delay = 500ms;
  server.Queue(slow);
  auto request = To(server);
  const auto caller = std::this_thread::get_id();
  int pumps = 0;
  bool on_caller_thread = true;
  request.pump = [&] {
    ++pumps;
    on_caller_thread = on_caller_thread && std::this_thread::get_id() == caller;
  };
  EXPECT_EQ(http::Get(request).body, "late");
  // 500 ms at a pump every 10 ms: a handful at the very least, however loaded the machine.
  EXPECT_GE(pumps, 5);
  EXPECT_TRUE(on_caller_thread);
}

TEST(HttpGet, APumpThatThrowsAbandonsTheRequest) {
  Server server;
  ScriptedReply stall;
  stall.stall = true;
  server.Queue(stall);
  auto request = To(server);
  int pumps = 0;
  request.pump = [&] {
    if (++pumps == 5) throw std::runtime_error("window closed");
  };
  const auto start = Clock::now();
  EXPECT_THROW(http::Get(request), std::runtime_error);
  EXPECT_LT(Clock::now() - start, 5s);
}

// A timer or click during the wait may send a request of its own; both complete.
TEST(HttpGet, ARequestStartedFromThePumpCompletes) {
  Server server;
  server.SetHandler([](const http::stand_in::RecordedRequest& r) {
    ScriptedReply reply = Answer(200, "OK", r.target);
    if (r.target == "/outer") reply.delay = 300ms;
    return reply;
  });
  auto outer = To(server, "/outer");
  std::string inner_body;
  outer.pump = [&] {
    if (inner_body.empty()) {
      inner_body = "started";
      inner_body = http::Get(To(server, "/inner")).body;
    }
  };
  EXPECT_EQ(http::Get(outer).body, "/outer");
  EXPECT_EQ(inner_body, "/inner");
}

TEST(HttpGet, ReportsProgressOnTheCallingThread) {
  Server server;
  ScriptedReply big = Answer(200, "OK", std::string(256 * 1024, 'z'));
  big.piece_size = 16 * 1024;
  big.piece_delay = 5ms;
  server.Queue(big);
  auto request = To(server);
  const auto caller = std::this_thread::get_id();
  std::vector<std::pair<std::int64_t, std::int64_t>> progress;
  std::vector<std::int64_t> begins;
  int ends = 0;
  bool on_caller_thread = true;
  auto check_thread = [&] { on_caller_thread = on_caller_thread && std::this_thread::get_id() == caller; };
  request.on_begin = [&](std::int64_t total) { check_thread(); begins.push_back(total); };
  request.on_progress = [&](std::int64_t received, std::int64_t total) {
    check_thread();
    progress.emplace_back(received, total);
  };
  request.on_end = [&] { check_thread(); ++ends; };
  http::Get(request);
  EXPECT_TRUE(on_caller_thread);
  ASSERT_EQ(begins, std::vector<std::int64_t>{256 * 1024});
  EXPECT_EQ(ends, 1);
  ASSERT_GE(progress.size(), 2u);
  for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_GT(progress[i].first, progress[i - 1].first);
  EXPECT_EQ(progress.back(), std::make_pair(std::int64_t{256 * 1024}, std::int64_t{256 * 1024}));
}

TEST(HttpGet, TheLastPieceIsReportedEvenWhenItArrivesDuringAReport) {
  // A progress handler slower than the server: the transfer ends while a report runs.
  for (int round = 0; round < 5; ++round) {
    Server server;
    ScriptedReply reply = Answer(200, "OK", std::string(64 * 1024, 'p'));
    reply.piece_size = 8 * 1024;
    reply.piece_delay = 1ms;
    server.Queue(reply);
    auto request = To(server);
    std::int64_t last = -1;
    request.on_progress = [&](std::int64_t received, std::int64_t) {
      std::this_thread::sleep_for(20ms);
      last = received;
    };
    http::Get(request);
    EXPECT_EQ(last, 64 * 1024) << "round " << round;
  }
}

TEST(HttpGet, BodySinkTakesTheWholeBodyOfGoodRepliesOnly) {
  Server server;
  std::string body;
  for (int i = 0; i < 100000; ++i) body += static_cast<char>(i * 7);
  server.Queue(Answer(200, "OK", body));
  server.Queue(Answer(404, "Not Found", "error page"));
  auto request = To(server);
  std::string sunk;
  request.body_sink = [&](std::string_view piece) { sunk.append(piece); };
  EXPECT_TRUE(http::Get(request).body.empty());
  EXPECT_EQ(sunk, body);

  sunk.clear();
  EXPECT_THROW(http::Get(request), http::EHttpException);
  EXPECT_TRUE(sunk.empty());
}

TEST(HttpGet, ASinkThatFailsEndsTheRequestWithItsError) {
  Server server;
  server.Queue(Answer(200, "OK", std::string(10000, 'a')));
  auto request = To(server);
  request.body_sink = [](std::string_view) { throw std::runtime_error("disk full"); };
  try {
    http::Get(request);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "disk full");
  }
}

TEST(HttpGet, ABodyBeyondTheLimitFails) {
  Server server;
  server.Queue(Answer(200, "OK", std::string(5000, 'a')));
  auto request = To(server);
  request.max_body_size = 4096;
  EXPECT_EQ(FailureOf(request).Kind(), http::Failure::TooLarge);
}

TEST(HttpGet, CookiesTravelOnlyThroughAJar) {
  Server server;
  ScriptedReply setter = Answer(200, "OK", "page");
  setter.headers = {{"Set-Cookie", "session=abc123; Path=/"}};
  server.Queue(setter);
  server.Queue(Answer(200, "OK", "archive"));
  server.Queue(setter);
  server.Queue(Answer(200, "OK", "archive"));

  http::CookieJar jar;
  auto with_jar = To(server, "/page");
  with_jar.cookies = &jar;
  http::Get(with_jar);
  with_jar.target = "/archive";
  http::Get(with_jar);

  auto without = To(server, "/page");
  http::Get(without);
  without.target = "/archive";
  http::Get(without);

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_FALSE(requests[0].Header("Cookie"));
  EXPECT_EQ(requests[1].Header("Cookie"), "session=abc123");
  EXPECT_FALSE(requests[2].Header("Cookie"));
  EXPECT_FALSE(requests[3].Header("Cookie"));
}

}  // namespace

namespace {

// Whatever comes back, the request ends with a reply or an EHttpException; nothing else.
TEST(HttpGet, AnyReplyBytesGiveAReplyOrAnHttpError) {
  std::vector<std::string> replies = {
      "HTTP/1.0 abc\r\n\r\n",
      "HTTP/1.0 200\r\n\r\nno reason",
      "HTTP/1.0 99999999999999 X\r\n\r\n",
      "HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\nx",
      "HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nx",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
      "HTTP/1.0 401 Bad\0Reason\r\n\r\n"s,
      "HTTP/1.0 200 OK\r\nX: " + std::string(200000, 'h') + "\r\n\r\n",
      "HTTP/1.0 100 Continue\r\n\r\nHTTP/1.0 404 Gone\r\n\r\n",
      "HTTP/1.0 200 OK\r\n",
      "HTTP/1.0 200 OK\r\nContent-Encoding: gzip\r\n\r\nnot gzip",
      "\r\n\r\n",
  };
  std::uint32_t seed = 12345;
  for (int i = 0; i < 30; ++i) {
    std::string noise = i % 2 == 0 ? "HTTP/1.0 " : "";
    const int length = 1 + static_cast<int>(seed % 300);
    for (int j = 0; j < length; ++j) {
      seed = seed * 1103515245u + 12345u;
      noise += static_cast<char>(seed >> 16);
    }
    replies.push_back(noise);
  }
  for (const auto& raw : replies) {
    Server server;
    ScriptedReply reply;
    reply.raw = raw;
    server.Queue(reply);
    auto request = To(server);
    request.time_limit = 5s;
    try {
      const http::Reply got = http::Get(request);
      EXPECT_LT(got.status, 400);
    } catch (const http::EHttpException&) {
    }
  }
  SUCCEED();
}

// What the updater sends: its own headers over HTTP/1.1, with the cookies of its jar.
TEST(HttpGet, HeadersOfAnHttp11RequestWithCookies) {
  Server server;
  ScriptedReply page = Answer(200, "OK", "10/12/2026");
  page.headers = {{"Set-Cookie", "id=7"}};
  server.Queue(page);
  server.Queue(Answer(200, "OK", "PK"));
  http::CookieJar jar;
  auto request = To(server, "/orvalisP/update.html");
  request.cookies = &jar;
  request.headers = {{"Accept", "text/html, */*"},
                     {"Content-Type", "text/html"},
                     {"User-Agent", "Mozilla/3.0 (compatible; Indy Library)"}};
  http::Get(request);
  request.target = "/rv/OrvalisP.zip";
  http::Get(request);
  const std::string host = "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n";
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].head, "GET /orvalisP/update.html HTTP/1.1\r\n" + host +
                                  "Accept: text/html, */*\r\n"
                                  "Content-Type: text/html\r\n"
                                  "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n");
  EXPECT_EQ(requests[1].head, "GET /rv/OrvalisP.zip HTTP/1.1\r\n" + host +
                                  "Cookie: id=7\r\n"
                                  "Accept: text/html, */*\r\n"
                                  "Content-Type: text/html\r\n"
                                  "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n");
}

}  // namespace
