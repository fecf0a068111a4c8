// The mail watch of the main window against a real Dovecot (and scripted servers where a real
// one cannot misbehave as needed).
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <stdexcept>

#include "forms/timer.h"
#include "http/stand-in/server.h"
#include "loopback_server.h"
#include "mail_fixture.h"
#include "mail_reader.h"

namespace {

using namespace std::chrono_literals;
using client_test::Served;
using client_test::ServedWhile;
using client_test::Mail;
using mail::test_servers::Peer;
using mail::test_servers::RecordingProxy;
using mail::test_servers::ScriptedPop3;
using Strings = std::vector<std::string>;

const char* const kFillIn = "Renseignez les champs dans la section \"E-mail\" ";
const char* const kQuestion = "Voulez-vous supprimer le ou les E-mail de votre serveur POP ?";

class MailWatchTest : public client_test::MailTest {
 protected:
  // Selects rows as the user would, with Ctrl held after the first.
  void Select(std::initializer_list<int> rows) {
    bool first = true;
    for (int r : rows) {
      f->ListView2->UserClickItem(r, !first);
      first = false;
    }
  }
  // The mail watched with the messages, the secretariat answering the poll with nothing new.
  void WatchMailWith(http::stand_in::Server& secretariat) {
    http::stand_in::ScriptedReply reply;
    reply.body = "0-0-0\r\n";
    secretariat.Queue(reply);
    Account(secretariat.HostAndPort());
    Watch(true, false, false, true);
  }
};

TEST_F(MailWatchTest, WithoutServerOrUserOnlyTheStatusLineChanges) {
  server->Deliver(Mail("a@x.fr", "un"));
  f->Button5->UserClick();
  ASSERT_EQ(f->ListView2->Items().Count(), 1);
  for (auto* field : {f->pop_3, f->pop_user}) {
    const std::string kept = field->Text();
    field->SetText("");
    f->Label15->SetCaption("avant");
    f->Edit2->SetText("7");
    f->Button5->UserClick();
    EXPECT_EQ(f->Label15->Caption(), kFillIn);
    EXPECT_EQ(f->ListView2->Items().Count(), 1) << "the list keeps its rows";
    EXPECT_EQ(f->Edit2->Text(), "7");
    field->SetText(kept);
  }
}

TEST_F(MailWatchTest, AnEmptyMailboxListsNothingAndKeepsTheStatusLine) {
  f->Label15->SetCaption("avant");
  f->Button5->UserClick();
  EXPECT_EQ(f->ListView2->Items().Count(), 0);
  EXPECT_EQ(f->Edit2->Text(), "0");
  EXPECT_EQ(f->Label15->Caption(), "avant");
}

TEST_F(MailWatchTest, ListsEveryMailWithItsImageAndFlagsFriends) {
  f->ListBox3->Items().Add("jeanne@exemple.fr");
  f->ListBox3->Items().Add("@Amis.Example");
  f->ListBox4->Items().Add("r\xC3\xA9union");
  server->Deliver(Mail("Jeanne <jeanne@exemple.fr>", "Bonjour"));
  server->Deliver(Mail("x@autre.fr", "Planning", "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=b\r\n",
                       "--b\r\nContent-Type: text/plain\r\n\r\nt\r\n--b--\r\n", "Wed, 09 Dec 2026 17:40:12 +0000"));
  server->Deliver(Mail("y@autre.fr", "Capitale", "MIME-Version: 1.0\r\nContent-Type: Multipart/Alternative; boundary=b\r\n",
                       "--b\r\nContent-Type: text/plain\r\n\r\nt\r\n--b--\r\n"));
  server->Deliver(Mail("paul@AMIS.example", "Nouvelles"));
  server->Deliver(Mail("z@autre.fr", "=?UTF-8?Q?Compte-rendu_R=C3=89UNION?="));
  f->Edit5->SetText("");
  f->Button5->UserClick();

  ASSERT_EQ(f->ListView2->Items().Count(), 5);
  EXPECT_EQ(Row(0), (Strings{"1", "10/12/2026", "08:02:30", "Bonjour", "jeanne@exemple.fr"}));
  EXPECT_EQ(Row(1), (Strings{"2", "09/12/2026", "18:40:12", "Planning", "x@autre.fr"})) << "in the local time";
  EXPECT_EQ(Images(), (std::vector<int>{5, 4, 6, 5, 5}));
  EXPECT_EQ(f->Edit2->Text(), "5");
  EXPECT_EQ(f->Edit5->Text(), "1");
  EXPECT_EQ(f->Label15->Caption(), "Vous avez 5 E-mail");
  EXPECT_EQ(f->ListView2->Columns().Count(), 6);
  EXPECT_EQ(f->ListView2->Columns()[1].Caption(), "N\xC2\xB0");
  EXPECT_EQ(f->ListView2->Columns()[5].Caption(), "Exp\xC3\xA9" "diteur");
}

TEST_F(MailWatchTest, TheFriendTestMatchesContainedTextInAnyCase) {
  struct Case {
    const char* entry;  // in the friends list (sender) or the subject words
    bool subjectWord;
    std::string subject, sender;
    bool friendsMail;
  };
  const Case cases[] = {
      {"@exemple.fr", false, "s", "Paul@EXEMPLE.fr", true},
      {"paul@exemple.fr", false, "s", "jean-paul@exemple.fr.example", true},  // contained, longer
      {"paul@exemple.fr", false, "s", "paul@exemple.com", false},
      {"", false, "s", "a@b.c", false},  // an empty entry matches only an empty address
      {"", false, "s", "", true},
      {"devis", true, "Votre DEVIS n\xC2\xB0" "3", "a@b.c", true},
      {"\xC3\xA9t\xC3\xA9", true, "Bel \xC3\x89T\xC3\x89", "a@b.c", true},
      {"", true, "", "a@b.c", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.entry) + " / " + c.subject + " / " + c.sender);
    f->ListBox3->Items().Clear();
    f->ListBox4->Items().Clear();
    (c.subjectWord ? f->ListBox4 : f->ListBox3)->Items().Add(c.entry);
    f->ListView2->Items().Clear();
    f->Edit5->SetText("");
    f->ajoutmail("1", "", "", c.subject, c.sender, "text/plain");
    EXPECT_EQ(f->Edit5->Text(), c.friendsMail ? "1" : "");
    EXPECT_EQ(Images(), std::vector<int>{c.friendsMail ? 5 : 6});
  }
}

