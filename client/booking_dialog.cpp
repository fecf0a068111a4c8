#include "booking_dialog.h"

#include "forms/dialogs.h"
#include "forms/label.h"
#include "forms/sysutils.h"
#include "main_window.h"
#include "query_value.h"

client::TForm4* Form4 = nullptr;

namespace client {

using namespace forms;

namespace {

constexpr int kRowHeight = 40;

// A field of the dialog with its label above it.
TEdit& LabelledEdit(TForm& form, TWinControl* parent, const std::string& name, const std::string& label, int left,
                    int row, int width) {
  auto& caption = form.Create<TLabel>("Label" + name, parent);
  caption.SetLeft(left);
  caption.SetTop(6 + row * kRowHeight);
  caption.SetCaption(label);
  auto& edit = form.Create<TEdit>(name, parent);
  edit.SetBounds(left, 20 + row * kRowHeight, width, 21);
  return edit;
}

}  // namespace

TForm4::TForm4(TComponent* Owner) : TForm(Owner) {
  Form4 = this;
  SetName("Form4");
  SetCaption("Rendez-vous");
  SetBorderStyle(bsSingle);
  SetClientWidth(490);
  SetClientHeight(217);
  SetPosition(poScreenCenter);
  SetVisible(false);

  Panel1 = &Create<TPanel>("Panel1", this);
  Panel1->SetAlign(alClient);
  Panel1->SetBevelOuter(bvNone);
  TWinControl* p = Panel1;
  Edit1 = &LabelledEdit(*this, p, "Edit1", "Nom", 8, 0, 230);
  Edit2 = &LabelledEdit(*this, p, "Edit2", "Pr\xC3\xA9nom", 250, 0, 230);
  Edit3 = &LabelledEdit(*this, p, "Edit3", "T\xC3\xA9l.", 8, 1, 230);
  Edit4 = &LabelledEdit(*this, p, "Edit4", "Fax/Mail/Gsm", 250, 1, 230);
  Edit6 = &LabelledEdit(*this, p, "Edit6", "Adresse", 8, 2, 472);
  Edit7 = &LabelledEdit(*this, p, "Edit7", "Motif", 8, 3, 472);

  auto& slots = Create<TLabel>("LabelSpinEdit1", p);
  slots.SetLeft(8);
  slots.SetTop(6 + 4 * kRowHeight + 6);
  slots.SetCaption("Cr\xC3\xA9neaux");
  SpinEdit1 = &Create<TSpinEdit>("SpinEdit1", p);
  SpinEdit1->SetBounds(80, 4 * kRowHeight + 8, 60, 23);
  SpinEdit1->SetMinValue(1);
  SpinEdit1->SetMaxValue(4);
  SpinEdit1->SetValue(1);

  Button1 = &Create<TButton>("Button1", p);
  Button1->SetBounds(270, 4 * kRowHeight + 6, 100, 27);
  Button1->SetCaption("Enregistrer");
  Button1->OnClick = [this](TObject* Sender) { Button1Click(Sender); };
  Button2 = &Create<TButton>("Button2", p);
  Button2->SetBounds(380, 4 * kRowHeight + 6, 100, 27);
  Button2->SetCaption("Annuler");
  Button2->OnClick = [this](TObject* Sender) { Button2Click(Sender); };

  Edit5 = &Create<TEdit>("Edit5", p);
  Edit5->SetVisible(false);
  Memo3 = &Create<TMemo>("Memo3", p);
  Memo3->SetVisible(false);
  Memo3->SetText("Memo3");
}

TForm4::~TForm4() {
  DestroyComponents();
  if (Form4 == this) Form4 = nullptr;
}

std::string TForm4::BookingQuery() const {
  // Every key is present, also with an empty value; the id goes as the list gave it.
  return "indyrendez.pl?id=" + Edit5->Text() + "&nom=" + QueryValue(Edit1->Text()) +
         "&prenom=" + QueryValue(Edit2->Text()) + "&tel=" + QueryValue(Edit3->Text(), Spaces::Dropped) +
         "&fax=" + QueryValue(Edit4->Text(), Spaces::Dropped) + "&creneau=" + IntToStr(SpinEdit1->Value()) +
         "&adresse=" + QueryValue(Edit6->Text()) + "&motif=" + QueryValue(Edit7->Text());
}

void TForm4::Button1Click(TObject*) {
  // 1. Without the main window's account nothing is sent and nothing the user typed is lost.
  if (!Form1->HasCredentials()) return;

  // 2.-5. The booking; the login goes out, and is kept, with "_" for its spaces. The last
  //       reply stays in Memo3 until this one has come. A failure ends the press here, every
  //       field kept.
  Form1->SendSecretariatRequest(BookingQuery(), Memo3->Lines(), false);
  const std::string line0 = Memo3->Lines().Count() > 0 ? Memo3->Lines()[0] : std::string();

  // 6.-7. Booked: the dialog closes, is ready for the next booking, and the day shows the
  //       slot as the server has it now. Refused: the server's line, the typed fields kept
  //       for another try, which needs the slot double-clicked again.
  if (line0 == "OK") {
    Close();
    ClearFields();
    Form1->DateTimePicker1Change(this);
  } else {
    ShowMessage(line0);
    Edit5->SetText("");
  }
}

void TForm4::ClearFields() {
  for (TEdit* edit : {Edit1, Edit2, Edit3, Edit4, Edit5}) edit->SetText("");
  SpinEdit1->SetValue(1);
  Edit6->SetText("");
  Edit7->SetText("");
}

void TForm4::Button2Click(TObject*) { Close(); }

}  // namespace client
