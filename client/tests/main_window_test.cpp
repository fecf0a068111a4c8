// The client's main window in-process (offscreen), with its files in a temporary folder and
// the sound, the shell and the process list replaced by fakes that record what they get.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "booking_dialog.h"
#include "executable_folder.h"
#include "forms/application.h"
#include "forms/inifile.h"
#include "forms/scripted_dialogs.h"
#include "mail_reader.h"
#include "main_window.h"
#include "notice_window.h"
#include "os/codepage.h"
#include "os_fakes.h"
#include "program_block.h"

namespace {

namespace fs = std::filesystem;
using client::TForm1;

using client_test::FakeNotificationArea;
using client_test::FakeProcesses;
using client_test::FakeShell;
using client_test::FakeSound;

const char* const kSavedKeys[] = {"nom_ov",   "pass_ov",    "site_ov", "message_ov", "vi_ov",
                                  "rdv_ov",   "e_mail",     "urgent_mess", "pop_3",  "pop_user",
                                  "pop_passe", "pop_port",  "bip_ov",  "on_equeued", "pop_ami"};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/client-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    folder_ = std::make_unique<settings_store::ScopedExecutableFolder>(dir_.string());
    shell_.executeResult = false;  // the client does not look at the result
  }
  void TearDown() override {
    app_.reset();
    folder_.reset();
    fs::remove_all(dir_);
  }

  // The program's start after the single-instance check.
  TForm1& Start() {
    app_.reset();
    app_ = std::make_unique<forms::TApplication>();
    client::CreateClientForms(*app_);
    return *Form1;
  }
  // Runs the message loop until `probe` has run once from inside it.
  void RunThen(const std::function<void()>& probe) {
    auto& timer = app_->Create<forms::TTimer>("ProbeTimer");
    timer.SetInterval(1);
    timer.OnTimer = [&, probe](forms::TObject*) {
      timer.SetEnabled(false);
      probe();
      if (!app_->Terminated()) app_->Terminate();
    };
    timer.SetEnabled(true);
    app_->Run();
  }

  fs::path File(const std::string& name) const { return dir_ / name; }
  void WriteIni(const std::string& utf8) {
    std::string text;
    for (char ch : os::Utf8ToCp1252(utf8)) {
      if (ch == '\n') text += '\r';
      text += ch;
    }
    std::ofstream(File("serie.ini"), std::ios::binary) << text;
  }
  void WriteCredentials() { WriteIni("[Form1]\nnom_ov=dupont\npass_ov=s3cret\nsite_ov=127.0.0.1\npop_passe=pop!\n"); }
  std::vector<std::string> SavedKeys() const {
    forms::TStringList keys;
    forms::TIniFile(File("serie.ini").string()).ReadSection("Form1", keys);
    auto v = keys.ToVector();
    std::sort(v.begin(), v.end());
    return v;
  }
  // The page buttons whose AutoGray is False (in colour).
  static std::vector<std::string> ColouredPageButtons(const TForm1& f) {
    std::vector<std::string> names;
    for (auto* b : {f.JvTransparentButton3, f.JvTransparentButton1, f.JvTransparentButton2, f.JvTransparentButton4,
                    f.JvTransparentButton5})
      if (!b->AutoGray()) names.push_back(b->Name());
    return names;
  }

  FakeSound sound_;
  FakeShell shell_;
  FakeProcesses processes_;
  FakeNotificationArea tray_;
  os::ScopedOverride<os::Sound> useSound_{sound_};
  os::ScopedOverride<os::Shell> useShell_{shell_};
  os::ScopedOverride<os::ProcessList> useProcesses_{processes_};
  os::ScopedOverride<forms::NotificationArea> useTray_{tray_};
  forms::ScriptedDialogs dialogs_;
  fs::path dir_;
  std::unique_ptr<settings_store::ScopedExecutableFolder> folder_;
  std::unique_ptr<forms::TApplication> app_;
};

// --- Start-up ---------------------------------------------------------------------------

TEST_F(MainWindowTest, CreatesTheFourWindowsInOrderUnderTheProductTitle) {
  Start();
  EXPECT_EQ(app_->Title(), "Orvalis Pulse");
  EXPECT_EQ(app_->MainForm(), Form1);
  std::vector<forms::TComponent*> forms;
  for (int i = 0; i < app_->ComponentCount(); ++i) forms.push_back(app_->Components(i));
  EXPECT_EQ(forms, (std::vector<forms::TComponent*>{Form1, Form2, Form3, Form4}));
  EXPECT_EQ(Form1->Caption(), "Orvalis Pulse");
  EXPECT_EQ(Form3->Caption(), "Lire un E-mail");
  EXPECT_EQ(Form4->Caption(), "Rendez-vous");
  EXPECT_TRUE(Form1->Timer1->Enabled());
  EXPECT_EQ(Form1->Timer1->Interval(), 300000u);
  EXPECT_EQ(Form1->RxTrayIcon1->Hint(), "Orvalis Pulse");
  EXPECT_TRUE(Form1->RxTrayIcon1->Active());
  EXPECT_EQ(Form1->PageControl1->PageCount(), 7);
}