TEST_F(MailWatchTest, RowsAreColouredFriendsFirst) {
  f->ajoutmail("1", "", "", "s", "a@b.c", "text/plain");
  f->ajoutmail("2", "", "", "s", "a@b.c", "multipart/mixed");
  f->ListBox3->Items().Add("@b.c");
  f->ajoutmail("3", "", "", "s", "a@b.c", "text/plain");
  const auto colors = [&](int i) { return f->ListView2->ItemColors(f->ListView2->Items()[i]); };
  EXPECT_EQ(colors(0).Background, forms::clWhite);
  EXPECT_EQ(colors(0).Text, forms::clBlack);
  EXPECT_EQ(colors(1).Background, forms::cl3DLight);
  EXPECT_EQ(colors(2).Background, forms::RGB(234, 220, 160));
  EXPECT_TRUE(colors(2).Style & forms::fsBold);
}

TEST_F(MailWatchTest, FailuresGoToTheStatusLine) {
  struct Case {
    const char* name;
    std::function<void()> setUp;
    std::string status;
  };
  int closedPort;
  { ScriptedPop3 gone([](Peer&) {}); closedPort = gone.Port(); }
  const Case cases[] = {
      {"wrong password", [&] { PointAt(server->Port(), "faux"); }, "[AUTH] Authentication failed."},
      {"closed port", [&] { PointAt(closedPort); },
       "Impossible de se connecter \xC3\xA0 127.0.0.1:" + std::to_string(closedPort) + " : Connexion refus\xC3\xA9" "e"},
      {"a port out of range", [&] { PointAt(server->Port()); f->pop_port->SetText("70000"); },
       "Port POP3 invalide : 70000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.setUp();
    f->Edit2->SetText("9");
    f->Button5->UserClick();
    EXPECT_EQ(f->Label15->Caption(), c.status);
    EXPECT_EQ(f->Edit2->Text(), "0");
    EXPECT_FALSE(f->POP3->Connected());
  }
  // A port that is no decimal number is the POP3 port.
  for (const char* port : {"cent dix", "0x1F", "", "-5"}) {
    PointAt(closedPort);
    f->pop_port->SetText(port);
    f->Button5->UserClick();
    EXPECT_EQ(f->POP3->Port, 110) << port;
  }
}

TEST_F(MailWatchTest, AFailureAfterTheCountKeepsTheRowsCountsOnlyThemAndShowsTheFailure) {
  struct Case {
    const char* count;
    int listedBeforeTheCut;
  };
  for (const Case& c : {Case{"2", 1}, Case{"2147483647", 3}}) {
    SCOPED_TRACE(c.count);
    ScriptedPop3 cut([&](Peer& peer) {
      Strings replies{"+OK\r\n", "+OK\r\n", "+OK " + std::string(c.count) + " 100\r\n", "-ERR no UIDL\r\n"};
      for (int i = 1; i <= c.listedBeforeTheCut; ++i)
        replies.push_back("+OK\r\nFrom: a@b.c\r\nSubject: mail " + std::to_string(i) + "\r\n\r\n.\r\n");
      replies.push_back("+OK\r\nSubject: coup");
      for (const std::string& reply : replies) {
        if (!peer.ReadLine()) return;
        peer.Send(reply);
      }
    });
    PointAt(cut.Port());
    f->Button5->UserClick();
    EXPECT_EQ(f->ListView2->Items().Count(), c.listedBeforeTheCut);
    EXPECT_EQ(f->Edit2->Text(), std::to_string(c.listedBeforeTheCut)) << "the mails listed, not the count announced";
    EXPECT_EQ(f->Label15->Caption(), "Connexion ferm\xC3\xA9" "e par le serveur POP3");
  }
}

TEST_F(MailWatchTest, AServerThatStopsAnsweringIsGivenUpAfterTheTimeLimit) {
  EXPECT_EQ(f->POP3->ReadTimeout, 120000ms) << "as long as the HTTP requests";
  ScriptedPop3 silent([](Peer& peer) {
    for (int i = 0; i < 2 && peer.ReadLine(); ++i) peer.Send("+OK\r\n");
    peer.Stall(10s);
  });
  PointAt(silent.Port());
  f->POP3->ReadTimeout = 300ms;
  f->Button5->UserClick();
  EXPECT_EQ(f->Label15->Caption(),
            "D\xC3\xA9lai de lecture d\xC3\xA9pass\xC3\xA9 (300 ms) : le serveur POP3 ne r\xC3\xA9pond pas");
  // The next check is not blocked by the one that failed.
  PointAt(server->Port());
  server->Deliver(Mail("a@x.fr", "un"));
  f->Button5->UserClick();
  EXPECT_EQ(f->Label15->Caption(), "Vous avez 1 E-mail");
}

TEST_F(MailWatchTest, OneMailOperationAtATime) {
  // A server slow to count, so that the check surely waits.
  std::mutex mutex;
  Strings lines;
  ScriptedPop3 slow([&](Peer& peer) {
    while (auto line = peer.ReadLine()) {
      {
        std::lock_guard lock(mutex);
        lines.push_back(*line);
      }
      if (*line == "STAT") {
        peer.Stall(200ms);
        peer.Send("+OK 1 40\r\n");
      } else if (*line == "UIDL") {
        peer.Send("+OK\r\n1 u1\r\n.\r\n");
      } else if (*line == "TOP 1 0") {
        peer.Send("+OK\r\nFrom: a@x.fr\r\nSubject: un\r\n\r\n.\r\n");
      } else {
        peer.Send("+OK\r\n");
      }
    }
  });
  f->ajoutmail("1", "", "", "ancien", "a@x.fr", "text/plain");
  Select({0});
  PointAt(slow.Port());
  // While the check waits for the server, the poll, a second click, a reading and a
  // deletion come in: none of them starts.
  int tries = 0;
  auto pump = f->POP3->Pump;
  f->POP3->Pump = [&] {
    if (tries++ < 3) {
      f->Button5->UserClick();
      f->Afficherladebutdumessage1Click(f);
      f->SupprimerEmaildemonserveur1Click(f);
    }
    pump();
  };
  f->Button5->UserClick();
  EXPECT_GT(tries, 0);
  EXPECT_TRUE(dialogs.Messages().empty()) << "no deletion question while the check runs";
  EXPECT_EQ(slow.Connections(), 1);
  std::lock_guard lock(mutex);
  EXPECT_EQ(lines, (Strings{"USER marie", "PASS s3cret", "STAT", "UIDL", "TOP 1 0", "QUIT"}));
  EXPECT_FALSE(Form3->Visible());
  EXPECT_EQ(Subjects(), Strings{"un"});
}

TEST_F(MailWatchTest, SelectionStoresTheSenderAndSetsThePopupMenu) {
  struct Case {
    std::string sender, domain;
  };
  const Case cases[] = {{"jean@exemple.fr", "@exemple.fr"}, {"sans-arobase", "@"}, {"a@b@c", "@b"}};
  for (const Case& c : cases) f->ajoutmail("1", "", "", "s", c.sender, "text/plain");
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(cases[i].sender);
    Select({i});
    EXPECT_EQ(client::MailNumero, "1");
    EXPECT_EQ(client::MailExpediteur, cases[i].sender);
    EXPECT_EQ(client::MailDomaine, cases[i].domain);
    EXPECT_EQ(f->Repondrelexpditeur1->Caption(), "R\xC3\xA9pondre \xC3\xA0 l'exp\xC3\xA9" "diteur : " + cases[i].sender);
    EXPECT_EQ(f->Ajouterlexpditeurlalistedesamis1->Caption(),
              "Ajouter l'exp\xC3\xA9" "diteur \"" + cases[i].sender + "\" \xC3\xA0 la liste des amis");
    EXPECT_EQ(f->Ajouterledomainelalistedesamis1->Caption(),
              "Ajouter le domaine \"" + cases[i].domain + "\" \xC3\xA0 la liste des amis");
    for (int item : {0, 2, 4, 7}) EXPECT_TRUE(f->PopupMenu2->Items(item).Enabled()) << item;
    // The domain item only where the sender has a domain.
    EXPECT_EQ(f->PopupMenu2->Items(5).Enabled(), cases[i].domain != "@");
  }
  f->ListView2->UserClickEmpty();
  EXPECT_EQ(client::MailNumero, "");
  EXPECT_EQ(client::MailExpediteur, "");
  EXPECT_EQ(client::MailDomaine, "");
  for (int item : {0, 2, 4, 5, 7}) EXPECT_FALSE(f->PopupMenu2->Items(item).Enabled()) << item;
  for (int item : {9, 10, 11}) EXPECT_TRUE(f->PopupMenu2->Items(item).Enabled()) << item;
  EXPECT_EQ(f->Repondrelexpditeur1->Caption(), "R\xC3\xA9pondre \xC3\xA0 l'exp\xC3\xA9" "diteur");
  EXPECT_EQ(f->Ajouterledomainelalistedesamis1->Caption(), "Ajouter le domaine \xC3\xA0 la liste des amis");
}

