#pragma once
// TForm3, the window that shows one mail as plain text, and the removal of tags from the
// text parts that are not plain text. The main window's Afficherladebutdumessage1Click fills
// it (main_window.h).
#include <string>
#include <vector>

#include "forms/buttons.h"
#include "forms/edits.h"
#include "forms/form.h"
#include "forms/label.h"
#include "forms/panels.h"

namespace client {

// The text with every tag (from a "<" to the next ">") removed. A "<" without a ">" after it
// keeps the rest of the text; nothing else changes, a removed tag leaves no blank.
std::string SupprimeBalises(const std::string& text);

class TForm3 : public forms::TForm {
 public:
  explicit TForm3(forms::TComponent* Owner);
  ~TForm3() override;

  void Button1Click(forms::TObject* Sender);
  void FormCloseQuery(forms::TObject* Sender, bool& CanClose);

  // Empties Memo1; a filling under way (FillText) ends with it.
  void EmptyText();
  // Adds the lines to Memo1 a step at a time, the windows served between the steps, so that a
  // text of millions of lines or characters never freezes them. Ends early, the text as far as
  // it came, when the text is emptied meanwhile (the window closed, a reply begun) or the
  // program ends.
  void FillText(const std::vector<std::string>& lines);

  forms::TPanel* Panel1;
  forms::TLabel* Label1;  // "De : " and the sender
  forms::TLabel* Label2;  // "Sujet : " and the subject
  forms::TLabel* Label3;  // the sender's organisation
  forms::TMemo* Memo1;    // the text of the mail
  forms::TPanel* Panel2;
  forms::TButton* Button1;  // "Fermer"
  forms::TButton* Button2;  // hidden, does nothing

 private:
  unsigned emptied_ = 0;  // how many times the text was emptied: a filling sees its own end
};

}  // namespace client

extern client::TForm3* Form3;
