#include "secretariat/secretariat_request.h"

#include <gtest/gtest.h>

#include <chrono>

#include "http/base64.h"
#include "http/stand-in/server.h"

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using http::stand_in::ScriptedReply;
using http::stand_in::Server;
using secretariat::Account;
using Lines = std::vector<std::string>;

ScriptedReply Answer(int status, std::string reason, std::string body = {}) {
  ScriptedReply reply;
  reply.status = status;
  reply.reason = std::move(reason);
  reply.body = std::move(body);
  return reply;
}

secretariat::RequestSettings Quick() {
  secretariat::RequestSettings settings;
  settings.time_limit = 10s;
  return settings;
}

std::string Head(const std::string& target, const std::string& credentials) {
  return "GET " + target + " HTTP/1.0\r\n"
         "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
         "User-Agent: Mozilla/3.0 (compatible)\r\n"
         "Host: 127.0.0.1\r\n"
         "Authorization: Basic " + http::Base64(credentials) + "\r\n"
         "\r\n";
}

TEST(SecretariatRequest, SendsExactlyTheRequestOfEachScript) {
  struct Case {
    const char* what;
    std::string login;
    std::string password;
    std::string script_and_query;
    std::string target;       // as the server must receive it
    std::string credentials;  // decoded Basic credentials
  };
  const Case cases[] = {
      {"poll, login rewritten by the handler", secretariat::LoginWithUnderscores("cabinet nord"),
       "p@ss:w0rd", "indy.pl?message=1&rv=0&vi=1&urgent=0",
       "/cgi-bin/clients/indy.pl?message=1&rv=0&vi=1&urgent=0", "cabinet_nord:p@ss:w0rd"},
      {"record as read", "cabinet_nord", "a:b@c@d", "indypris.pl?id=c;b;a;",
       "/cgi-bin/clients/indypris.pl?id=c;b;a;", "cabinet_nord:a:b@c@d"},
      {"instruction keeps the login's space, free text in Windows-1252", "cabinet nord", "pw",
       "indycons.pl?motif=caf\xC3\xA9+cr\xC3\xA8me+&+x=1%20#",
       "/cgi-bin/clients/indycons.pl?motif=caf\xE9+cr\xE8me+&+x=1%20#", "cabinet nord:pw"},
      {"stop visits, no query", "dr martin", "\xC3\xA9t\xC3\xA9", "indystop.pl",
       "/cgi-bin/clients/indystop.pl", "dr martin:\xE9t\xE9"},
      {"agenda date with slashes", "x", "y", "indya.pl?date=10/12/2026",
       "/cgi-bin/clients/indya.pl?date=10/12/2026", "x:y"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Server server;
    server.Queue(Answer(200, "OK", "0-0-0"));
    const Account account{c.login, c.password, server.HostAndPort()};
    EXPECT_EQ(secretariat::SecretariatRequest(account, c.script_and_query, Quick()), Lines{"0-0-0"});
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].head, Head(c.target, c.credentials));
  }
}

TEST(SecretariatRequest, LoginRulesOfTheHandlers) {
  EXPECT_EQ(secretariat::LoginWithUnderscores(" cabinet  nord "), "_cabinet__nord_");
  struct Case {
    const char* script;
    bool rewrites;
  };
  const Case cases[] = {
      {"indy.pl?message=1", true},  {"indypris.pl?id=1", true},   {"indya.pl?date=1", true},
      {"indyannulation.pl?id=1", true}, {"indyrendez.pl?id=1&nom=a", true},
      {"indycons.pl?motif=a", false}, {"indystop.pl", false},
  };
  for (const auto& c : cases) EXPECT_EQ(secretariat::RewritesLogin(c.script), c.rewrites) << c.script;
  EXPECT_TRUE(secretariat::HasCredentials({"a", "b", "c"}));
  EXPECT_FALSE(secretariat::HasCredentials({"", "b", "c"}));
  EXPECT_FALSE(secretariat::HasCredentials({"a", "", "c"}));
  EXPECT_FALSE(secretariat::HasCredentials({"a", "b", ""}));
}