TEST_F(MailWatchTest, NewMailsGoToTheMailProgramWithTheAddressEncoded) {
  struct Case {
    std::string sender, url;
  };
  const Case cases[] = {
      {"jean@exemple.fr", "mailto:jean@exemple.fr"},
      {"a@b.c?attach=~/.ssh/id_rsa", "mailto:a@b.c%3Fattach%3D~%2F.ssh%2Fid_rsa"},
      {"x@y.z&body=rm -rf", "mailto:x@y.z%26body%3Drm%20-rf"},
      {"ren\xC3\xA9" "e@exemple.fr", "mailto:ren%C3%A9e@exemple.fr"},
  };
  for (const Case& c : cases) f->ajoutmail("1", "", "", "s", c.sender, "text/plain");
  for (int i = 0; i < 4; ++i) {
    shell.calls.clear();
    Form3->Memo1->SetText("ancien texte");
    Select({i});
    f->Repondrelexpditeur1->UserClick();
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_EQ(shell.calls[0].file, cases[i].url);
    EXPECT_EQ(Form3->Memo1->Lines().Count(), 0) << "the reader's text is emptied";
  }
  shell.calls.clear();
  f->EnvoyerunEmail1->UserClick();
  EXPECT_EQ(shell.VerbsAndFiles(), (std::vector<std::pair<std::string, std::string>>{{"open", "mailto:"}}));
}

