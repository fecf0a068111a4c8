// The main window's own handlers: start-up, the page buttons, showing and hiding to the
// tray, the exception sink, the settings page and the close sequence.
#include "main_window.h"

#include <exception>

#include "edit_ini.h"
#include "executable_folder.h"
#include "forms/dispatcher.h"
#include "liberation_processus.h"
#include "os/shell.h"
#include "os/sound.h"

client::TForm1* Form1 = nullptr;

namespace client {

using namespace forms;

std::string IdsLus;
std::string MailNumero;
std::string MailExpediteur;
std::string MailDomaine;

std::string QuitQuestion(const std::string& caption) {
  return "Voulez-vous quitter " + caption + " ?" + "\r" +
         "Si vous quittez maintenant, vous ne serez plus inform\xC3\xA9 des nouvelles saisies.";
}

// --- Start-up and close ---------------------------------------------------------------

void TForm1::FormCreate(TObject*) {
  // The settings are restored by now; the visible password boxes show the saved ones.
  MaskEdit1->SetText(pass_ov->Text());
  MaskEdit2->SetText(pop_passe->Text());
  if (!nom_ov->Text().empty() && !pass_ov->Text().empty() && !site_ov->Text().empty()) {
    // Only the tray icon shows; without a notification area nothing could bring a hidden
    // window back, so the window opens on the pending entries instead.
    if (RxTrayIcon1->InNotificationArea())
      SpeedButton8Click(this);
    else
      JvTransparentButton3Click(this);
  } else {
    JvTransparentButton5Click(this);
    message_ov->SetChecked(true);
    bip_ov->SetChecked(true);
  }
  // Each list is read on its own: a file that cannot be read is told like any other error
  // and does not keep the other list from being read.
  for (void (TForm1::*read)() : {&TForm1::lirefichecg, &TForm1::lirefichecg2}) {
    try {
      (this->*read)();
    } catch (...) {
      HandleException(this, std::current_exception());
    }
  }
}

void TForm1::FormCloseQuery(TObject*, bool& CanClose) {
  CanClose = true;
  EditIni1->SauveIni();
  // A friends file that cannot be rewritten must not keep the user from quitting: its
  // error is reported like any other and the close goes on to its question.
  for (void (TForm1::*rewrite)() : {&TForm1::finfichcg, &TForm1::finfichcg2}) {
    try {
      (this->*rewrite)();
    } catch (...) {
      HandleException(this, std::current_exception());
    }
  }
}

void TForm1::FormClose(TObject*, TCloseAction& Action) {
  if (MessageDlg(QuitQuestion(Caption()), mtCustom, mbYesNo) == mrNo) {
    Action = caNone;
    SpeedButton8Click(this);
  } else {
    Action = caFree;
    // A mail operation under way ends now rather than keep the program open.
    POP3->Abort();
  }
}

void TForm1::SpeedButton10Click(TObject*) { Close(); }

// --- Page buttons -----------------------------------------------------------------------

void TForm1::MarkPageButton(TJvTransparentButton* current) {
  for (auto* button :
       {JvTransparentButton3, JvTransparentButton1, JvTransparentButton2, JvTransparentButton4, JvTransparentButton5})
    button->SetAutoGray(button != current);
}

void TForm1::JvTransparentButton3Click(TObject*) {
  MarkPageButton(JvTransparentButton3);
  PageControl1->SetActivePageIndex(kPagePending);
}

void TForm1::JvTransparentButton1Click(TObject*) {
  MarkPageButton(JvTransparentButton1);
  PageControl1->SetActivePageIndex(kPageInstruction);
}

void TForm1::JvTransparentButton2Click(TObject*) {
  MarkPageButton(JvTransparentButton2);
  PageControl1->SetActivePageIndex(kPageMail);
}

void TForm1::JvTransparentButton5Click(TObject*) {
  MarkPageButton(JvTransparentButton5);
  PageControl1->SetActivePageIndex(kPageSettings);
}

void TForm1::BitBtn1Click(TObject*) {
  PageControl1->SetActivePageIndex(kPageFriends);
  if (ListBox3->CanFocus()) ListBox3->SetFocus();
}

void TForm1::BitBtn7Click(TObject*) { PageControl1->SetActivePageIndex(kPageSubjects); }

// --- Showing and hiding -----------------------------------------------------------------

void TForm1::ShowMainWindow() {
  SetVisible(true);
  Application->SetShowMainForm(true);
  Application->BringToFront();
  Application->Restore();
  JvTransparentButton3Click(this);
}

void TForm1::RxTrayIcon1Click(TObject*, TMouseButton, TShiftState, int, int) { ShowMainWindow(); }

void TForm1::Button4Click(TObject*) { ShowMainWindow(); }

void TForm1::SpeedButton8Click(TObject*) {
  if (RxTrayIcon1->InNotificationArea()) {
    SetVisible(false);
    Application->SetShowMainForm(false);
  } else {
    // No tray icon to come back from: the window goes to the taskbar.
    Application->Minimize();
  }
  LiberationProcessus(kOwnExeName);
}

void TForm1::ApplicationEvents1Minimize(TObject* Sender) {
  // Without a notification area the window stays minimised in the taskbar.
  if (RxTrayIcon1->InNotificationArea()) SpeedButton8Click(Sender);
}

void TForm1::RxTrayIcon1NotificationAreaChange(TObject*) {
  // The notification area went away with the window hidden in it: the window comes back,
  // minimised, so that the taskbar still reaches it.
  if (RxTrayIcon1->InNotificationArea() || Visible()) return;
  SetWindowState(wsMinimized);
  SetVisible(true);
  Application->SetShowMainForm(true);
  Application->Minimize();
}

void TForm1::ApplicationEvents1Exception(TObject*, const std::exception& E) {
  StatusBar1->Panels(0).SetText(E.what());
  Label16->SetCaption(E.what());
}

// --- Settings page ----------------------------------------------------------------------

void TForm1::MaskEdit1Change(TObject*) { pass_ov->SetText(MaskEdit1->Text()); }

void TForm1::MaskEdit2Change(TObject*) { pop_passe->SetText(MaskEdit2->Text()); }

void TForm1::message_ovClick(TObject*) {
  if (!message_ov->Checked()) urgent_mess->SetChecked(false);
}

void TForm1::urgent_messClick(TObject*) {
  if (urgent_mess->Checked()) message_ov->SetChecked(true);
}

void TForm1::vi_ovClick(TObject*) {}

void TForm1::rdv_ovClick(TObject*) {}

void TForm1::ScrollBox3MouseWheelDown(TObject*, TShiftState, TPoint, bool&) {
  ScrollBox3->VertScrollBar().SetPosition(ScrollBox3->VertScrollBar().Position() + 10);
  if (ScrollBox3->CanFocus()) ScrollBox3->SetFocus();
}

void TForm1::ScrollBox3MouseWheelUp(TObject*, TShiftState, TPoint, bool&) {
  ScrollBox3->VertScrollBar().SetPosition(ScrollBox3->VertScrollBar().Position() - 10);
  if (ScrollBox3->CanFocus()) ScrollBox3->SetFocus();
}

void TForm1::TabSheet5Show(TObject*) {
  if (ScrollBox3->CanFocus()) ScrollBox3->SetFocus();
}

void TForm1::SpeedButton18Click(TObject*) { os::Beep(200, 500); }

void TForm1::SoundTest(const std::string& fileName) {
  if (!os::PlaySound(fileName, os::SND_ASYNC | os::SND_FILENAME)) ShowMessage(kSoundProblem);
}

void TForm1::SpeedButton17Click(TObject*) {
  if (!on_equeued->Text().empty()) SoundTest(on_equeued->Text());
}

void TForm1::SpeedButton2Click(TObject*) { SoundTest(pop_ami->Text()); }

void TForm1::SpeedButton16Click(TObject*) {
  if (on_equeued->Text().empty()) return;
  OpenDialog2->SetInitialDir(on_equeued->Text());
  if (OpenDialog2->Execute()) on_equeued->SetText(OpenDialog2->FileName());
}

void TForm1::SpeedButton1Click(TObject*) {
  if (!e_mail->Checked()) return;
  OpenDialog2->SetInitialDir(pop_ami->Text());
  if (OpenDialog2->Execute()) pop_ami->SetText(OpenDialog2->FileName());
}

void TForm1::JvTransparentButton7Click(TObject*) {
  // The updater replaces the client's files; the client keeps running until it is ended.
  os::ShellExecute("open", settings_store::ExecutableFolder() + "Update.exe");
}

}  // namespace client