TEST_F(MainWindowTest, FirstStartOpensTheSettingsPageWithEveryBoxTicked) {
  auto& f = Start();
  EXPECT_EQ(f.PageControl1->ActivePageIndex(), client::kPageSettings);
  EXPECT_EQ(ColouredPageButtons(f), std::vector<std::string>{"JvTransparentButton5"});
  for (auto* box : {f.message_ov, f.bip_ov, f.vi_ov, f.rdv_ov, f.e_mail, f.urgent_mess})
    EXPECT_TRUE(box->Checked()) << box->Name();
  EXPECT_EQ(f.pop_port->Text(), "110");
  EXPECT_EQ(f.nom_ov->Text(), "");
  EXPECT_TRUE(app_->ShowMainForm());
  RunThen([&] { EXPECT_TRUE(f.Visible()); });
  EXPECT_FALSE(fs::exists(File("serie.ini"))) << "nothing is written before a close";
}

TEST_F(MainWindowTest, WithoutCompleteCredentialsMessagesAndBipAreTickedWhateverWasSaved) {
  const char* credentials[] = {"nom_ov=dupont\npass_ov=x\n", "pass_ov=x\nsite_ov=h\n", "nom_ov=dupont\nsite_ov=h\n",
                               "nom_ov=\npass_ov=x\nsite_ov=h\n"};
  for (const char* c : credentials) {
    SCOPED_TRACE(c);
    WriteIni(std::string("[Form1]\n") + c + "message_ov=0\nbip_ov=0\nurgent_mess=0\nvi_ov=0\n");
    auto& f = Start();
    EXPECT_EQ(f.PageControl1->ActivePageIndex(), client::kPageSettings);
    EXPECT_TRUE(f.message_ov->Checked());
    EXPECT_TRUE(f.bip_ov->Checked());
    EXPECT_FALSE(f.urgent_mess->Checked());
    EXPECT_FALSE(f.vi_ov->Checked());
    EXPECT_TRUE(app_->ShowMainForm());
  }
}

TEST_F(MainWindowTest, WithCredentialsOnlyTheTrayIconShowsUntilItIsClicked) {
  WriteCredentials();
  auto& f = Start();
  EXPECT_FALSE(f.Visible());
  EXPECT_FALSE(app_->ShowMainForm());
  EXPECT_EQ(f.MaskEdit1->Text(), "s3cret");
  EXPECT_EQ(f.MaskEdit2->Text(), "pop!");
  EXPECT_EQ(processes_.trimmed, std::vector<pid_t>{200}) << "hiding trims \"orvalisP.exe\", exactly that name";

  RunThen([&] {
    EXPECT_FALSE(f.Visible()) << "the message loop does not show it";
    f.JvTransparentButton2->UserClick();  // any other page before
    f.RxTrayIcon1->UserClick(forms::mbRight);
  });
  EXPECT_TRUE(f.Visible());
  EXPECT_TRUE(app_->ShowMainForm());
  EXPECT_EQ(f.PageControl1->ActivePageIndex(), client::kPagePending);
  EXPECT_EQ(ColouredPageButtons(f), std::vector<std::string>{"JvTransparentButton3"});
  EXPECT_TRUE(f.JvTransparentButton7->AutoGray()) << "\"Mise à jour\" is never changed";
}

TEST_F(MainWindowTest, HidingAndShowingAgain) {
  auto& f = Start();
  struct Road {
    const char* name;
    std::function<void()> hide;
    std::function<void()> show;
  };
  const Road roads[] = {
      {"Réduire, then the tray icon", [&] { f.SpeedButton8->UserClick(); }, [&] { f.RxTrayIcon1->UserClick(); }},
      {"minimising, then Button4", [&] { app_->Minimize(); }, [&] { f.Button4->Click(); }},
  };
  for (const Road& road : roads) {
    SCOPED_TRACE(road.name);
    f.Show();
    f.JvTransparentButton5->UserClick();
    processes_.trimmed.clear();
    road.hide();
    EXPECT_FALSE(f.Visible());
    EXPECT_FALSE(app_->ShowMainForm());
    EXPECT_EQ(processes_.trimmed.size(), 1u);
    EXPECT_TRUE(f.RxTrayIcon1->Active()) << "the tray icon stays";
    road.show();
    EXPECT_TRUE(f.Visible());
    EXPECT_TRUE(app_->ShowMainForm());
    EXPECT_FALSE(app_->Minimized());
    EXPECT_EQ(f.PageControl1->ActivePageIndex(), client::kPagePending);
  }
}