class MailDeletionTest : public MailWatchTest {
 protected:
  void SetUp() override {
    MailWatchTest::SetUp();
    for (const char* s : {"un", "deux", "trois", "quatre"}) server->Deliver(Mail("a@x.fr", s));
    f->Button5->UserClick();
    ASSERT_EQ(Subjects(), (Strings{"un", "deux", "trois", "quatre"}));
  }
  // The subjects left on the server.
  Strings OnServer() const {
    Strings subjects;
    for (const std::string& m : server->Messages()) {
      const auto at = m.find("Subject: ") + 9;
      subjects.push_back(m.substr(at, m.find("\r\n", at) - at));
    }
    return subjects;
  }
};

TEST_F(MailDeletionTest, DeletesTheSelectedMailsHighestFirstAndListsTheMailboxAgain) {
  Select({0, 1, 3});
  RecordingProxy proxy(server->Port());
  PointAt(proxy.Port());
  dialogs.AnswerMessage(forms::mrYes);
  f->SupprimercetEmaildemonserveurPOP1->UserClick();
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_EQ(dialogs.Messages()[0].Text, kQuestion);
  EXPECT_EQ(OnServer(), Strings{"trois"});
  EXPECT_EQ(Subjects(), Strings{"trois"});
  EXPECT_EQ(f->Label15->Caption(), "Vous avez 1 E-mail");
  EXPECT_EQ(client::MailNumero, "");
  // The deletion, then the check that lists the mailbox again.
  EXPECT_EQ(proxy.ClientLines(), (Strings{"USER marie", "PASS s3cret", "UIDL", "DELE 4", "DELE 2", "DELE 1", "QUIT",
                                          "USER marie", "PASS s3cret", "STAT", "UIDL", "TOP 1 0", "QUIT"}));
}

TEST_F(MailDeletionTest, AnsweringNoOrHavingNoStoredNumberDeletesNothing) {
  Select({1});
  dialogs.AnswerMessage(forms::mrNo);
  f->SupprimercetEmaildemonserveurPOP1->Click();
  EXPECT_EQ(OnServer().size(), 4u);
  EXPECT_EQ(client::MailNumero, "2") << "No changes nothing";

  // The last event was a deselection: nothing stored, nothing deleted, the list anew.
  Select({1, 2});
  f->ListView2->UserClickItem(2, true);
  EXPECT_EQ(client::MailNumero, "");
  server->Deliver(Mail("a@x.fr", "cinq"));
  dialogs.AnswerMessage(forms::mrYes);
  f->SupprimerEmaildemonserveur1Click(f);
  EXPECT_EQ(OnServer().size(), 5u);
  EXPECT_EQ(Subjects().size(), 5u);
}

TEST_F(MailDeletionTest, AMailboxChangedMeanwhileLosesOnlyTheMailsSelected) {
  Select({1, 2});  // "deux" and "trois", numbers 2 and 3 at the check
  // Another mail program deletes "un": "deux" is now number 1, "trois" number 2.
  DeleteElsewhere(1);
  dialogs.AnswerMessage(forms::mrYes);
  f->SupprimercetEmaildemonserveurPOP1->UserClick();
  EXPECT_EQ(OnServer(), Strings{"quatre"}) << "not the mail that took the old numbers";
  EXPECT_EQ(Subjects(), Strings{"quatre"});
}

TEST(MailIdentityTest, WithoutUidlTheHeaderUnderTheNumberMustBeTheSame) {
  const std::string listed = "From: a@b.c\r\nMessage-ID: <m1@b.c>\r\n\r\n";
  const std::string other = "From: a@b.c\r\nMessage-ID: <m2@b.c>\r\n\r\n";
  const std::string noId = "From: a@b.c\r\nSubject: s\r\n\r\n";
  // Long headers without Message-ID, the same but for their last field.
  std::string fields = "From: a@b.c\r\n";
  while (fields.size() < 200000) fields += "X-Champ: y\r\n";
  const std::string longNoId = fields + "X-Fin: 1\r\n\r\n";
  const std::string otherLongNoId = fields + "X-Fin: 2\r\n\r\n";
  struct Case {
    std::string listedHeader, headerNow;
    std::optional<int> number;
  };
  const Case cases[] = {{listed, listed, 2},           {listed, other, std::nullopt},
                        {noId, noId, 2},               {noId, other, std::nullopt},
                        {longNoId, longNoId, 2},       {longNoId, otherLongNoId, std::nullopt}};
  for (const Case& c : cases) {
    ScriptedPop3 server([&](Peer& peer) {
      for (const std::string& reply : Strings{"+OK\r\n", "+OK\r\n", "-ERR unknown\r\n", "+OK\r\n" + c.headerNow + ".\r\n"}) {
        if (!peer.ReadLine()) return;
        peer.Send(reply);
      }
    });
    mail::Pop3Client pop3;
    pop3.Host = "127.0.0.1";
    pop3.Port = server.Port();
    pop3.Connect();
    const auto uids = pop3.UniqueIds();
    ASSERT_FALSE(uids);
    const client::MailIdentity identity = client::IdentityAt(2, std::nullopt, c.listedHeader);
    EXPECT_LE(identity.header.size(), client::MailIdentity::kKeptHeader) << "a long header is not kept whole";
    EXPECT_EQ(client::CurrentNumber(pop3, identity, 2, uids), c.number);
  }
}

