// The POP3 client against a real Dovecot on 127.0.0.1, and against scripted servers for what
// Dovecot never does (stalling, an endless line, a cut in the middle of a message).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <memory>
#include <thread>

#include "dovecot_server.h"
#include "loopback_server.h"
#include "mail/pop3_client.h"

namespace {

using namespace std::chrono_literals;
using mail::EMailError;
using mail::Failure;
using mail::Pop3Client;
using mail::test_servers::DovecotServer;
using mail::test_servers::Peer;
using mail::test_servers::RecordingProxy;
using mail::test_servers::ScriptedPop3;

std::string Mail(const std::string& subject, const std::string& body = "texte\r\n") {
  return "From: a@exemple.fr\r\nSubject: " + subject + "\r\nMessage-ID: <" + subject + "@exemple.fr>\r\n\r\n" + body;
}

class DovecotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = std::make_unique<DovecotServer>();
    client.Host = server->Host();
    client.Port = server->Port();
    client.Username = server->User();
    client.Password = server->Password();
  }
  std::unique_ptr<DovecotServer> server;
  Pop3Client client;
};

TEST_F(DovecotTest, CountsFetchesHeadersAndWholeMessages) {
  server->Deliver(Mail("un", "ligne 1\r\n.point en t\xEAte\r\n"));
  server->Deliver(Mail("deux"));
  client.Connect();
  EXPECT_TRUE(client.Connected());
  EXPECT_EQ(client.CheckMessages(), 2);
  EXPECT_EQ(client.RetrieveHeader(2), "From: a@exemple.fr\r\nSubject: deux\r\nMessage-ID: <deux@exemple.fr>\r\n\r\n");
  // Dot-stuffing is undone; the bytes come back as they were delivered.
  EXPECT_EQ(client.Retrieve(1), Mail("un", "ligne 1\r\n.point en t\xEAte\r\n"));
  const auto ids = client.UniqueIds();
  ASSERT_TRUE(ids);
  ASSERT_EQ(ids->size(), 2u);
  EXPECT_EQ((*ids)[0].number, 1);
  EXPECT_NE((*ids)[0].id, (*ids)[1].id);
  EXPECT_TRUE(client.Disconnect());
  EXPECT_FALSE(client.Connected());
}

TEST_F(DovecotTest, DeletionsAreCommittedAtQuitOnly) {
  for (const char* s : {"un", "deux", "trois"}) server->Deliver(Mail(s));
  client.Connect();
  client.Delete(3);
  client.Delete(1);
  EXPECT_EQ(server->Messages().size(), 3u);
  EXPECT_TRUE(client.Disconnect());
  EXPECT_EQ(server->Messages(), std::vector<std::string>{Mail("deux")});
}

TEST_F(DovecotTest, RefusalsCarryTheServersTextAndCloseTheConnection) {
  client.Password = "faux";
  try {
    client.Connect();
    FAIL() << "login accepted";
  } catch (const EMailError& e) {
    EXPECT_EQ(e.Kind(), Failure::Refused);
    EXPECT_STREQ(e.what(), "[AUTH] Authentication failed.");
  }
  EXPECT_FALSE(client.Connected());

  client.Password = server->Password();
  client.Connect();
  EXPECT_THROW(client.Retrieve(7), EMailError);  // no such message
  EXPECT_TRUE(client.Connected()) << "a refused command leaves the session usable";
  EXPECT_EQ(client.CheckMessages(), 0);
}

TEST_F(DovecotTest, SendsExactlyTheCommandsOfTheMailWatch) {
  server->Deliver(Mail("un"));
  RecordingProxy proxy(server->Port());
  client.Port = proxy.Port();
  client.Connect();
  client.CheckMessages();
  client.RetrieveHeader(1);
  client.Retrieve(1);
  client.UniqueIds();
  client.Delete(1);
  client.Disconnect();
  EXPECT_EQ(proxy.ClientLines(), (std::vector<std::string>{"USER marie", "PASS s3cret", "STAT", "TOP 1 0", "RETR 1",
                                                             "UIDL", "DELE 1", "QUIT"}));
}