TEST_F(MainWindowTest, WithoutANotificationAreaTheWindowStaysReachableUntilOneAppears) {
  tray_.available = false;
  WriteCredentials();
  auto& f = Start();
  EXPECT_FALSE(f.RxTrayIcon1->InNotificationArea());
  RunThen([&] {
    EXPECT_TRUE(f.Visible()) << "no tray to hide in: the window opens";
    EXPECT_EQ(f.PageControl1->ActivePageIndex(), client::kPagePending);

    struct Road {
      const char* name;
      std::function<void()> hide;
    };
    const Road roads[] = {
        {"Réduire", [&] { f.SpeedButton8->UserClick(); }},
        {"minimising", [&] { app_->Minimize(); }},
        {"the close question answered No", [&] {
           dialogs_.AnswerMessage(forms::mrNo);
           f.SpeedButton10->UserClick();
         }},
    };
    for (const Road& road : roads) {
      SCOPED_TRACE(road.name);
      road.hide();
      EXPECT_TRUE(f.Visible()) << "minimised in the taskbar, not hidden";
      EXPECT_TRUE(app_->ShowMainForm());
      EXPECT_TRUE(app_->Minimized());
      EXPECT_EQ(f.WindowState(), forms::wsMinimized);
      EXPECT_FALSE(app_->Terminated()) << "it keeps running and polling";
      f.Button4->Click();  // shown again
      EXPECT_FALSE(app_->Minimized());
      EXPECT_EQ(f.WindowState(), forms::wsNormal);
    }
    f.SetWindowState(forms::wsMinimized);  // the window manager's minimise button...
    f.SetWindowState(forms::wsNormal);     // ...and the taskbar bringing it back
    EXPECT_FALSE(app_->Minimized()) << "the application follows its window";

    // A tray that starts late: the icon shows, and from now on the window hides in it.
    tray_.Set(true);
    EXPECT_TRUE(f.RxTrayIcon1->InNotificationArea());
    EXPECT_TRUE(f.Visible()) << "an open window stays open";
    f.SpeedButton8->UserClick();
    EXPECT_FALSE(f.Visible());
    EXPECT_FALSE(app_->ShowMainForm());

    // The tray goes away with the window hidden in it: the window comes to the taskbar.
    tray_.Set(false);
    EXPECT_TRUE(f.Visible());
    EXPECT_TRUE(app_->ShowMainForm());
    EXPECT_TRUE(app_->Minimized());
    f.RxTrayIcon1->UserClick();
    EXPECT_FALSE(app_->Minimized());
  });
}

TEST_F(MainWindowTest, AnUnreadableFriendsFileAtStartLandsInTheStatusBar) {
  fs::create_directory(File("base.ami"));
  std::ofstream(File("sujet.ami"), std::ios::binary) << "urgent\r\n";
  auto& f = Start();
  EXPECT_EQ(f.StatusBar1->Panels(0).Text(), "Erreur d'E/S 21");
  EXPECT_EQ(f.Label16->Caption(), "Erreur d'E/S 21");
  EXPECT_TRUE(dialogs_.Messages().empty());
}