// A scripted mailbox whose UIDL gives each mail the id the test sets, the same one to several
// mails if it likes, and can change them between two sessions. It keeps its mails across
// connections: DELE flags a mail, QUIT removes the flagged ones.
class IdMailbox {
 public:
  explicit IdMailbox(Strings mails) : mails_(std::move(mails)), server_([this](Peer& peer) { Serve(peer); }) {}
  int Port() const { return server_.Port(); }
  // The ids of the mails from the first on, in their order.
  void SetIds(Strings ids) {
    std::lock_guard lock(mutex_);
    ids_ = std::move(ids);
  }
  Strings Subjects() const {
    std::lock_guard lock(mutex_);
    Strings subjects;
    for (const std::string& m : mails_) {
      const auto at = m.find("Subject: ") + 9;
      subjects.push_back(m.substr(at, m.find("\r\n", at) - at));
    }
    return subjects;
  }

 private:
  void Serve(Peer& peer) {
    std::vector<bool> flagged;
    while (auto line = peer.ReadLine()) {
      std::lock_guard lock(mutex_);
      flagged.resize(mails_.size());
      const std::string& command = *line;
      const auto number = [&](const char* verb) {
        const std::string prefix = std::string(verb) + " ";
        if (command.rfind(prefix, 0) != 0) return 0;
        const int n = std::atoi(command.c_str() + prefix.size());
        return n >= 1 && n <= static_cast<int>(mails_.size()) ? n : 0;
      };
      if (command == "STAT") {
        peer.Send("+OK " + std::to_string(mails_.size()) + " 100\r\n");
      } else if (command == "UIDL") {
        std::string reply = "+OK\r\n";
        for (std::size_t i = 0; i < mails_.size() && i < ids_.size(); ++i)
          reply += std::to_string(i + 1) + " " + ids_[i] + "\r\n";
        peer.Send(reply + ".\r\n");
      } else if (const int n = number("TOP")) {
        const std::string& m = mails_[n - 1];
        peer.Send("+OK\r\n" + m.substr(0, m.find("\r\n\r\n") + 4) + ".\r\n");
      } else if (const int r = number("RETR")) {
        peer.Send("+OK\r\n" + mails_[r - 1] + ".\r\n");
      } else if (const int d = number("DELE")) {
        flagged[d - 1] = true;
        peer.Send("+OK\r\n");
      } else if (command == "QUIT") {
        for (std::size_t i = flagged.size(); i-- > 0;)
          if (flagged[i]) {
            mails_.erase(mails_.begin() + static_cast<std::ptrdiff_t>(i));
            if (i < ids_.size()) ids_.erase(ids_.begin() + static_cast<std::ptrdiff_t>(i));
          }
        peer.Send("+OK\r\n");
        return;
      } else if (command.rfind("USER ", 0) == 0 || command.rfind("PASS ", 0) == 0) {
        peer.Send("+OK\r\n");
      } else {
        peer.Send("-ERR no such message\r\n");
      }
    }
  }

  mutable std::mutex mutex_;
  Strings mails_;
  Strings ids_;
  ScriptedPop3 server_;  // the last member: it stops before the mailbox goes
};

// Ids a server repeats, at the check or from a later session on, against the mails "un",
// "deux" and "trois": the ids at the check, those the server gives afterwards, and the row the
// user acts on.
struct RepeatedIdCase {
  const char* name;
  Strings idsAtCheck, idsAfter;
  int row;
  Strings leftByDeletion;  // the mails left on the server once that row is deleted
  Strings read;            // the text read for that row (empty: not found)
};
const RepeatedIdCase kRepeatedIds[] = {
    {"repeated at the check, the second", {"dup", "dup", "uid-3"}, {"dup", "dup", "uid-3"}, 1,
     {"un", "trois"}, {"second"}},
    {"repeated at the check, the first", {"dup", "dup", "uid-3"}, {"dup", "dup", "uid-3"}, 0,
     {"deux", "trois"}, {"premier"}},
    {"repeated at the check, the one with an id of its own", {"dup", "dup", "uid-3"}, {"dup", "dup", "uid-3"}, 2,
     {"un", "deux"}, {"troisieme"}},
    {"repeated at the check, told apart afterwards", {"dup", "dup", "uid-3"}, {"u1", "u2", "uid-3"}, 1,
     {"un", "trois"}, {"second"}},
    // The id of "deux" is given to "un" too: "deux" is found under its number.
    {"repeated afterwards", {"u1", "u2", "u3"}, {"u2", "u2", "u3"}, 1, {"un", "trois"}, {"second"}},
    // The id of "un" is gone: "un" is not taken for the mail that carries another one.
    {"repeated afterwards, the mail whose id went", {"u1", "u2", "u3"}, {"u2", "u2", "u3"}, 0,
     {"un", "deux", "trois"}, {}},
    // The mail under the listed number now has an id of its own: not the one listed.
    {"repeated afterwards, another id under the number", {"u1", "u2", "u3"}, {"u1", "u3", "u3"}, 1,
     {"un", "deux", "trois"}, {}},
};

Strings ThreeMails() {
  return {Mail("a@x.fr", "un", "", "premier\r\n"), Mail("b@x.fr", "deux", "", "second\r\n"),
          Mail("c@x.fr", "trois", "", "troisieme\r\n")};
}