TEST(SecretariatRequest, ReplyBodiesBecomeLines) {
  struct Case {
    const char* what;
    std::string body;
    Lines lines;
  };
  const Case cases[] = {
      {"counts and entries",
       "2-1-0\r\nmessage|10/12/2026|09:12|Martin|Claire|Rappeler-- urgent|0612|iso1|c@x.fr|Lyon\r\n"
       "rv|10/12/2026|10:00|Durand\r\n",
       {"2-1-0", "message|10/12/2026|09:12|Martin|Claire|Rappeler-- urgent|0612|iso1|c@x.fr|Lyon",
        "rv|10/12/2026|10:00|Durand"}},
      {"empty body", "", {"0"}},
      {"no trailing line break", "0-0-1\nvi|d|h", {"0-0-1", "vi|d|h"}},
      {"mixed CR and LF", "1-0-0\rmessage|d|h\n\rrv|d|h\r\n", {"1-0-0", "message|d|h", "", "rv|d|h"}},
      {"a NUL byte", "1-0-0\r\nmess\0age|d|h\r\nrv|d|h"s, {"1-0-0", "mess", "rv|d|h"}},
      {"Windows-1252 text", "Mouvement iso 7 annul\xE9", {"Mouvement iso 7 annulé"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Server server;
    server.Queue(Answer(200, "OK", c.body));
    EXPECT_EQ(secretariat::SecretariatRequest({"l", "p", server.HostAndPort()}, "indy.pl", Quick()), c.lines);
  }
}

struct Failure {
  int status = 0;
  std::string message = "no exception";
};

Failure FailureOf(const Account& account, const std::string& script,
                  const secretariat::RequestSettings& settings = Quick()) {
  try {
    secretariat::SecretariatRequest(account, script, settings);
  } catch (const http::EHttpException& e) {
    return {e.StatusCode(), e.what()};
  }
  return {};
}

TEST(SecretariatRequest, FailuresCarryTheirStatusAndText) {
  Server server;
  server.Queue(Answer(401, "Authorization Required", "<html>401</html>"));
  server.Queue(Answer(500, "Internal Server Error"));
  server.Queue(Answer(403, "Acc\xE8s refus\xE9"));
  const std::string address = server.HostAndPort();
  const std::string closed = "127.0.0.1:" + std::to_string(http::stand_in::ClosedPort());

  struct Case {
    const char* what;
    Account account;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"401", {"l", "p", address}, 401, "Authorization Required"},
      {"500", {"l", "p", address}, 500, "Internal Server Error"},
      {"reason in Windows-1252", {"l", "p", address}, 403, "Accès refusé"},
      {"closed port", {"l", "p", closed}, 404, "Connection refused (Error #111)"},
      // A "/" or "?" in the credentials cuts the server part short: the request goes nowhere.
      {"password with a slash", {"l", "pa/ss", address}, 404, "can't connect: Invalid argument (Error #22)"},
      {"login with a question mark and a space", {"cabinet nord?", "p", address}, 404,
       "can't resolve hostname to IP address"},
      {"server with a blank", {"l", "p", "my server"}, 404, "can't resolve hostname to IP address"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Failure f = FailureOf(c.account, "indy.pl?message=1");
    EXPECT_EQ(f.status, c.status);
    EXPECT_EQ(f.message, c.message);
  }
  EXPECT_EQ(server.Requests().size(), 3u);
}

// While the server keeps the request waiting, the pump runs again and again (the windows' timers
// and clicks go on); a server that never answers ends at the time limit.
TEST(SecretariatRequest, PumpRunsWhileTheServerStalls) {
  Server server;
  ScriptedReply late = Answer(200, "OK", "0-1-0");
  late.delay = 400ms;
  server.Queue(late);
  ScriptedReply never;
  never.stall = true;
  server.Queue(never);

  int ticks = 0;
  secretariat::RequestSettings settings = Quick();
  settings.pump = [&] { ++ticks; };
  const Account account{"l", "p", server.HostAndPort()};
  EXPECT_EQ(secretariat::SecretariatRequest(account, "indy.pl", settings), Lines{"0-1-0"});
  EXPECT_GE(ticks, 4);

  ticks = 0;
  settings.time_limit = 400ms;
  const auto start = std::chrono::steady_clock::now();
  const Failure f = FailureOf(account, "indy.pl", settings);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(f.status, 404);
  EXPECT_EQ(f.message, "Connection timed out (Error #110)");
  EXPECT_GE(ticks, 4);
}

TEST(SecretariatRequest, DefaultSettingsCarryTheProgramsPump) {
  Server server;
  ScriptedReply late = Answer(200, "OK", "x");
  late.delay = 200ms;
  server.Queue(late);
  int ticks = 0;
  secretariat::DefaultRequestSettings().pump = [&] { ++ticks; };
  secretariat::SecretariatRequest({"l", "p", server.HostAndPort()}, "indy.pl");
  secretariat::DefaultRequestSettings().pump = nullptr;
  EXPECT_GT(ticks, 0);
  EXPECT_EQ(secretariat::DefaultRequestSettings().time_limit, 120000ms);
}

struct FakeMemo {
  Lines lines;
  void Clear() { lines.clear(); }
  void Add(std::string text) { lines.push_back(std::move(text)); }
};

TEST(SecretariatRequest, IntoAMemoClearedFirstOrNot) {
  Server server;
  server.Queue(Answer(200, "OK", "OK\r\nsuite"));
  server.Queue(Answer(500, "Internal Server Error"));
  server.Queue(Answer(500, "Internal Server Error"));
  const Account account{"l", "p", server.HostAndPort()};

  FakeMemo memo{{"previous"}};
  secretariat::SecretariatRequest(account, "indyrendez.pl?id=1", memo, true, Quick());
  EXPECT_EQ(memo.lines, (Lines{"OK", "suite"}));

  EXPECT_THROW(secretariat::SecretariatRequest(account, "indy.pl", memo, true, Quick()),
               http::EHttpException);
  EXPECT_TRUE(memo.lines.empty());

  // The booking dialog keeps its last reply when a request fails.
  memo.lines = {"previous"};
  EXPECT_THROW(secretariat::SecretariatRequest(account, "indyrendez.pl?id=1", memo, false, Quick()),
               http::EHttpException);
  EXPECT_EQ(memo.lines, Lines{"previous"});
}

}  // namespace
