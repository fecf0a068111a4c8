#include "notice_window.h"

#include <algorithm>

#include "forms/application.h"
#include "forms/dialogs.h"
#include "forms/screen.h"
#include "liberation_processus.h"
#include "main_window.h"
#include "os/desktop.h"
#include "os/shell.h"
#include "os/sleep.h"
#include "os/sound.h"

client::TForm2* Form2 = nullptr;

namespace client {

using namespace forms;

namespace {

TLabel& Line(TForm2& form, const char* name, int left, int top, TColor color) {
  auto& label = form.Create<TLabel>(name, &form);
  label.SetLeft(left);
  label.SetTop(top);
  label.SetTransparent(true);
  label.Font().SetStyle(fsBold);
  label.Font().SetColor(color);
  return label;
}

TButton& ActionButton(TForm2& form, const char* name, const char* caption, const char* hint, int left) {
  auto& button = form.Create<TButton>(name, &form);
  button.SetBounds(left, 140, 75, 25);
  button.SetCaption(caption);
  button.SetHint(hint);
  return button;
}

}  // namespace

TForm2::TForm2(TComponent* Owner) : TForm(Owner) {
  Form2 = this;
  SetName("Form2");
  SetCaption(" Messages");
  SetBorderStyle(bsNone);
  SetFormStyle(fsStayOnTop);
  SetClientWidth(270);
  SetClientHeight(174);
  SetColor(clCream);
  SetShowHint(true);
  // The design's 8 pt: the three buttons fit side by side in their places at the bottom.
  Font().SetSize(8);
  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
  OnClose = [this](TObject* Sender, TCloseAction& Action) { FormClose(Sender, Action); };

  Titre = &Line(*this, "Titre", 7, 6, cl3DDkShadow);
  Label1 = &Line(*this, "Label1", 48, 32, cl3DDkShadow);
  Label1->SetCaption("Mouvements en attentes");
  messages = &Line(*this, "messages", 8, 56, clGreen);
  rdv = &Line(*this, "rdv", 8, 74, clHotLight);
  vi = &Line(*this, "vi", 8, 93, clRed);
  mail = &Line(*this, "mail", 8, 112, clWindowText);

  SpeedButton1 = &Create<TSpeedButton>("SpeedButton1", this);
  SpeedButton1->SetBounds(246, 4, 18, 18);
  SpeedButton1->SetFlat(true);
  SpeedButton1->SetCaption("\xC3\x97");  // the close glyph
  SpeedButton1->OnClick = [this](TObject* Sender) { SpeedButton1Click(Sender); };
  Button1 = &ActionButton(*this, "Button1", "Navigateur", "Lancer votre navigateur", 12);
  Button1->OnClick = [this](TObject* Sender) { Button1Click(Sender); };
  Button2 = &ActionButton(*this, "Button2", "Mouvements", "Afficher les mouvements", 88);
  Button2->OnClick = [this](TObject* Sender) { Button2Click(Sender); };
  Button3 = &ActionButton(*this, "Button3", "E-Mail", "Affiche mes E-mail", 168);
  Button3->OnClick = [this](TObject* Sender) { Button3Click(Sender); };

  Timer2 = &Create<TTimer>("Timer2");
  Timer2->SetEnabled(false);
  Timer2->SetInterval(100);
  Timer2->OnTimer = [this](TObject* Sender) { Timer2Timer(Sender); };
  Timer1 = &Create<TTimer>("Timer1");
  Timer1->SetEnabled(false);
  Timer1->SetInterval(30000);
  Timer1->OnTimer = [this](TObject* Sender) { Timer1Timer(Sender); };
}

TForm2::~TForm2() {
  DestroyComponents();
  if (Form2 == this) Form2 = nullptr;
}

void TForm2::FormCreate(TObject*) {
  SetDoubleBuffered(true);
  fullHeight_ = ClientHeight();
  SetVisible(false);
}

void TForm2::Start() {
  SetVisible(false);
  Timer1->SetEnabled(true);
  Timer2->SetEnabled(true);
  Show();
}

TRect TForm2::RestingPlace(const TRect& screen, const TRect& workArea, int width, int height) {
  const int right = std::min(screen.Right, workArea.Right) - 3;
  const int bottom = workArea.Bottom - 1;
  const int left = std::max(workArea.Left, right - width);
  const int top = std::max(workArea.Top, bottom - height);
  return {left, top, left + width, top + height};
}

void TForm2::Slide(int grow) {
  const int left = Left();
  const int top = Top();
  const int width = ClientWidth();
  const int height = ClientHeight();
  for (int step = 1; step <= fullHeight_ + 1; ++step) {
    SetBounds(left, top - grow * step, width, std::max(1, height + grow * step));
    Repaint();
    Application->ProcessMessages();
    os::Sleep(10);
  }
}

void TForm2::PlayNoticeSound() {
  if (Form1->bip_ov->Checked()) {
    std::string file;
    if (Form1->Edit5->Text() == "1" && !Form1->pop_ami->Text().empty())
      file = Form1->pop_ami->Text();  // a friend's mail was listed
    else if (!Form1->on_equeued->Text().empty())
      file = Form1->on_equeued->Text();
    if (file.empty())
      os::Beep(200, 500);
    else if (!os::PlaySound(file, os::SND_ASYNC | os::SND_FILENAME))
      ShowMessage(kSoundProblem);
  }
  Form1->Edit5->SetText("");
}

void TForm2::Timer2Timer(TObject*) {
  // 1.-2.
  Timer2->SetEnabled(false);
  SetFormStyle(fsStayOnTop);
  // 3. In the bottom right corner, one pixel high, just above the work area's bottom, so
  //    that once up the notice lies whole within the work area.
  const TRect up = RestingPlace({0, 0, Screen->Width(), Screen->Height()}, Screen->WorkAreaRect(), ClientWidth(),
                                fullHeight_ + 2);
  SetBounds(up.Left, up.Bottom - 1, ClientWidth(), 1);
  SetVisible(true);
  // 4. No taskbar button while the notice is up.
  os::SetTaskbarButtonVisible(false);
  // 5.-6.
  PlayNoticeSound();
  // 7.
  Slide(+1);
}

void TForm2::Timer1Timer(TObject*) {
  Slide(-1);
  Close();
}

void TForm2::FormClose(TObject*, TCloseAction&) {
  os::SetTaskbarButtonVisible(true);
  if (Timer1->Enabled()) Timer1->SetEnabled(false);
  if (Timer2->Enabled()) Timer2->SetEnabled(false);
  for (TLabel* label : {messages, rdv, vi, mail}) label->SetCaption("");
  LiberationProcessus(kOwnExeName);
}

void TForm2::Button1Click(TObject*) {
  os::ShellExecute("OPEN", "http://" + Form1->site_ov->Text());
  Close();
}

void TForm2::Button2Click(TObject*) {
  Form1->Button4Click(Form1);
  Close();
}

void TForm2::Button3Click(TObject*) {
  Form1->Button4Click(Form1);
  Form1->JvTransparentButton2Click(Form1);
  Close();
}

void TForm2::SpeedButton1Click(TObject*) { Close(); }

}  // namespace client
