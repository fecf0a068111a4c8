// The mail watch of the main window against a real Dovecot (and scripted servers where a real
// one cannot misbehave as needed).
#include <chrono>
#include <mutex>

#include "forms/timer.h"
#include "http/stand-in/server.h"
#include "loopback_server.h"
#include "mail_fixture.h"
#include "mail_reader.h"

namespace {

using namespace std::chrono_literals;
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

TEST_F(MailWatchTest, AFailureAfterTheCountKeepsTheRowsAndShowsTheCount) {
  ScriptedPop3 cut([](Peer& peer) {
    for (const char* reply : {"+OK\r\n", "+OK\r\n", "+OK 2 100\r\n", "-ERR no UIDL\r\n",
                              "+OK\r\nFrom: a@b.c\r\nSubject: premier\r\n\r\n.\r\n", "+OK\r\nSubject: coup"}) {
      if (!peer.ReadLine()) return;
      peer.Send(reply);
    }
  });
  PointAt(cut.Port());
  f->Button5->UserClick();
  EXPECT_EQ(Subjects(), Strings{"premier"});
  EXPECT_EQ(f->Label15->Caption(), "Vous avez 2 E-mail");
  EXPECT_EQ(f->Edit2->Text(), "2");
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
    for (int item : {0, 2, 4, 5, 7}) EXPECT_TRUE(f->PopupMenu2->Items(item).Enabled()) << item;
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
  struct Case {
    std::string listedHeader, headerNow;
    std::optional<int> number;
  };
  const Case cases[] = {{listed, listed, 2}, {listed, other, std::nullopt}, {noId, noId, 2}, {noId, other, std::nullopt}};
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
    EXPECT_EQ(client::CurrentNumber(pop3, client::IdentityAt(2, std::nullopt, c.listedHeader), 2, uids), c.number);
  }
}

TEST_F(MailWatchTest, ThePollRunsTheCheckAndTheNoticeShowsTheCountWithTheFriendSound) {
  http::stand_in::Server secretariat;
  http::stand_in::ScriptedReply reply;
  reply.body = "0-0-0\r\n";
  secretariat.Queue(reply);
  Account(secretariat.HostAndPort());
  Watch(true, false, false, true);
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