// A list file that is there but cannot be read (tests run as root, where a file without read
// permission still reads: a folder in its place, or a link to a file whose reading fails):
// the other list is read all the same, and at close neither the unread file nor the other
// list is lost, even when an entry was added to the unread list meanwhile; the user learns
// at the first change that the list will not be saved.
TEST_F(MainWindowTest, AListFileThatCannotBeReadIsNeverWrittenOver) {
  struct Unreadable {
    const char* name;
    std::function<void(const fs::path&)> make;
    std::string error;
  };
  std::vector<Unreadable> ways = {
      {"a folder in its place", [](const fs::path& p) { fs::create_directories(p / "dedans"); }, "Erreur d'E/S 21"},
      {"a link to a file that fails to read", [](const fs::path& p) { fs::create_symlink("/proc/self/mem", p); },
       "Erreur d'E/S 5"},
  };
  if (::geteuid() != 0) {
    ways.push_back({"no read permission",
                    [](const fs::path& p) {
                      std::ofstream(p, std::ios::binary) << "garde@x.fr\r\n";
                      fs::permissions(p, fs::perms::none);
                    },
                    "Erreur d'E/S 13"});
  }
  struct Lists {
    const char* unreadable;
    const char* readable;
    const char* readableBytes;
    std::vector<std::string> readableEntries;
  };
  const Lists lists[] = {
      {"base.ami", "sujet.ami", "urgent\r\nr\xE9union\r\n", {"r\xC3\xA9union", "urgent"}},
      {"sujet.ami", "base.ami", "zoe@x.fr\r\n@Exemple.fr\r\n", {"@Exemple.fr", "zoe@x.fr"}},
  };
  for (const Unreadable& way : ways) {
    for (const Lists& l : lists) {
      SCOPED_TRACE(std::string(way.name) + ", " + l.unreadable);
      fs::remove_all(File("base.ami"));
      fs::remove_all(File("sujet.ami"));
      way.make(File(l.unreadable));
      std::ofstream(File(l.readable), std::ios::binary) << l.readableBytes;
      dialogs_.ClearRecords();

      auto& f = Start();
      EXPECT_EQ(f.StatusBar1->Panels(0).Text(), way.error);
      forms::TListBox* readable = std::string(l.readable) == "base.ami" ? f.ListBox3 : f.ListBox4;
      forms::TListBox* unreadable = readable == f.ListBox3 ? f.ListBox4 : f.ListBox3;
      EXPECT_EQ(readable->Items().ToVector(), l.readableEntries) << "the other list is read all the same";
      EXPECT_EQ(unreadable->Items().Count(), 0);
      // Two entries added on the list's page: the first tells that the list will not be saved.
      const bool friends = unreadable == f.ListBox3;
      for (const char* entry : {"ajout@exemple.fr", "autre@exemple.fr"}) {
        (friends ? f.Edit3 : f.Edit6)->SetText(entry);
        (friends ? f.BitBtn3 : f.BitBtn8)->UserClick();
      }
      EXPECT_EQ(unreadable->Items().Count(), 2);
      ASSERT_EQ(dialogs_.Messages().size(), 1u) << "told once";
      EXPECT_EQ(dialogs_.Messages()[0].Text,
                File(l.unreadable).string() +
                    " n'a pas pu \xC3\xAAtre lu au d\xC3\xA9marrage : cette liste ne pourra pas \xC3\xAAtre "
                    "enregistr\xC3\xA9" "e, ses changements seront perdus \xC3\xA0 la fermeture.");

      dialogs_.AnswerMessage(forms::mrNo);
      f.SpeedButton10->UserClick();

      EXPECT_EQ(dialogs_.Messages().size(), 2u) << "then only the close question";
      const fs::file_status left = fs::symlink_status(File(l.unreadable));
      EXPECT_TRUE(fs::is_directory(left) || fs::is_symlink(left) || fs::is_regular_file(left))
          << "the unread file is left as it was";
      if (fs::is_regular_file(left)) {
        fs::permissions(File(l.unreadable), fs::perms::owner_all);
        std::ifstream kept(File(l.unreadable), std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "garde@x.fr\r\n") << "and not replaced";
      }
      std::ifstream in(File(l.readable), std::ios::binary);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
                std::string(l.readable) == "base.ami" ? "@Exemple.fr\r\nzoe@x.fr\r\n" : "r\xE9union\r\nurgent\r\n")
          << "the other list is written back whole";
    }
  }
}

TEST_F(MainWindowTest, AListWhoseFileCouldNotBeReadChangedUntoldIsToldAtClose) {
  fs::create_directory(File("base.ami"));
  auto& f = Start();
  f.ListBox3->Items().Add("ajout@exemple.fr");  // not through a page
  dialogs_.ClearRecords();
  dialogs_.AnswerMessage(forms::mrNo);
  f.SpeedButton10->UserClick();
  ASSERT_EQ(dialogs_.Messages().size(), 2u);
  EXPECT_EQ(dialogs_.Messages()[0].Text, File("base.ami").string() +
                                             " n'a pas pu \xC3\xAAtre lu au d\xC3\xA9marrage : les changements de "
                                             "cette liste ne sont pas enregistr\xC3\xA9s.");
  // Told once: the next close only asks its question.
  dialogs_.ClearRecords();
  dialogs_.AnswerMessage(forms::mrNo);
  f.SpeedButton10->UserClick();
  EXPECT_EQ(dialogs_.Messages().size(), 1u) << "only the close question";
}

TEST_F(MainWindowTest, FriendsListsAreReadAtStart) {
  std::ofstream(File("base.ami"), std::ios::binary) << "zoe@x.fr\r\n@Exemple.fr\r\nAnne@y.fr\r\n";
  std::ofstream(File("sujet.ami"), std::ios::binary) << "r\xE9union\r\n";
  auto& f = Start();
  EXPECT_EQ(f.ListBox3->Items().ToVector(), (std::vector<std::string>{"@Exemple.fr", "Anne@y.fr", "zoe@x.fr"}));
  EXPECT_EQ(f.ListBox4->Items().ToVector(), std::vector<std::string>{"r\xC3\xA9union"});
}

