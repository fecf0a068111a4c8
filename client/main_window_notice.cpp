// The main window's side of the notice window: filling it and starting it.
#include "forms/sysutils.h"
#include "main_window.h"
#include "notice_window.h"

namespace client {

void TForm1::fenetre(const std::string& messages, const std::string& rendezVous, const std::string& visites,
                     const std::string& mails) {
  Form2->Titre->SetCaption(forms::DateTimeToStr(forms::Now()));
  if (message_ov->Checked() && messages != "0") Form2->messages->SetCaption("Vous avez " + messages + " message(s)");
  if (rdv_ov->Checked() && rendezVous != "0") Form2->rdv->SetCaption("Vous avez " + rendezVous + " rendez-vous");
  if (vi_ov->Checked() && visites != "0") Form2->vi->SetCaption("Vous avez " + visites + " visite(s)");
  if (e_mail->Checked() && mails != "0") Form2->mail->SetCaption("Vous avez " + Edit2->Text() + " E-mail");
  // The other lines keep their text: empty since the last close.
  Form2->Start();
}

void TForm1::Button1Click(forms::TObject*) {
  Form2->messages->SetCaption("ici les messages");
  Form2->rdv->SetCaption("ici les rendez-vous");
  Form2->vi->SetCaption("ici les visites");
  Form2->mail->SetCaption("ici les E-mail");
  Form2->Titre->SetCaption("titre");
  Form2->Start();
}

}  // namespace client