TEST_F(MailWatchTest, ADeletionRemovesTheMailChosenWhateverIdsTheServerRepeats) {
  for (const RepeatedIdCase& c : kRepeatedIds) {
    SCOPED_TRACE(c.name);
    IdMailbox mailbox(ThreeMails());
    mailbox.SetIds(c.idsAtCheck);
    PointAt(mailbox.Port());
    f->Button5->UserClick();
    ASSERT_EQ(Subjects(), (Strings{"un", "deux", "trois"}));
    mailbox.SetIds(c.idsAfter);
    Select({c.row});
    dialogs.AnswerMessage(forms::mrYes);
    f->SupprimercetEmaildemonserveurPOP1->UserClick();
    EXPECT_EQ(mailbox.Subjects(), c.leftByDeletion);
    EXPECT_EQ(Subjects(), c.leftByDeletion) << "listed again";
  }
}

TEST_F(MailWatchTest, AReadingShowsTheMailChosenWhateverIdsTheServerRepeats) {
  for (const RepeatedIdCase& c : kRepeatedIds) {
    SCOPED_TRACE(c.name);
    IdMailbox mailbox(ThreeMails());
    mailbox.SetIds(c.idsAtCheck);
    PointAt(mailbox.Port());
    f->Button5->UserClick();
    ASSERT_EQ(Subjects(), (Strings{"un", "deux", "trois"}));
    mailbox.SetIds(c.idsAfter);
    f->Label15->SetCaption("");
    Select({c.row});
    f->LirelEmailenModeTexte1->UserClick();
    EXPECT_EQ(Form3->Memo1->Lines().ToVector(), c.read);
    EXPECT_EQ(f->Label15->Caption(), c.read.empty() ? "Cet E-mail n'est plus sur votre serveur POP" : "");
    Form3->Button1->UserClick();
  }
}

TEST_F(MailWatchTest, AfterADeletionAmongRepeatedIdsTheOtherMailsAreReadAsThemselves) {
  // The server repeats an id from the check on; "deux" is deleted, then every mail left is read.
  IdMailbox mailbox(ThreeMails());
  mailbox.SetIds({"dup", "dup", "uid-3"});
  PointAt(mailbox.Port());
  f->Button5->UserClick();
  Select({1});
  dialogs.AnswerMessage(forms::mrYes);
  f->SupprimercetEmaildemonserveurPOP1->UserClick();
  ASSERT_EQ(Subjects(), (Strings{"un", "trois"}));
  const Strings texts[] = {{"premier"}, {"troisieme"}};
  for (int row = 0; row < 2; ++row) {
    Select({row});
    f->LirelEmailenModeTexte1->UserClick();
    EXPECT_EQ(Form3->Memo1->Lines().ToVector(), texts[row]) << row;
    Form3->Button1->UserClick();
  }
}

// A POP3 server over `mails` for what Dovecot does not do: `answerFirst` answers a command
// first when it wants (true: answered); UIDL gives `uidl` when it is set.
ScriptedPop3::Script Mailbox(Strings mails, std::function<bool(Peer&, const std::string&)> answerFirst = nullptr,
                             std::optional<std::string> uidl = std::nullopt) {
  return [=](Peer& peer) {
    const auto numbered = [&](const std::string& command, const char* verb) {
      const std::string prefix = std::string(verb) + " ";
      if (command.rfind(prefix, 0) != 0) return 0;
      const int n = std::atoi(command.c_str() + prefix.size());
      return n >= 1 && n <= static_cast<int>(mails.size()) ? n : 0;
    };
    while (auto line = peer.ReadLine()) {
      const std::string& command = *line;
      if (answerFirst && answerFirst(peer, command)) continue;
      if (command == "STAT") {
        peer.Send("+OK " + std::to_string(mails.size()) + " 100\r\n");
      } else if (command == "UIDL") {
        std::string reply = "+OK\r\n";
        for (std::size_t i = 1; i <= mails.size(); ++i) reply += std::to_string(i) + " u" + std::to_string(i) + "\r\n";
        peer.Send(uidl ? *uidl : reply + ".\r\n");
      } else if (const int n = numbered(command, "TOP")) {
        const std::string& m = mails[n - 1];
        peer.Send("+OK\r\n" + m.substr(0, m.find("\r\n\r\n") + 4) + ".\r\n");
      } else if (const int r = numbered(command, "RETR")) {
        peer.Send("+OK\r\n" + mails[r - 1] + ".\r\n");
      } else if (command == "QUIT") {
        peer.Send("+OK\r\n");
        return;
      } else {
        peer.Send("+OK\r\n");
      }
    }
  };
}

TEST_F(MailWatchTest, AUidlListThatCannotBeReadIsTakenAsNoUidl) {
  const Strings mails{Mail("a@x.fr", "un"), Mail("b@x.fr", "deux", "", "Le texte de deux\r\n"), Mail("c@x.fr", "trois")};
  for (const char* uidl : {"+OK\r\n1 u1\r\n2u2\r\n3 u3\r\n.\r\n", "+OK\r\n0 u0\r\n1 u1\r\n.\r\n"}) {
    SCOPED_TRACE(uidl);
    ScriptedPop3 server(Mailbox(mails, nullptr, std::string(uidl)));
    PointAt(server.Port());
    f->Button5->UserClick();
    EXPECT_EQ(Subjects(), (Strings{"un", "deux", "trois"}));
    EXPECT_EQ(f->Label15->Caption(), "Vous avez 3 E-mail");
    // The mail is found again by its Message-ID.
    Select({1});
    f->LirelEmailenModeTexte1->UserClick();
    EXPECT_EQ(Form3->Memo1->Lines().ToVector(), Strings{"Le texte de deux"});
    EXPECT_EQ(Form3->Label2->Caption(), "Sujet : deux");
    Form3->Button1->UserClick();
  }
}

