// The slot actions of the agenda's popup menu: "Lu", "Annuler", "Libre", "Pris" and
// "Indisponible". Each sends the selected row's id to its script; a confirmation rewrites the
// row in place, anything else fetches the day again.
#include "agenda_row.h"
#include "forms/dialogs.h"
#include "main_window.h"
#include "secretariat/secretariat_request.h"

namespace client {

using namespace forms;

inline constexpr const char* kCancelQuestion = "Voulez-vous Annuler ce Mouvement ?";

struct TForm1::SlotAction {
  const char* script;
  // What follows "Mouvement iso " + id in a confirmation; nullptr: the reply is not looked at
  // and the row is always rewritten.
  const char* suffix;
  AgendaRow (*rewrite)(AgendaRow row);
  // "Annuler" asks first, and fetches the day when the account is missing and once more at
  // the end, whatever the reply.
  bool isCancel = false;
};

void TForm1::RunSlotAction(const SlotAction& action) {
  // 1. Without the account nothing is sent, and a further action needs a new selection.
  if (!HasCredentials()) {
    ListBox5->Items().Clear();
    if (action.isCancel) DateTimePicker1Change(this);
    return;
  }

  // 2. The login is kept with "_" for its spaces.
  nom_ov->SetText(secretariat::LoginWithUnderscores(nom_ov->Text()));

  // 3. "Annuler" asks first.
  if (action.isCancel && MessageDlg(kCancelQuestion, mtCustom, mbYesNo) == mrNo) return;

  // 4.-5. The id of the row selected last.
  if (ListBox5->Items().Count() == 0) return;
  const std::string id = ListBox5->Items()[ListBox5->Items().Count() - 1];

  // 6. The request; a failure ends the action here, the row and the id as they were.
  SendSecretariatRequest(std::string(action.script) + "?id=" + id, Memo5->Lines());
  const std::string line0 = Memo5->Lines().Count() > 0 ? Memo5->Lines()[0] : std::string();

  // 7. A confirmation rewrites the row of the id that was sent, wherever the selection has
  //    gone while the reply came; the lines are compared as the server sent them (its bytes
  //    are read one to one, so "annulé" matches only the byte 0xE9).
  if (!action.suffix || line0 == "Mouvement iso " + id + action.suffix) {
    for (int i = 0; i < ListView3->Items().Count(); ++i) {
      TListItem& item = *ListView3->Items()[i];
      const AgendaRow row = AgendaRowOf(item);
      if (row.iso == id) SetAgendaRow(item, action.rewrite(row));
    }
    ListView3->Repaint();
  } else {
    DateTimePicker1Change(this);
  }

  // 8. The server's first line.
  StatusBar1->Panels(0).SetText(line0);

  // 9. A further action needs a new selection.
  ListBox5->Items().Clear();

  // 10. "Annuler" shows the server's state of the day in any case.
  if (action.isCancel) DateTimePicker1Change(this);
}

void TForm1::Lu1Click(TObject*) { RunSlotAction({"indypris.pl", nullptr, &MarkedRead}); }

void TForm1::Annuler1Click(TObject*) { RunSlotAction({"indyannulation.pl", " annul\xC3\xA9", &FreedSlot, true}); }

void TForm1::Libre1Click(TObject*) { RunSlotAction({"indylibre.pl", " libre", &FreedSlot}); }

void TForm1::Pris1Click(TObject*) {
  RunSlotAction({"indyprisa.pl", " pris", [](AgendaRow row) { return NamedSlot(std::move(row), "pris"); }});
}

void TForm1::Indisponible1Click(TObject*) {
  RunSlotAction({"indyindis.pl", " indispo", [](AgendaRow row) { return NamedSlot(std::move(row), "indispo"); }});
}

}  // namespace client