TEST_F(DovecotTest, AnAccountThatWouldEndTheCommandLineIsNotSent) {
  RecordingProxy proxy(server->Port());
  client.Port = proxy.Port();
  client.Password = "s3cret\r\nDELE 1";
  EXPECT_THROW(client.Connect(), EMailError);
  EXPECT_TRUE(proxy.ClientLines().empty());
}

TEST(Pop3ClientTest, AClosedPortAndAnUnknownHostFailWithATextOfTheirOwn) {
  int port;
  { ScriptedPop3 gone([](Peer&) {}); port = gone.Port(); }
  Pop3Client client;
  client.Host = "127.0.0.1";
  client.Port = port;
  try {
    client.Connect();
    FAIL();
  } catch (const EMailError& e) {
    EXPECT_EQ(e.Kind(), Failure::Connect);
    EXPECT_EQ(std::string(e.what()), "Impossible de se connecter \xC3\xA0 127.0.0.1:" + std::to_string(port) +
                                         " : Connexion refus\xC3\xA9" "e");
  }
  // The name is looked up by a stand-in resolver: no query leaves the machine.
  client.Host = "pas-de-tel-hote.invalid";
  client.Resolve = [](const std::string&, const std::string&, const addrinfo&, addrinfo**) { return EAI_NONAME; };
  try {
    client.Connect();
    FAIL();
  } catch (const EMailError& e) {
    EXPECT_EQ(e.Kind(), Failure::Resolve);
  }
}

// A resolver that answers the loopback address after `delay`, or never before it is released.
struct SlowResolver {
  std::chrono::milliseconds delay;
  std::shared_ptr<std::atomic<bool>> released = std::make_shared<std::atomic<bool>>(false);
  int operator()(const std::string&, const std::string& port, const addrinfo& hints, addrinfo** found) const {
    const auto start = std::chrono::steady_clock::now();
    while (!*released && std::chrono::steady_clock::now() - start < delay) std::this_thread::sleep_for(5ms);
    return ::getaddrinfo("127.0.0.1", port.c_str(), &hints, found);
  }
};

