#pragma once
// The client's windows in-process (offscreen), with the files in a temporary folder, a fixed
// clock, and the sound, the shell, the process list, the desktop, its notification area and
// sleeping replaced by the fakes of os_fakes.h.
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
#include "os_fakes.h"
#include "program_block.h"

namespace client_test {

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
  FakeNotificationArea tray;
  os::ScopedOverride<os::Sound> useSound{sound};
  os::ScopedOverride<os::Shell> useShell{shell};
  os::ScopedOverride<os::ProcessList> useProcesses{processes};
  os::ScopedOverride<os::Desktop> useDesktop{desktop};
  os::ScopedOverride<os::Sleeper> useSleeper{sleeper};
  os::ScopedOverride<forms::NotificationArea> useTray{tray};
  forms::ScriptedDialogs dialogs;
  client::TForm1* f = nullptr;
  client::TForm2* n = nullptr;

 private:
  std::filesystem::path dir_;
  std::unique_ptr<settings_store::ScopedExecutableFolder> folder_;
  std::unique_ptr<forms::TApplication> app_;
};

}  // namespace client_test
