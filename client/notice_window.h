#pragma once
// TForm2, the notice window: a small borderless window that slides up above the taskbar in
// the bottom right corner when a poll finds something, plays its sound, stays 30000 ms and
// slides down again. The main window fills it (TForm1::fenetre) and starts it.
#include "forms/buttons.h"
#include "forms/form.h"
#include "forms/label.h"
#include "forms/timer.h"

namespace client {

class TForm2 : public forms::TForm {
 public:
  explicit TForm2(forms::TComponent* Owner);
  ~TForm2() override;

  // --- Handlers -------------------------------------------------------------------------
  void FormCreate(forms::TObject* Sender);
  void Timer2Timer(forms::TObject* Sender);  // slide-in, 100 ms after the start
  void Timer1Timer(forms::TObject* Sender);  // slide-out, 30000 ms after the start
  void FormClose(forms::TObject* Sender, forms::TCloseAction& Action);
  void Button1Click(forms::TObject* Sender);       // "Navigateur"
  void Button2Click(forms::TObject* Sender);       // "Mouvements"
  void Button3Click(forms::TObject* Sender);       // "E-Mail"
  void SpeedButton1Click(forms::TObject* Sender);  // the close glyph

  // Hides the window, starts both timers and shows it: what the main window does once it
  // has filled the labels.
  void Start();

  // The client height the window slides to, kept when it is created.
  int FullHeight() const { return fullHeight_; }

  // Where the notice rests once it is up, `width` wide and `height` high: 3 pixels left of
  // the screen's right edge and 1 pixel above the work area's bottom, brought inside the work
  // area wherever that leaves part of it on a panel, a dock or off the screen.
  static forms::TRect RestingPlace(const forms::TRect& screen, const forms::TRect& workArea, int width, int height);

  // --- Controls -------------------------------------------------------------------------
  forms::TLabel* Titre;     // date and time at which the notice was filled
  forms::TLabel* Label1;    // "Mouvements en attentes"
  forms::TLabel* messages;  // the lines per kind
  forms::TLabel* rdv;
  forms::TLabel* vi;
  forms::TLabel* mail;
  forms::TSpeedButton* SpeedButton1;
  forms::TButton* Button1;
  forms::TButton* Button2;
  forms::TButton* Button3;
  forms::TTimer* Timer2;
  forms::TTimer* Timer1;

 private:
  // Plays the notice's sound when "Bip" is ticked, then clears the friend-mail flag.
  void PlayNoticeSound();
  // Full height + 1 steps of one pixel, each repainted and followed by the pending window
  // messages and a 10 ms pause: `grow` +1 slides up, -1 slides down. Every step is counted
  // from where the slide began, never read back from the window: a window manager answers
  // each move late, and a place read back then would lose steps.
  void Slide(int grow);

  int fullHeight_ = 0;
};

}  // namespace client

extern client::TForm2* Form2;