TEST(Pop3ClientTest, TheNameIsLookedUpWhileTheCallerIsPumpedAndAnAbortEndsTheWait) {
  ScriptedPop3 server([](Peer& peer) {
    for (int i = 0; i < 2; ++i) {
      if (!peer.ReadLine()) return;
      peer.Send("+OK\r\n");
    }
  });
  Pop3Client client;
  client.Host = "pop.cabinet.example";
  client.Port = server.Port();
  client.Username = "marie";
  client.Password = "s3cret";
  // A slow answer: the caller is pumped meanwhile, then the session goes on.
  int pumped = 0;
  client.Pump = [&] { ++pumped; };
  client.Resolve = SlowResolver{300ms};
  client.Connect();
  EXPECT_TRUE(client.Connected());
  EXPECT_GT(pumped, 5);
  client.Disconnect();

  // A resolver that does not answer: an abort from the pump ends the wait at once.
  const SlowResolver hanging{30s};
  client.Resolve = hanging;
  const auto start = std::chrono::steady_clock::now();
  client.Pump = [&] {
    if (std::chrono::steady_clock::now() - start > 100ms) client.Abort();
  };
  try {
    client.Connect();
    FAIL();
  } catch (const EMailError& e) {
    EXPECT_EQ(e.Kind(), Failure::Aborted);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_FALSE(client.Connected());
  *hanging.released = true;  // the look-up left behind ends by itself
}

// A server that greets, takes the login and then answers `reply` to the next command.
ScriptedPop3::Script AfterLogin(std::function<void(Peer&)> then) {
  return [then](Peer& peer) {
    for (int i = 0; i < 2; ++i) {
      if (!peer.ReadLine()) return;
      peer.Send("+OK\r\n");
    }
    if (peer.ReadLine()) then(peer);
  };
}

TEST(Pop3ClientTest, AServerThatStopsAnsweringTimesOutWhileTheCallerIsPumped) {
  ScriptedPop3 server(AfterLogin([](Peer& peer) { peer.Stall(10s); }));
  Pop3Client client;
  client.Host = "127.0.0.1";
  client.Port = server.Port();
  client.ReadTimeout = 300ms;
  int pumped = 0;
  client.Pump = [&] { ++pumped; };
  client.Connect();
  const auto start = std::chrono::steady_clock::now();
  try {
    client.CheckMessages();
    FAIL();
  } catch (const EMailError& e) {
    EXPECT_EQ(e.Kind(), Failure::Timeout);
    EXPECT_STREQ(e.what(), "D\xC3\xA9lai de lecture d\xC3\xA9pass\xC3\xA9 (300 ms) : le serveur POP3 ne r\xC3\xA9pond pas");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_GT(pumped, 5);
  EXPECT_FALSE(client.Connected());
}

TEST(Pop3ClientTest, ALineLongerThanTheLimitFailsAndACutMessageFails) {
  struct Case {
    std::string reply;
    Failure failure;
  } cases[] = {
      {"+OK\r\n" + std::string(20000, 'x') + "\r\n.\r\n", Failure::LineTooLong},
      {"+OK\r\nSubject: coup\xE9\r\n\r\nd\xE9" "but du", Failure::Closed},
      {"bonjour\r\n", Failure::BadReply},
  };
  for (const Case& c : cases) {
    ScriptedPop3 server(AfterLogin([&](Peer& peer) { peer.Send(c.reply); }));
    Pop3Client client;
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.Connect();
    try {
      client.Retrieve(1);
      ADD_FAILURE() << c.reply.substr(0, 40);
    } catch (const EMailError& e) {
      EXPECT_EQ(e.Kind(), c.failure) << e.what();
    }
    EXPECT_FALSE(client.Connected());
  }
}

TEST(Pop3ClientTest, AServerWithoutUidlOrWithAListThatCannotBeReadGivesNoIdsAndStaysUsable) {
  for (const char* reply : {"-ERR unknown command\r\n", "+OK\r\n1 u1\r\n2u2\r\n.\r\n", "+OK\r\n0 u0\r\n1 u1\r\n.\r\n",
                            "+OK\r\nun u1\r\n.\r\n", "+OK\r\n-1 u1\r\n.\r\n", "+OK\r\n\r\n.\r\n"}) {
    SCOPED_TRACE(reply);
    ScriptedPop3 server(AfterLogin([&](Peer& peer) {
      peer.Send(reply);
      if (peer.ReadLine()) peer.Send("+OK 4 100\r\n");
    }));
    Pop3Client client;
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    client.Connect();
    EXPECT_FALSE(client.UniqueIds());
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(client.CheckMessages(), 4);
  }
}

// The limits of a reply scaled down: 0.5 s of silence, 200 bytes a second over 1 s.
void ScaledLimits(Pop3Client& client) {
  client.ReadTimeout = 500ms;
  client.LowSpeedLimit = 200;
  client.LowSpeedTime = 1s;
}

TEST(Pop3ClientTest, AReplySlowerThanTheFloorRateFailsWhateverTheSpacingOfItsBytes) {
  const std::string kTooSlow = "Le serveur POP3 est trop lent : moins de 200 octets par seconde pendant 1000 ms";
  struct Case {
    const char* name;
    std::function<void(Peer&)> answer;
  } cases[] = {
      // No single wait comes near the read time-out.
      {"a byte every 50 ms", [](Peer& peer) { peer.Trickle("+OK " + std::string(1000, '9'), 50ms, 20s); }},
      // A good start does not buy the rest of the reply: the floor holds over every period.
      {"a fast start, then a byte every 50 ms",
       [](Peer& peer) {
         peer.Send("+OK\r\n" + std::string(5000, 'x') + "\r\n");
         peer.Trickle(std::string(1000, 'y'), 50ms, 20s);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPop3 server(AfterLogin(c.answer));
    Pop3Client client;
    client.Host = "127.0.0.1";
    client.Port = server.Port();
    ScaledLimits(client);
    int pumped = 0;
    client.Pump = [&] { ++pumped; };
    client.Connect();
    const auto start = std::chrono::steady_clock::now();
    try {
      client.Retrieve(1);
      ADD_FAILURE();
    } catch (const EMailError& e) {
      EXPECT_EQ(e.Kind(), Failure::Timeout);
      EXPECT_EQ(e.what(), kTooSlow);
    }
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 900ms);
    EXPECT_LT(took, 5s);
    EXPECT_GT(pumped, 5);
    EXPECT_FALSE(client.Connected());
  }
}

TEST(Pop3ClientTest, ASlowButSteadyServerCompletesEveryReplyAndTheSessionHowLongItTakes) {
  // Each reply 100 ms late, and a mail of 12 KB at 4 KB a second: the session lasts far past
  // every limit, and no reply comes near one.
  const std::string body = std::string(100, 'm') + "\r\n";
  std::string mail;
  while (mail.size() < 12000) mail += body;
  ScriptedPop3 server(AfterLogin([&](Peer& peer) {
    for (auto line = std::optional<std::string>("STAT"); line && *line != "QUIT"; line = peer.ReadLine()) {
      std::this_thread::sleep_for(100ms);
      if (line->rfind("RETR", 0) == 0) {
        peer.Pace("+OK\r\n" + mail + ".\r\n", 400, 100ms, 20s);
      } else {
        peer.Send("+OK 40 100\r\n");
      }
    }
    peer.Send("+OK\r\n");
  }));
  Pop3Client client;
  client.Host = "127.0.0.1";
  client.Port = server.Port();
  ScaledLimits(client);
  const auto start = std::chrono::steady_clock::now();
  client.Connect();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(client.CheckMessages(), 40);
  EXPECT_EQ(client.Retrieve(1), mail);
  EXPECT_TRUE(client.Disconnect()) << "the QUIT answered";
  EXPECT_GT(std::chrono::steady_clock::now() - start, 3s);
}

TEST(Pop3ClientTest, AnAbortFromThePumpEndsTheWaitingCallAtOnceAndTheNextSessionStartsAfresh) {
  ScriptedPop3 server([](Peer& peer) {
    for (int i = 0; i < 2; ++i) {
      if (!peer.ReadLine()) return;
      peer.Send("+OK\r\n");
    }
    const auto command = peer.ReadLine();
    if (command == "STAT") peer.Stall(20s);
    if (command == "UIDL") peer.Send("+OK\r\n1 u1\r\n.\r\n");
  });
  Pop3Client client;
  client.Host = "127.0.0.1";
  client.Port = server.Port();
  const auto start = std::chrono::steady_clock::now();
  client.Pump = [&] {
    if (std::chrono::steady_clock::now() - start > 100ms) client.Abort();
  };
  client.Connect();
  try {
    client.CheckMessages();
    FAIL();
  } catch (const EMailError& e) {
    EXPECT_EQ(e.Kind(), Failure::Aborted);
    EXPECT_STREQ(e.what(), "Op\xC3\xA9ration POP3 interrompue");
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_FALSE(client.Connected());
  EXPECT_FALSE(client.Disconnect());

  client.Pump = nullptr;
  client.Connect();
  const auto ids = client.UniqueIds();
  ASSERT_TRUE(ids);
  EXPECT_EQ(*ids, (std::vector<mail::UniqueId>{{1, "u1"}}));
}

TEST(Pop3ClientTest, ACallFromThePumpWhileOneWaitsIsRefused) {
  ScriptedPop3 server(AfterLogin([](Peer& peer) {
    peer.Stall(200ms);
    peer.Send("+OK 1 10\r\n");
  }));
  Pop3Client client;
  client.Host = "127.0.0.1";
  client.Port = server.Port();
  client.Connect();
  bool refused = false;
  client.Pump = [&] {
    if (refused) return;
    try {
      client.Delete(1);
    } catch (const EMailError& e) {
      refused = e.Kind() == Failure::Usage;
    }
  };
  EXPECT_EQ(client.CheckMessages(), 1);
  EXPECT_TRUE(refused);
}

}  // namespace