const std::string kTooSlow = "Le serveur POP3 est trop lent : moins de 200 octets par seconde pendant 1000 ms";

// The limits of a reply scaled down: 0.5 s of silence, 200 bytes a second over 1 s.
void ScaledLimits(mail::Pop3Client& pop3) {
  pop3.ReadTimeout = 500ms;
  pop3.LowSpeedLimit = 200;
  pop3.LowSpeedTime = 1s;
}

// Answers `command` one byte every 50 ms (for 20 s at most).
std::function<bool(Peer&, const std::string&)> Trickling(const std::string& command) {
  return [command](Peer& peer, const std::string& line) {
    if (line.rfind(command, 0) != 0) return false;
    peer.Trickle("+OK " + std::string(4000, '9') + "\r\n", 50ms, 20s);
    return true;
  };
}

// Announces as many mails as a count can hold and answers every TOP, for 20 s at most (then
// it cuts the connection).
std::function<bool(Peer&, const std::string&)> EndlessCount() {
  return [since = std::chrono::steady_clock::now()](Peer& peer, const std::string& line) mutable {
    if (line == "STAT") {
      since = std::chrono::steady_clock::now();
      peer.Send("+OK 2147483647 100\r\n");
      return true;
    }
    if (line.rfind("TOP ", 0) != 0) return false;
    if (std::chrono::steady_clock::now() - since > 20s) throw std::runtime_error("long enough");
    peer.Send("+OK\r\nFrom: a@x.fr\r\nSubject: encore\r\n\r\n.\r\n");
    return true;
  };
}

class MailOperationLimitTest : public MailWatchTest {
 protected:
  enum class Operation { Check, Reading, Deletion };
  struct Case {
    const char* name;
    Operation operation;
    std::function<bool(Peer&, const std::string&)> answerFirst;
    bool trickled;  // slower than any floor rate
  };
  const std::vector<Case> cases{
      {"a count trickled", Operation::Check, Trickling("STAT"), true},
      {"a count that never ends", Operation::Check, EndlessCount(), false},
      {"a mail trickled", Operation::Reading, Trickling("RETR"), true},
      {"a deletion trickled", Operation::Deletion, Trickling("DELE"), true},
  };
  // Lists the mailbox (unless the check is the operation), then runs the operation as the
  // user would; how long it took.
  std::chrono::steady_clock::duration Run(const Case& c, ScriptedPop3& server) {
    PointAt(server.Port());
    if (c.operation != Operation::Check) {
      f->Button5->UserClick();
      Select({0});
    }
    const auto start = std::chrono::steady_clock::now();
    switch (c.operation) {
      case Operation::Check: f->Button5->UserClick(); break;
      case Operation::Reading: f->LirelEmailenModeTexte1->UserClick(); break;
      case Operation::Deletion:
        dialogs.AnswerMessage(forms::mrYes);
        f->SupprimercetEmaildemonserveurPOP1->UserClick();
        break;
    }
    return std::chrono::steady_clock::now() - start;
  }
  const Strings mails{Mail("a@x.fr", "un")};
};

TEST_F(MailOperationLimitTest, AnOperationEndsWhenTheServerIsSlowerThanTheFloorRate) {
  ScaledLimits(*f->POP3);
  for (const Case& c : cases) {
    if (!c.trickled) continue;
    SCOPED_TRACE(c.name);
    ScriptedPop3 server(Mailbox(mails, c.answerFirst));
    const auto took = Run(c, server);
    EXPECT_LT(took, 8s);
    EXPECT_FALSE(f->POP3->Connected());
    if (c.operation == Operation::Deletion) {
      EXPECT_EQ(Subjects(), Strings{"un"}) << "not deleted, and listed again";
    } else {
      EXPECT_EQ(f->Label15->Caption(), kTooSlow);
    }
    if (c.operation == Operation::Check) {
      EXPECT_EQ(f->Edit2->Text(), std::to_string(f->ListView2->Items().Count())) << "the mails listed";
    }
    f->Label15->SetCaption("");
  }
}

TEST_F(MailWatchTest, ABigMailboxOnASlowServerIsListedWholeAndTheSessionEndsWithQuit) {
  // Every answer 100 ms late: the check lasts many times the limits, no reply comes near one.
  Strings subjects;
  for (int i = 1; i <= 20; ++i) {
    subjects.push_back("mail " + std::to_string(i));
    server->Deliver(Mail("a@x.fr", subjects.back()));
  }
  RecordingProxy slow(server->Port(), 100ms);
  PointAt(slow.Port());
  ScaledLimits(*f->POP3);
  const auto start = std::chrono::steady_clock::now();
  f->Button5->UserClick();
  EXPECT_GT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(Subjects(), subjects);
  EXPECT_EQ(f->Label15->Caption(), "Vous avez 20 E-mail");
  const Strings lines = slow.ClientLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "QUIT");
}

TEST_F(MailWatchTest, TheWindowIsServedWhileAServerSendsAMailWithoutPause) {
  // 3 MB in pieces of 1460 bytes 1 ms apart: the socket is never idle for long.
  std::string text;
  while (text.size() < 3 * 1024 * 1024) text += std::string(70, 'a') + "\r\n";
  const std::string mail = Mail("a@x.fr", "gros", "", text);
  ScriptedPop3 steady(Mailbox({mail}, [&](Peer& peer, const std::string& line) {
    if (line.rfind("RETR", 0) != 0) return false;
    peer.Pace("+OK\r\n" + mail + ".\r\n", 1460, 1ms, 20s);
    return true;
  }));
  PointAt(steady.Port());
  f->Button5->UserClick();
  Select({0});
  // The mail takes over two seconds to come; the window is served all along, not only once it is in.
  int pumps = 0;
  auto pump = f->POP3->Pump;
  f->POP3->Pump = [&] {
    ++pumps;
    if (pump) pump();
  };
  const Served served = ServedWhile([&] { f->LirelEmailenModeTexte1->UserClick(); });
  f->POP3->Pump = pump;
  EXPECT_GE(pumps, 20);
  EXPECT_GE(served.turns, 20);
  EXPECT_EQ(Form3->Label2->Caption(), "Sujet : gros");
}