// --- Page buttons -----------------------------------------------------------------------

TEST_F(MainWindowTest, PageButtonsSetThePageAndTheirColours) {
  auto& f = Start();
  struct Case {
    forms::TControl* button;
    int page;
    const char* coloured;  // nullptr: the colours stay as they were
  };
  const Case cases[] = {
      {f.JvTransparentButton3, client::kPagePending, "JvTransparentButton3"},
      {f.JvTransparentButton1, client::kPageInstruction, "JvTransparentButton1"},
      {f.JvTransparentButton2, client::kPageMail, "JvTransparentButton2"},
      {f.JvTransparentButton4, client::kPageAgenda, "JvTransparentButton4"},
      {f.JvTransparentButton5, client::kPageSettings, "JvTransparentButton5"},
      {f.BitBtn1, client::kPageFriends, nullptr},
      {f.BitBtn12, client::kPageFriends, nullptr},
      {f.BitBtn7, client::kPageSubjects, nullptr},
      {f.BitBtn13, client::kPageSubjects, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button->Name());
    const auto before = ColouredPageButtons(f);
    c.button->Click();
    EXPECT_EQ(f.PageControl1->ActivePageIndex(), c.page);
    EXPECT_EQ(ColouredPageButtons(f), c.coloured ? std::vector<std::string>{c.coloured} : before);
  }
  f.JvTransparentButton1->Click();
  f.ListedesAMIS1->Click();
  EXPECT_EQ(f.PageControl1->ActivePageIndex(), client::kPageFriends);
  EXPECT_EQ(ColouredPageButtons(f), std::vector<std::string>{"JvTransparentButton1"});
}

// --- Settings page ----------------------------------------------------------------------

TEST_F(MainWindowTest, EachKeystrokeInAPasswordBoxReachesItsSavedBox) {
  auto& f = Start();
  struct Pair {
    forms::TMaskEdit* visible;
    forms::TEdit* saved;
  };
  for (const Pair& p : {Pair{f.MaskEdit1, f.pass_ov}, Pair{f.MaskEdit2, f.pop_passe}}) {
    SCOPED_TRACE(p.visible->Name());
    EXPECT_EQ(p.visible->PasswordChar(), '*');
    std::string typed;
    for (char ch : std::string("p@ss:1")) {
      p.visible->UserType(std::string(1, ch));
      typed += ch;
      EXPECT_EQ(p.saved->Text(), typed);
    }
    p.visible->SetText("");
    EXPECT_EQ(p.saved->Text(), "");
  }
}

