// The mail reader: the removal of tags, and the reading of a mail from a real Dovecot into
// TForm3.
#include <chrono>
#include <functional>
#include <optional>

#include "forms/application.h"
#include "forms/timer.h"
#include "loopback_server.h"
#include "mail_fixture.h"
#include "mail_reader.h"

namespace {

using namespace std::chrono_literals;
using client::SupprimeBalises;
using client_test::Served;
using client_test::ServedWhile;
using client_test::Mail;
using Strings = std::vector<std::string>;

TEST(SupprimeBalisesTest, RemovesEverySpanFromALessThanToTheNextGreaterThan) {
  struct Case {
    std::string text, result;
  };
  const Case cases[] = {
      {"", ""},
      {"sans balise", "sans balise"},
      {"<p>Bonjour</p>", "Bonjour"},
      {"un <b>mot</b> gras", "un mot gras"},        // the blanks on both sides stay side by side
      {"a <br> b", "a  b"},
      {"avant < apr\xC3\xA8s", "avant < apr\xC3\xA8s"},   // no ">" after the "<": the rest stays
      {"x<a>y<b", "xy<b"},
      {"3 > 2 <i>vrai</i>", "3 > 2 vrai"},          // a ">" before the first "<" stays
      {"<<a>b>", "b>"},
      {"&lt;p&gt; &eacute;<br>", "&lt;p&gt; &eacute;"},  // entities stay
      {"ligne 1<br>\r\nligne 2", "ligne 1\r\nligne 2"},  // line breaks of the source stay
      {"<a\r\nhref='x'>lien</a>", "lien"},
      {"<>", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(SupprimeBalises(c.text), c.result) << c.text;
}

class MailReaderTest : public client_test::MailTest {
 protected:
  // Lists the mailbox and reads mail `row` as the user would.
  void Read(int row) {
    f->Button5->UserClick();
    f->ListView2->UserClickItem(row);
    f->LirelEmailenModeTexte1->UserClick();
  }
  Strings Text() const { return Form3->Memo1->Lines().ToVector(); }
};

TEST_F(MailReaderTest, TheWindowIsAsDesigned) {
  EXPECT_EQ(Form3->Caption(), "Lire un E-mail");
  EXPECT_EQ(Form3->Width(), 564);
  EXPECT_EQ(Form3->Height(), 446);
  EXPECT_EQ(Form3->Button1->Caption(), "Fermer");
  EXPECT_FALSE(Form3->Button2->Visible());
  EXPECT_FALSE(Form3->Visible());
}

TEST_F(MailReaderTest, APlainPartThenAnHtmlPart) {
  server->Deliver(Mail("Jeanne <jeanne@exemple.fr>", "=?UTF-8?Q?R=C3=A9union?=",
                       "Organization: Cabinet Nord\r\nMIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=s\r\n",
                       "--s\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\nLigne <1>\r\nLigne 2\r\n"
                       "--s\r\nContent-Type: text/html\r\n\r\n<html><body><p>Le <b>texte</b></p>\r\n<p>fin</p></body></html>\r\n"
                       "--s\r\nContent-Type: image/png; name=a.png\r\nContent-Transfer-Encoding: base64\r\n\r\niVBORw0=\r\n"
                       "--s--\r\n"));
  f->Button5->UserClick();
  f->ListView2->UserClickItem(0);
  mail::test_servers::RecordingProxy proxy(server->Port());
  PointAt(proxy.Port());
  f->LirelEmailenModeTexte1->UserClick();
  EXPECT_EQ(proxy.ClientLines(), (Strings{"USER marie", "PASS s3cret", "UIDL", "RETR 1", "QUIT"}));
  PointAt(server->Port());
  EXPECT_TRUE(Form3->Visible());
  EXPECT_EQ(Text(), (Strings{"Ligne <1>", "Ligne 2", "Le texte", "fin"})) << "plain lines as they are";
  EXPECT_EQ(Form3->Label1->Caption(), "De : jeanne@exemple.fr");
  EXPECT_EQ(Form3->Label2->Caption(), "Sujet : R\xC3\xA9union");
  EXPECT_EQ(Form3->Label3->Caption(), "Cabinet Nord");
  EXPECT_EQ(client::MailNumero, "") << "the selection is used up";
  EXPECT_EQ(client::MailExpediteur, "");
  EXPECT_EQ(server->Messages().size(), 1u) << "the mail stays on the server";

  // "Fermer" and the close box empty the text.
  Form3->Button1->UserClick();
  EXPECT_FALSE(Form3->Visible());
  EXPECT_TRUE(Text().empty());
  Read(0);
  EXPECT_FALSE(Text().empty());
  Form3->Close();
  EXPECT_TRUE(Text().empty());
}

TEST_F(MailReaderTest, AMessageWithoutMimeLosesItsTagsAndKeepsItsBlanks) {
  server->Deliver(Mail("a@x.fr", "brut", "", "Un <b>mot</b> et 3 > 2\r\n<i>fin</i>\r\n"));
  Read(0);
  EXPECT_EQ(Text(), (Strings{"Un mot et 3 > 2", "fin"}));
  EXPECT_EQ(Form3->Label3->Caption(), "");
}

TEST_F(MailReaderTest, TransferEncodingsAndCharacterSetsAreDecoded) {
  server->Deliver(Mail("a@x.fr", "codages", "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=s\r\n",
                       "--s\r\nContent-Type: text/plain; charset=ISO-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                       "d=E9j=E0 pr=EAt, =\r\nsuite\r\n"
                       "--s\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                       "w6l0w6kg4oKsIOaXpeacrA==\r\n"
                       "--s\r\nContent-Type: text/html; charset=ISO-8859-1\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                       "PHA+ROljZW1icmU8L3A+\r\n"
                       "--s\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                       "=C3=A0 bient=C3=B4t\r\n"
                       "--s--\r\n"));
  Read(0);
  EXPECT_EQ(Text(), (Strings{"d\xC3\xA9j\xC3\xA0 pr\xC3\xAAt, suite", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5\xE6\x9C\xAC",
                             "D\xC3\xA9" "cembre", "\xC3\xA0 bient\xC3\xB4t"}));
}

TEST_F(MailReaderTest, AReadingThatFailsShowsTheWindowAndTheError) {
  server->Deliver(Mail("a@x.fr", "un", "Organization: Cabinet Nord\r\n"));
  Read(0);
  ASSERT_EQ(Form3->Label2->Caption(), "Sujet : un");
  f->Button5->UserClick();
  f->ListView2->UserClickItem(0);
  PointAt(server->Port(), "faux");
  Form3->Memo1->SetText("ancien");
  f->LirelEmailenModeTexte1->UserClick();
  EXPECT_TRUE(Form3->Visible());
  EXPECT_TRUE(Text().empty());
  // Nothing names the mail read before.
  EXPECT_EQ(Form3->Label1->Caption(), "");
  EXPECT_EQ(Form3->Label2->Caption(), "");
  EXPECT_EQ(Form3->Label3->Caption(), "");
  EXPECT_EQ(f->Label15->Caption(), "[AUTH] Authentication failed.");
  EXPECT_EQ(client::MailNumero, "");
  // Reading again with nothing selected only shows the window.
  f->Afficherladebutdumessage1Click(f);
  EXPECT_TRUE(Form3->Visible());
}

TEST_F(MailReaderTest, AMailDeletedMeanwhileIsNotTakenForAnother) {
  server->Deliver(Mail("a@x.fr", "un", "", "premier\r\n"));
  server->Deliver(Mail("b@x.fr", "deux", "", "second\r\n"));
  f->Button5->UserClick();
  f->ListView2->UserClickItem(0);  // "un", number 1 at the check
  DeleteElsewhere(1);
  f->LirelEmailenModeTexte1->UserClick();
  EXPECT_TRUE(Text().empty()) << "\"deux\" is number 1 now, and is not shown for \"un\"";
  EXPECT_EQ(f->Label15->Caption(), "Cet E-mail n'est plus sur votre serveur POP");

  // The mail that moved up is still read as itself.
  f->Button5->UserClick();
  f->ListView2->UserClickItem(0);
  server->Deliver(Mail("c@x.fr", "trois", "", "troisi\xE8me\r\n"));
  f->LirelEmailenModeTexte1->UserClick();
  EXPECT_EQ(Text(), Strings{"second"});
}

std::string Joined(const Strings& lines) {
  std::string all;
  for (const std::string& line : lines) all += line;
  return all;
}

TEST_F(MailReaderTest, TheWindowIsServedWhileALongTextFillsTheBox) {
  // Many short lines, and one line of 4 MB made of quoted-printable soft breaks.
  std::string shortLines;
  for (int i = 0; i < 400000; ++i) shortLines += "x\r\n";
  std::string softBreaks;
  while (softBreaks.size() < 4 * 1024 * 1024) softBreaks += std::string(75, 'a') + "=\r\n";
  server->Deliver(Mail("a@x.fr", "lignes", "", shortLines));
  server->Deliver(Mail("b@x.fr", "une ligne", "Content-Transfer-Encoding: quoted-printable\r\n", softBreaks + "b\r\n"));
  f->Button5->UserClick();

  const auto read = [&] { f->LirelEmailenModeTexte1->UserClick(); };
  const auto lines = [&] { return static_cast<std::size_t>(Form3->Memo1->Lines().Count()); };
  f->ListView2->UserClickItem(0);
  const Served many = ServedWhile(read, lines);
  EXPECT_LE(many.mostBetweenTurns, 5000u) << "many lines: at most one step between two turns of the loop";
  EXPECT_GE(many.growingTurns, 400000 / 5000);
  EXPECT_EQ(Text().size(), 400000u);
  EXPECT_EQ(Text().back(), "x");

  f->ListView2->UserClickItem(1);
  const Served one = ServedWhile(read, lines);
  EXPECT_GE(one.growingTurns, 4 * 1024 * 1024 / (256 * 1024) / 2) << "one long line comes in steps of at most 256 KB";
  // Every character is there, in lines the box lays out in a moment.
  const Strings text = Text();
  std::string expected;
  while (expected.size() < softBreaks.size() / 78 * 75) expected += std::string(75, 'a');
  EXPECT_EQ(Joined(text), expected + "b");
  EXPECT_GT(text.size(), 1u);
  for (const std::string& line : text) EXPECT_LE(line.size(), 10000u);
}

TEST_F(MailReaderTest, QuittingWhileTheTextFillsTheBoxEndsTheReadingAtOnce) {
  std::string lines;
  for (int i = 0; i < 600000; ++i) lines += "x\r\n";
  server->Deliver(Mail("a@x.fr", "lignes", "", lines));
  f->Button5->UserClick();
  f->ListView2->UserClickItem(0);
  // "Quitter", answered Yes, as soon as the text begins to show.
  std::optional<std::size_t> linesAtQuit;
  forms::TTimer quit(nullptr);
  quit.SetInterval(1);
  quit.OnTimer = [&](forms::TObject*) {
    const auto shown = static_cast<std::size_t>(Form3->Memo1->Lines().Count());
    if (linesAtQuit || shown == 0) return;
    linesAtQuit = shown;
    dialogs.AnswerMessage(forms::mrYes);
    f->SpeedButton10->UserClick();
  };
  quit.SetEnabled(true);
  f->LirelEmailenModeTexte1->UserClick();
  quit.SetEnabled(false);
  ASSERT_TRUE(linesAtQuit) << "the text came in steps";
  EXPECT_LE(Text().size() - *linesAtQuit, 5000u) << "the filling stopped at the step it was in";
  EXPECT_TRUE(forms::Application->Terminated());
  EXPECT_LT(Text().size(), 600000u) << "the rest is not filled in";
}

}  // namespace