// One case each: the program is over after it.
class QuitDuringAMailOperationTest : public MailOperationLimitTest, public ::testing::WithParamInterface<int> {};

TEST_P(QuitDuringAMailOperationTest, QuittingEndsTheOperationUnderWayAtOnce) {
  const Case& c = cases.at(GetParam());
  SCOPED_TRACE(c.name);
  ScriptedPop3 server(Mailbox(mails, c.answerFirst));
  PointAt(server.Port());
  if (c.operation != Operation::Check) f->Button5->UserClick();
  // "Quitter", answered Yes, while the operation waits for the server (or lists).
  forms::TTimer quit(nullptr);
  quit.SetInterval(300);
  quit.OnTimer = [&](forms::TObject*) {
    quit.SetEnabled(false);
    dialogs.AnswerMessage(forms::mrYes);
    f->SpeedButton10->UserClick();
  };
  quit.SetEnabled(true);
  const auto start = std::chrono::steady_clock::now();
  switch (c.operation) {
    case Operation::Check: f->Button5->UserClick(); break;
    case Operation::Reading:
      Select({0});
      f->LirelEmailenModeTexte1->UserClick();
      break;
    case Operation::Deletion:
      Select({0});
      dialogs.AnswerMessage(forms::mrYes);
      f->SupprimercetEmaildemonserveurPOP1->UserClick();
      break;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
  EXPECT_TRUE(forms::Application->Terminated());
  EXPECT_FALSE(f->POP3->Connected());
  EXPECT_EQ(server.Connections(), c.operation == Operation::Check ? 1 : 2) << "nothing started after the close";
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, QuitDuringAMailOperationTest, ::testing::Range(0, 4));

TEST_F(MailWatchTest, TheWindowKeepsRunningWhileAMailIsTakenApart) {
  // Header fields by the hundred thousand, and a mail of empty parts: each takes a while.
  std::string fields;
  while (fields.size() < 4 * 1024 * 1024) fields += "A: b\r\n";
  std::string parts;
  while (parts.size() < 2 * 1024 * 1024) parts += "--b\r\n\r\n";
  server->Deliver(Mail("a@x.fr", "champs", fields));
  server->Deliver(Mail("b@x.fr", "parties", "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n",
                       parts + "--b--\r\n"));
  const Served check = ServedWhile([&] { f->Button5->UserClick(); });
  EXPECT_GE(check.turns, 2) << "the check";
  EXPECT_EQ(Subjects(), (Strings{"champs", "parties"}));
  Select({1});
  const Served reading = ServedWhile([&] { f->LirelEmailenModeTexte1->UserClick(); });
  EXPECT_GE(reading.turns, 2) << "the reading";
  EXPECT_EQ(Form3->Label2->Caption(), "Sujet : parties");
}

TEST_F(MailWatchTest, APollThatComesDuringACheckKeepsTheChecksCount) {
  http::stand_in::Server secretariat;
  WatchMailWith(secretariat);
  server->Deliver(Mail("a@x.fr", "un"));
  server->Deliver(Mail("b@x.fr", "deux"));
  // Every answer of the server comes late, so that the check surely waits between the mails.
  RecordingProxy slow(server->Port(), 100ms);
  PointAt(slow.Port());
  bool polled = false;
  auto pump = f->POP3->Pump;
  f->POP3->Pump = [&] {
    if (!polled && f->ListView2->Items().Count() == 1) {
      polled = true;
      f->Timer1->Fire();
    }
    pump();
  };
  f->Button5->UserClick();
  ASSERT_TRUE(polled);
  EXPECT_EQ(n->mail->Caption(), "Vous avez 2 E-mail") << "the poll announced the check's count";
  EXPECT_EQ(f->Edit2->Text(), "2");
  EXPECT_EQ(f->Label15->Caption(), "Vous avez 2 E-mail");
  EXPECT_EQ(Subjects(), (Strings{"un", "deux"}));
}

TEST_F(MailWatchTest, ThePollRunsTheCheckAndTheNoticeShowsTheCountWithTheFriendSound) {
  http::stand_in::Server secretariat;
  WatchMailWith(secretariat);
  f->bip_ov->SetChecked(true);
  f->pop_ami->SetText("/snd/ami.wav");
  f->on_equeued->SetText("/snd/rv.wav");
  f->ListBox3->Items().Add("@amis.example");
  server->Deliver(Mail("a@x.fr", "un"));
  server->Deliver(Mail("paul@amis.example", "deux"));
  f->Timer1->Fire();
  EXPECT_EQ(f->Edit2->Text(), "2");
  EXPECT_EQ(Subjects(), (Strings{"un", "deux"}));
  EXPECT_EQ(n->mail->Caption(), "Vous avez 2 E-mail");
  n->Timer2->Fire();
  EXPECT_EQ(sound.PlayedFiles(), Strings{"/snd/ami.wav"});
  EXPECT_EQ(f->Edit5->Text(), "") << "the notice took the flag";
}

}  // namespace
