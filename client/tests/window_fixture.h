#pragma once
// The client's windows in-process (offscreen), with the files in a temporary folder, a fixed
// clock, and the sound, the shell, the process list, the desktop and sleeping replaced by
// fakes that record what they get (sleeping returns at once).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "executable_folder.h"
#include "forms/application.h"
#include "forms/scripted_dialogs.h"
#include "forms/sysutils.h"
#include "main_window.h"
#include "notice_window.h"
#include "os/desktop.h"
#include "os/processes.h"
#include "os/shell.h"
#include "os/sleep.h"
#include "os/sound.h"
#include "program_block.h"

namespace client_test {

class FakeSound final : public os::Sound {
 public:
  std::vector<std::string> plays;
  std::vector<std::pair<unsigned, unsigned>> beeps;
  bool playResult = true;
  bool PlaySound(const std::string& file, unsigned) override {
    plays.push_back(file);
    return playResult;
  }
  bool Beep(unsigned frequency, unsigned durationMs) override {
    beeps.emplace_back(frequency, durationMs);
    return true;
  }
};

class FakeShell final : public os::Shell {
 public:
  std::vector<std::pair<std::string, std::string>> calls;  // verb, file
  bool ShellExecute(std::string_view verb, std::string_view file, std::string_view, std::string_view) override {
    calls.emplace_back(std::string(verb), std::string(file));
    return true;
  }
};

class FakeProcesses final : public os::ProcessList {
 public:
  std::vector<pid_t> trimmed;
  std::vector<os::ProcessEntry> Snapshot() override { return {{100, "OrvalisP.exe"}, {200, "orvalisP.exe"}}; }
  bool TerminateProcess(pid_t, unsigned) override { return false; }
  bool EmptyWorkingSet(pid_t pid) override {
    trimmed.push_back(pid);
    return true;
  }
};

// A 1280 x 1024 screen whose taskbar takes the bottom 40 pixels.
class FakeDesktop final : public os::Desktop {
 public:
  os::Rect screen{0, 0, 1280, 1024};
  os::Rect workArea{0, 0, 1280, 984};
  bool taskbarButton = true;
  os::Rect ScreenRect() override { return screen; }
  os::Rect WorkArea() override { return workArea; }
  void SetTaskbarButtonVisible(bool v) override { taskbarButton = v; }
  bool TaskbarButtonVisible() override { return taskbarButton; }
};

class FakeSleeper final : public os::Sleeper {
 public:
  std::vector<unsigned> sleeps;
  void Sleep(unsigned ms) override { sleeps.push_back(ms); }
};

inline forms::TDateTime FixedNow() { return forms::EncodeDate(2026, 12, 10) + forms::EncodeTime(9, 30, 5); }
inline constexpr const char* kStamp = "10/12/2026 09:30:05";

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/client-poll-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    folder_ = std::make_unique<settings_store::ScopedExecutableFolder>(dir_.string());
    forms::SetClock(&FixedNow);
    app_ = std::make_unique<forms::TApplication>();
    client::CreateClientForms(*app_);
    f = Form1;
    n = Form2;
  }
  void TearDown() override {
    app_.reset();
    forms::SetClock(nullptr);
    folder_.reset();
    std::filesystem::remove_all(dir_);
  }
  // The account and the kinds watched (every box is set, whatever the start left).
  void Account(const std::string& server, const std::string& login = "dupont", const std::string& password = "s3cret") {
    f->nom_ov->SetText(login);
    f->pass_ov->SetText(password);
    f->site_ov->SetText(server);
  }
  void Watch(bool messages, bool rdv, bool visits, bool mail, bool urgent = false) {
    f->message_ov->SetChecked(messages);
    f->rdv_ov->SetChecked(rdv);
    f->vi_ov->SetChecked(visits);
    f->e_mail->SetChecked(mail);
    f->urgent_mess->SetChecked(urgent);
  }
  std::string Status() { return f->StatusBar1->Panels(0).Text(); }
  // The ids (Iso column) of the pending rows, top to bottom.
  std::vector<std::string> RowIds() const {
    std::vector<std::string> ids;
    for (int i = 0; i < f->ListView1->Items().Count(); ++i) ids.push_back(f->ListView1->Items()[i]->SubItems()[6]);
    return ids;
  }

  FakeSound sound;
  FakeShell shell;
  FakeProcesses processes;
  FakeDesktop desktop;
  FakeSleeper sleeper;
  os::ScopedOverride<os::Sound> useSound{sound};
  os::ScopedOverride<os::Shell> useShell{shell};
  os::ScopedOverride<os::ProcessList> useProcesses{processes};
  os::ScopedOverride<os::Desktop> useDesktop{desktop};
  os::ScopedOverride<os::Sleeper> useSleeper{sleeper};
  forms::ScriptedDialogs dialogs;
  client::TForm1* f = nullptr;
  client::TForm2* n = nullptr;

 private:
  std::filesystem::path dir_;
  std::unique_ptr<settings_store::ScopedExecutableFolder> folder_;
  std::unique_ptr<forms::TApplication> app_;
};

}  // namespace client_test
