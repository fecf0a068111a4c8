// The notice window: its lines, its sound, its slide in the corner above the work area, and
// its buttons. Time is injected: the timers are fired by hand and sleeping returns at once.
#include <string>
#include <vector>

#include "forms/test_support/user_input.h"
#include "window_fixture.h"

namespace {

class NoticeTest : public client_test::WindowTest {};

TEST_F(NoticeTest, OneLinePerWatchedKindWithACount) {
  struct Case {
    const char* name;
    bool messages, rdv, visits, mail;
    const char* counts[4];
    const char* lines[4];
  };
  const Case cases[] = {
      {"2-0-1, no mail", true, true, true, false, {"2", "0", "1", "0"},
       {"Vous avez 2 message(s)", "", "Vous avez 1 visite(s)", ""}},
      {"a kind not watched", false, true, true, true, {"4", "1", "0", "0"}, {"", "Vous avez 1 rendez-vous", "", ""}},
      {"mail only", false, false, false, true, {"3", "3", "3", "5"}, {"", "", "", "Vous avez 5 E-mail"}},
      {"nothing watched", false, false, false, false, {"1", "1", "1", "1"}, {"", "", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Watch(c.messages, c.rdv, c.visits, c.mail);
    f->Edit2->SetText(c.counts[3]);
    f->fenetre(c.counts[0], c.counts[1], c.counts[2], c.counts[3]);
    EXPECT_EQ(n->Titre->Caption(), client_test::kStamp);
    EXPECT_EQ(n->Label1->Caption(), "Mouvements en attentes");
    EXPECT_EQ(n->messages->Caption(), c.lines[0]);
    EXPECT_EQ(n->rdv->Caption(), c.lines[1]);
    EXPECT_EQ(n->vi->Caption(), c.lines[2]);
    EXPECT_EQ(n->mail->Caption(), c.lines[3]);
    EXPECT_TRUE(n->Visible());
    EXPECT_TRUE(n->Timer1->Enabled());
    EXPECT_TRUE(n->Timer2->Enabled());
    n->SpeedButton1->UserClick();  // close: the lines are cleared for the next case
    EXPECT_FALSE(n->Visible());
    EXPECT_EQ(n->messages->Caption(), "");
  }
}

TEST_F(NoticeTest, TheSoundIsTheFriendsTheEntriesOrABeep) {
  struct Case {
    const char* name;
    bool bip;
    const char* edit5;
    const char* popAmi;
    const char* onEqueued;
    bool playResult;
    std::vector<std::string> plays;
    bool beep;
    bool problemShown;
  };
  const Case cases[] = {
      {"friend's mail", true, "1", "/snd/ami.wav", "/snd/rv.wav", true, {"/snd/ami.wav"}, false, false},
      {"friend's mail without its sound", true, "1", "", "/snd/rv.wav", true, {"/snd/rv.wav"}, false, false},
      {"entries' sound", true, "", "/snd/ami.wav", "/snd/rv.wav", true, {"/snd/rv.wav"}, false, false},
      {"no sound file", true, "", "", "", true, {}, true, false},
      {"a failed friend sound does not fall back", true, "1", "/bad.wav", "/snd/rv.wav", false, {"/bad.wav"}, false,
       true},
      {"Bip not ticked", false, "1", "/snd/ami.wav", "/snd/rv.wav", true, {}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sound.plays.clear();
    sound.beeps.clear();
    sound.playResult = c.playResult;
    dialogs.ClearRecords();
    f->bip_ov->SetChecked(c.bip);
    f->Edit5->SetText(c.edit5);
    f->pop_ami->SetText(c.popAmi);
    f->on_equeued->SetText(c.onEqueued);
    f->Button1Click(f);
    n->Timer2->Fire();
    EXPECT_EQ(sound.PlayedFiles(), c.plays);
    using Beeps = std::vector<std::pair<unsigned, unsigned>>;
    EXPECT_EQ(sound.beeps, (c.beep ? Beeps{{200, 500}} : Beeps{}));
    ASSERT_EQ(dialogs.Messages().size(), c.problemShown ? 1u : 0u);
    if (c.problemShown) {
      EXPECT_EQ(dialogs.Messages()[0].Text, client::kSoundProblem);
    }
    EXPECT_EQ(f->Edit5->Text(), "") << "always cleared";
    n->Close();
  }
}

TEST_F(NoticeTest, ItSlidesUpAboveTheWorkAreaAndDownAfterThirtySeconds) {
  Watch(true, false, false, false);
  f->fenetre("1", "0", "0", "0");
  EXPECT_EQ(n->Timer2->Interval(), 100u);
  EXPECT_EQ(n->Timer1->Interval(), 30000u);
  const int full = n->FullHeight();
  EXPECT_EQ(full, 174);

  n->Timer2->Fire();
  EXPECT_FALSE(n->Timer2->Enabled()) << "one shot";
  EXPECT_EQ(n->BorderStyle(), forms::bsNone);
  EXPECT_EQ(n->FormStyle(), forms::fsStayOnTop);
  EXPECT_EQ(n->ClientWidth(), 270);
  EXPECT_EQ(n->ClientHeight(), full + 2);
  EXPECT_EQ(n->Top() + n->Height(), desktop.workArea.bottom - 1);
  EXPECT_EQ(n->Left() + n->Width(), desktop.screen.right - 3);
  EXPECT_EQ(sleeper.sleeps, std::vector<unsigned>(full + 1, 10u));
  EXPECT_FALSE(desktop.taskbarButton) << "no taskbar button while the notice is up";
  EXPECT_TRUE(n->Visible());

  sleeper.sleeps.clear();
  n->Timer1->Fire();
  EXPECT_EQ(sleeper.sleeps.size(), static_cast<std::size_t>(full + 1));
  EXPECT_EQ(n->ClientHeight(), 1);
  EXPECT_FALSE(n->Visible());
  EXPECT_FALSE(n->Timer1->Enabled());
  EXPECT_TRUE(desktop.taskbarButton);
  EXPECT_EQ(n->messages->Caption(), "");
  EXPECT_EQ(n->Titre->Caption(), client_test::kStamp) << "the title keeps its text";
  EXPECT_EQ(processes.trimmed, std::vector<pid_t>{200});
}

TEST_F(NoticeTest, ItRestsWholeWithinTheWorkAreaWhereverThePanelsAre) {
  struct Case {
    const char* name;
    os::Rect workArea;
    int right, bottom;  // where the notice ends once up
  };
  const Case cases[] = {
      {"a taskbar at the bottom", {0, 0, 1280, 984}, 1277, 983},
      {"no panel", {0, 0, 1280, 1024}, 1277, 1023},
      {"a dock on the right", {0, 0, 1220, 1024}, 1217, 1023},
      {"panels at the top and on the left", {64, 30, 1280, 1024}, 1277, 1023},
      {"a dock on the right and a taskbar at the bottom", {0, 0, 1200, 960}, 1197, 959},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desktop.workArea = c.workArea;
    f->Button1Click(f);
    n->Timer2->Fire();
    EXPECT_EQ(n->Left() + n->Width(), c.right);
    EXPECT_EQ(n->Top() + n->Height(), c.bottom);
    EXPECT_EQ(n->Height(), n->FullHeight() + 2) << "whole";
    EXPECT_GE(n->Left(), c.workArea.left);
    EXPECT_GE(n->Top(), c.workArea.top);
    n->Close();
  }
}

TEST_F(NoticeTest, UnderAWindowManagerThatAnswersLateItStillEndsWholeAboveTheWorkArea) {
  f->Button1Click(f);
  forms::testing::LateWindowManager late(*n);
  n->Timer2->Fire();
  late.Settle();
  EXPECT_EQ(n->Height(), n->FullHeight() + 2);
  EXPECT_EQ(n->Top() + n->Height(), desktop.workArea.bottom - 1);
  EXPECT_EQ(n->Left() + n->Width(), desktop.screen.right - 3);
  // And it slides down again to its one pixel, at the work area's bottom.
  n->Timer1->Fire();
  late.Settle();
  EXPECT_EQ(n->ClientHeight(), 1);
  EXPECT_EQ(n->Top(), desktop.workArea.bottom - 2);
}

TEST_F(NoticeTest, TheTestButtonShowsSampleTexts) {
  f->Button1Click(f);
  EXPECT_EQ(n->Titre->Caption(), "titre");
  EXPECT_EQ(n->messages->Caption(), "ici les messages");
  EXPECT_EQ(n->rdv->Caption(), "ici les rendez-vous");
  EXPECT_EQ(n->vi->Caption(), "ici les visites");
  EXPECT_EQ(n->mail->Caption(), "ici les E-mail");
  EXPECT_TRUE(n->Visible());
  EXPECT_FALSE(f->Button1->Visible());
}

TEST_F(NoticeTest, TheThreeButtonsKeepTheirPlacesSideBySide) {
  const forms::TButton* buttons[] = {n->Button1, n->Button2, n->Button3};
  const int lefts[] = {12, 88, 168};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(buttons[i]->Caption());
    EXPECT_EQ(buttons[i]->Left(), lefts[i]);
    EXPECT_EQ(buttons[i]->Top(), 140);
    EXPECT_GE(buttons[i]->Width(), 75);
    const int right = buttons[i]->Left() + buttons[i]->Width();
    EXPECT_LE(right, i < 2 ? lefts[i + 1] : n->ClientWidth()) << "no button covers the next one";
  }
}

TEST_F(NoticeTest, ButtonsOpenTheSiteThePendingEntriesOrTheMail) {
  f->site_ov->SetText("secretariat.exemple.fr");
  f->Button1Click(f);
  n->Button1->UserClick();
  EXPECT_EQ(shell.VerbsAndFiles(), (std::vector<std::pair<std::string, std::string>>{{"OPEN", "http://secretariat.exemple.fr"}}));
  EXPECT_FALSE(n->Visible());

  f->SpeedButton8Click(f);  // the main window in the tray
  f->Button1Click(f);
  n->Button3->UserClick();
  EXPECT_TRUE(f->Visible());
  EXPECT_EQ(f->PageControl1->ActivePageIndex(), client::kPageMail);
  EXPECT_FALSE(f->JvTransparentButton2->AutoGray());
  EXPECT_FALSE(n->Visible());

  f->Button1Click(f);
  n->Button2->UserClick();
  EXPECT_EQ(f->PageControl1->ActivePageIndex(), client::kPagePending);
  EXPECT_FALSE(n->Visible());
}

}  // namespace