TEST_F(MainWindowTest, MessagesAndUrgentOnlyAreCoupled) {
  auto& f = Start();
  struct Case {
    const char* name;
    bool messages, urgent;  // before the click
    forms::TCheckBox* TForm1::*clicked;
    bool messagesAfter, urgentAfter;
  };
  const Case cases[] = {
      {"unticking Messages unticks urgent", true, true, &TForm1::message_ov, false, false},
      {"ticking Messages alone", false, false, &TForm1::message_ov, true, false},
      {"ticking urgent ticks Messages", false, false, &TForm1::urgent_mess, true, true},
      {"unticking urgent keeps Messages", true, true, &TForm1::urgent_mess, true, false},
      {"Visites changes neither", true, false, &TForm1::vi_ov, true, false},
      {"Rendez-vous changes neither", true, true, &TForm1::rdv_ov, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    f.urgent_mess->SetChecked(c.urgent);
    f.message_ov->SetChecked(c.messages);
    f.urgent_mess->SetChecked(c.urgent);
    ASSERT_EQ(f.message_ov->Checked(), c.messages);
    ASSERT_EQ(f.urgent_mess->Checked(), c.urgent);
    (f.*c.clicked)->UserClick();
    EXPECT_EQ(f.message_ov->Checked(), c.messagesAfter);
    EXPECT_EQ(f.urgent_mess->Checked(), c.urgentAfter);
  }
}

TEST_F(MainWindowTest, TheSettingsPageTakesTheFocusAndTheWheelMovesItTenPixelsANotch) {
  auto& f = Start();
  RunThen([&] {
    app_->ProcessMessages();
    f.BitBtn12->UserClick();
    EXPECT_TRUE(f.ListBox3->Focused()) << "the friends page gives its list the focus";
    f.JvTransparentButton5->UserClick();
    EXPECT_TRUE(f.ScrollBox3->Focused()) << "showing the settings page focuses its scroll box";
    auto& bar = f.ScrollBox3->VertScrollBar();
    ASSERT_GT(bar.Range(), 30);
    bar.SetPosition(0);
    f.ScrollBox3->UserWheel(-1);
    EXPECT_EQ(bar.Position(), 10);
    f.ScrollBox3->UserWheel(-2);
    EXPECT_EQ(bar.Position(), 30);
    f.ScrollBox3->UserWheel(1);
    EXPECT_EQ(bar.Position(), 20);
    EXPECT_TRUE(f.ScrollBox3->Focused());
  });
}

TEST_F(MainWindowTest, SoundTests) {
  auto& f = Start();
  struct Case {
    const char* name;
    forms::TSpeedButton* TForm1::*button;
    std::string file;  // in the button's edit box
    bool playable;
    std::vector<std::string> played;
    bool problemShown;
  };
  const Case cases[] = {
      {"entries' WAV", &TForm1::SpeedButton17, "/snd/a.wav", true, {"/snd/a.wav"}, false},
      {"entries' WAV unplayable", &TForm1::SpeedButton17, "/snd/missing.wav", false, {"/snd/missing.wav"}, true},
      {"entries' WAV empty: nothing", &TForm1::SpeedButton17, "", false, {}, false},
      {"friend's WAV", &TForm1::SpeedButton2, "/snd/ami.wav", true, {"/snd/ami.wav"}, false},
      {"friend's WAV empty is still tried", &TForm1::SpeedButton2, "", false, {""}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sound_.plays.clear();
    sound_.playResult = c.playable;
    dialogs_.ClearRecords();
    f.on_equeued->SetText(c.button == &TForm1::SpeedButton17 ? c.file : "other.wav");
    f.pop_ami->SetText(c.button == &TForm1::SpeedButton2 ? c.file : "other.wav");
    (f.*c.button)->UserClick();
    std::vector<std::string> played;
    for (const auto& p : sound_.plays) {
      played.push_back(p.file);
      EXPECT_EQ(p.flags, os::SND_ASYNC | os::SND_FILENAME);
    }
    EXPECT_EQ(played, c.played);
    ASSERT_EQ(dialogs_.Messages().size(), c.problemShown ? 1u : 0u);
    if (c.problemShown) {
      EXPECT_EQ(dialogs_.Messages()[0].Text,
                "Il y a un probl\xC3\xA8me avec le son wav ! Peux \xC3\xAAtre le chemin indiqu\xC3\xA9 n'est pas le bon...");
      EXPECT_EQ(dialogs_.Messages()[0].Buttons, forms::TMsgDlgButtons({forms::mbOK}));
    }
  }
  f.SpeedButton18->UserClick();
  EXPECT_EQ(sound_.beeps, (std::vector<std::pair<unsigned, unsigned>>{{200, 500}}));
}

TEST_F(MainWindowTest, ChoosingAWavFile) {
  auto& f = Start();
  struct Case {
    const char* name;
    forms::TSpeedButton* TForm1::*button;
    forms::TEdit* TForm1::*edit;
    std::string before;
    bool mailTicked;
    std::optional<std::string> chosen;  // the dialog's answer
    bool dialogShown;
    std::string after;
  };
  const Case cases[] = {
      {"entries: chosen", &TForm1::SpeedButton16, &TForm1::on_equeued, "/snd/a.wav", true, "/snd/b.wav", true, "/snd/b.wav"},
      {"entries: cancelled", &TForm1::SpeedButton16, &TForm1::on_equeued, "/snd/a.wav", true, std::nullopt, true, "/snd/a.wav"},
      {"entries: empty box, no dialog", &TForm1::SpeedButton16, &TForm1::on_equeued, "", true, "/x.wav", false, ""},
      {"friend: chosen", &TForm1::SpeedButton1, &TForm1::pop_ami, "/snd/ami.wav", true, "/snd/new.wav", true, "/snd/new.wav"},
      {"friend: empty box still opens", &TForm1::SpeedButton1, &TForm1::pop_ami, "", true, "/snd/new.wav", true, "/snd/new.wav"},
      {"friend: mail off, no dialog", &TForm1::SpeedButton1, &TForm1::pop_ami, "/snd/ami.wav", false, "/x.wav", false, "/snd/ami.wav"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs_.ClearRecords();
    f.e_mail->SetChecked(c.mailTicked);
    (f.*c.edit)->SetText(c.before);
    if (c.dialogShown) dialogs_.AnswerOpenFile(c.chosen);
    (f.*c.button)->UserClick();
    ASSERT_EQ(dialogs_.OpenFiles().size(), c.dialogShown ? 1u : 0u);
    if (c.dialogShown) {
      EXPECT_EQ(dialogs_.OpenFiles()[0].InitialDir, c.before);
      EXPECT_EQ(dialogs_.OpenFiles()[0].Filter, "wav|*.wav");
    }
    EXPECT_EQ((f.*c.edit)->Text(), c.after);
  }
}

TEST_F(MainWindowTest, UpdateButtonOpensTheUpdaterBesideTheClient) {
  auto& f = Start();
  f.JvTransparentButton7->UserClick();
  ASSERT_EQ(shell_.calls.size(), 1u);
  EXPECT_EQ(shell_.calls[0].verb, "open");
  EXPECT_EQ(shell_.calls[0].file, (dir_ / "Update.exe").string());
  EXPECT_EQ(shell_.calls[0].parameters, "");
  EXPECT_EQ(shell_.calls[0].directory, "");
  EXPECT_FALSE(app_->Terminated()) << "the client keeps running";
  EXPECT_TRUE(dialogs_.Messages().empty()) << "a failed start is not reported";
}

// --- Exceptions -------------------------------------------------------------------------

TEST_F(MainWindowTest, AnExceptionFromAnyHandlerLandsInTheStatusBarAndTheProgramGoesOn) {
  auto& f = Start();
  bool outerWentOn = false;
  auto& nested = f.Create<forms::TTimer>("NestedTimer");
  nested.SetEnabled(false);
  nested.SetInterval(1);
  nested.OnTimer = [&](forms::TObject*) {
    nested.SetEnabled(false);
    throw std::runtime_error("pendant l'attente");
  };
  struct Road {
    const char* name;
    std::function<void()> run;
    const char* message;
  };
  const Road roads[] = {
      {"a button",
       [&] {
         f.Button2->OnClick = [](forms::TObject*) { throw std::runtime_error("can't resolve hostname to IP address"); };
         f.Button2->UserClick();
       },
       "can't resolve hostname to IP address"},
      {"a timer",
       [&] {
         f.Timer1->OnTimer = [](forms::TObject*) { throw forms::Exception("Authorization Required"); };
         f.Timer1->Fire();
       },
       "Authorization Required"},
      {"a menu item",
       [&] {
         f.ListedesAMIS1->OnClick = [](forms::TObject*) { throw std::runtime_error("menu"); };
         f.ListedesAMIS1->UserClick();
       },
       "menu"},
      {"a nested ProcessMessages",
       [&] {
         f.Button5->OnClick = [&](forms::TObject*) {
           nested.SetEnabled(true);
           const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
           while (nested.Enabled() && std::chrono::steady_clock::now() < until) app_->ProcessMessages();
           outerWentOn = true;
         };
         f.Button5->UserClick();
       },
       "pendant l'attente"},
  };
  RunThen([&] {
    for (const Road& road : roads) {
      SCOPED_TRACE(road.name);
      road.run();
      EXPECT_EQ(f.StatusBar1->Panels(0).Text(), road.message);
      EXPECT_EQ(f.Label16->Caption(), road.message);
    }
    EXPECT_TRUE(outerWentOn) << "the waiting handler carried on after the nested one failed";
    EXPECT_TRUE(dialogs_.Messages().empty()) << "no dialog for an exception";
    f.JvTransparentButton3->UserClick();
    EXPECT_EQ(f.PageControl1->ActivePageIndex(), client::kPagePending);
  });
}

// --- Closing ----------------------------------------------------------------------------

TEST_F(MainWindowTest, ClosingAnsweredNoSavesTwiceWritesTheFriendsOnceAndHides) {
  auto& f = Start();
  f.nom_ov->SetText("dupont");
  f.ListBox3->Items().Add("ami@exemple.fr");
  f.ListBox4->Items().Add("urgent");
  struct Seen {
    bool settingsSaved = false, friendsSaved = false, subjectsSaved = false;
  } seen;
  dialogs_.OnMessage = [&](const forms::MessageRequest&) -> std::optional<forms::TModalResult> {
    // The question comes after the first save and the friends files; the test clears the
    // files so that what comes after the answer shows.
    seen.settingsSaved = forms::TIniFile(File("serie.ini").string()).ReadString("Form1", "nom_ov", "") == "dupont";
    seen.friendsSaved = fs::exists(File("base.ami"));
    seen.subjectsSaved = fs::exists(File("sujet.ami"));
    fs::remove(File("serie.ini"));
    fs::remove(File("base.ami"));
    fs::remove(File("sujet.ami"));
    return forms::mrNo;
  };
  struct Road {
    const char* name;
    std::function<void()> close;
  };
  const Road roads[] = {
      {"Quitter", [&] { f.SpeedButton10->UserClick(); }},
      {"the close box", [&] { f.SystemClose(); }},
      {"Close from code", [&] { f.Close(); }},
  };
  for (const Road& road : roads) {
    SCOPED_TRACE(road.name);
    f.Show();
    dialogs_.ClearRecords();
    seen = {};
    road.close();
    ASSERT_EQ(dialogs_.Messages().size(), 1u);
    const auto& question = dialogs_.Messages()[0];
    EXPECT_EQ(question.Text,
              "Voulez-vous quitter Orvalis Pulse ?\rSi vous quittez maintenant, vous ne serez plus "
              "inform\xC3\xA9 des nouvelles saisies.");
    EXPECT_EQ(question.Type, forms::mtCustom);
    EXPECT_EQ(question.Buttons, forms::mbYesNo);
    EXPECT_EQ(question.Caption, "Orvalis Pulse");
    EXPECT_TRUE(seen.settingsSaved);
    EXPECT_TRUE(seen.friendsSaved);
    EXPECT_TRUE(seen.subjectsSaved);
    EXPECT_TRUE(fs::exists(File("serie.ini"))) << "saved a second time after the answer";
    EXPECT_FALSE(fs::exists(File("base.ami"))) << "the friends files are written once";
    EXPECT_FALSE(fs::exists(File("sujet.ami")));
    EXPECT_FALSE(f.Visible());
    EXPECT_FALSE(app_->ShowMainForm());
    EXPECT_FALSE(app_->Terminated());
    EXPECT_TRUE(f.Timer1->Enabled()) << "it keeps polling";
  }
}

TEST_F(MainWindowTest, ClosingAnsweredYesEndsTheProgramWithTheSettingsSaved) {
  auto& f = Start();
  f.MaskEdit1->UserType("mot de passe");
  f.site_ov->SetText("secretariat.exemple.fr");
  dialogs_.AnswerMessage(forms::mrYes);
  RunThen([&] { f.SpeedButton10->UserClick(); });
  EXPECT_TRUE(app_->Terminated());
  forms::TIniFile ini(File("serie.ini").string());
  EXPECT_EQ(ini.ReadString("Form1", "pass_ov", "?"), "mot de passe");
  EXPECT_EQ(ini.ReadString("Form1", "site_ov", "?"), "secretariat.exemple.fr");
  std::vector<std::string> expected(std::begin(kSavedKeys), std::end(kSavedKeys));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SavedKeys(), expected) << "the visible password boxes and the carriers are never saved";
  struct stat st {};
  ASSERT_EQ(::stat(File("serie.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "it holds two passwords";
  EXPECT_FALSE(fs::exists(File("base.ami"))) << "empty lists leave no file";
}

TEST_F(MainWindowTest, SettingsThatCannotBeSavedAreToldInTheStatusBar) {
  auto& f = Start();
  fs::create_directory(File("serie.ini"));  // nothing can be written in place of a folder
  dialogs_.AnswerMessage(forms::mrNo);
  f.SpeedButton10->UserClick();
  const std::string status = f.StatusBar1->Panels(0).Text();
  EXPECT_EQ(status.rfind("Les r\xC3\xA9glages n'ont pas pu \xC3\xAAtre enregistr\xC3\xA9s : ", 0), 0u) << status;
  EXPECT_NE(status.find(File("serie.ini").string()), std::string::npos) << status;
  ASSERT_EQ(dialogs_.Messages().size(), 1u) << "only the close question: no error box";
  EXPECT_FALSE(f.Visible()) << "the close sequence went on to its answer";
}

TEST_F(MainWindowTest, AFriendsFileThatCannotBeWrittenDoesNotKeepTheUserFromQuitting) {
  auto& f = Start();
  f.ListBox3->Items().Add("ami@exemple.fr");
  f.ListBox4->Items().Add("urgent");
  // A folder that holds something cannot be written over as a file.
  fs::create_directories(File("base.ami") / "inside");
  dialogs_.AnswerMessage(forms::mrOk);   // the file that could not be written, and why
  dialogs_.AnswerMessage(forms::mrYes);  // the close question
  RunThen([&] { f.SpeedButton10->UserClick(); });
  ASSERT_EQ(dialogs_.Messages().size(), 2u);
  EXPECT_EQ(dialogs_.Messages()[0].Text, File("base.ami").string() + " : Erreur d'E/S 21");
  EXPECT_EQ(dialogs_.Messages()[1].Text.rfind("Voulez-vous quitter", 0), 0u);
  EXPECT_TRUE(fs::is_directory(File("base.ami") / "inside")) << "what stood there is left alone";
  EXPECT_TRUE(fs::exists(File("sujet.ami"))) << "the other list is still written";
  EXPECT_TRUE(app_->Terminated());
}

}  // namespace
