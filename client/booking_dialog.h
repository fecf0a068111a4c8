#pragma once
// TForm4, the dialog that books an appointment into a free slot of the agenda. The agenda
// list gives it the slot's time (its caption) and the slot's id (Edit5) and shows it; the
// user types the person's details and the number of slots, and "Enregistrer" sends them to
// the secretariat. The dialog is not modal: the agenda stays usable while it is up.
#include <string>

#include "forms/buttons.h"
#include "forms/edits.h"
#include "forms/form.h"
#include "forms/panels.h"
#include "forms/spinedit.h"

namespace client {

class TForm4 : public forms::TForm {
 public:
  explicit TForm4(forms::TComponent* Owner);
  ~TForm4() override;

  void Button1Click(forms::TObject* Sender);  // "Enregistrer"
  void Button2Click(forms::TObject* Sender);  // "Annuler"

  // The query of "indyrendez.pl" for what the fields hold now.
  std::string BookingQuery() const;

  forms::TPanel* Panel1;
  forms::TEdit* Edit1;  // "Nom"
  forms::TEdit* Edit2;  // "Prénom"
  forms::TEdit* Edit3;  // "Tél."
  forms::TEdit* Edit4;  // "Fax/Mail/Gsm"
  forms::TEdit* Edit6;  // "Adresse"
  forms::TEdit* Edit7;  // "Motif"
  forms::TSpinEdit* SpinEdit1;  // "Créneaux", 1 to 4
  forms::TEdit* Edit5;  // hidden: the id of the free slot
  forms::TMemo* Memo3;  // hidden: the reply lines of the last booking
  forms::TButton* Button1;  // "Enregistrer"
  forms::TButton* Button2;  // "Annuler"

 private:
  // After a confirmed booking the dialog is ready for the next one.
  void ClearFields();
};

}  // namespace client

extern client::TForm4* Form4;
