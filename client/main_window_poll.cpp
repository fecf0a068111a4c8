// The poll of the secretariat: how many messages, appointments and visits are pending, the
// mail check, the notice or the status line, and the pending list rebuilt from the reply.
#include "forms/sysutils.h"
#include "liberation_processus.h"
#include "main_window.h"
#include "pending_entry.h"

namespace client {

using namespace forms;

inline constexpr const char* kNothingPending = " : Vous n'avez pas de mouvements en attentes ";

void TForm1::Timer1Timer(TObject* Sender) {
  // A poll that fails lets its exception out here, and the trim is skipped.
  Button2Click(Sender);
  LiberationProcessus(kOwnExeName);
}

void TForm1::Button2Click(TObject*) {
  // 1. The status bar is cleared; the time stamp of this poll.
  StatusBar1->Panels(0).SetText("");
  const std::string stamp = DateTimeToStr(Now());

  // 2. Nothing to ask without the account.
  if (!HasCredentials()) return;

  // 3. The query, from the kinds watched.
  const auto flag = [](const TCheckBox* box) { return box->Checked() ? "1" : "0"; };
  const std::string query = std::string("?message=") + flag(message_ov) + "&rv=" + flag(rdv_ov) +
                            "&vi=" + flag(vi_ov) + "&urgent=" + flag(urgent_mess);

  // 4. The request; a failure ends the poll with its exception.
  SendSecretariatRequest("indy.pl" + query, Memo1->Lines());

  // 5. The counts of line 0.
  const Counts counts = ParseCounts(Memo1->Lines().Count() > 0 ? Memo1->Lines()[0] : std::string());

  // 6. The mail count: the mail check runs unless the last error was a refused login. While a
  //    mail operation is under way (this poll came in during its wait) no check can start, and
  //    the count stays the one it keeps.
  if (!mailBusy_) Edit2->SetText("0");
  if (e_mail->Checked() && Label16->Caption().find("Authorization") == std::string::npos &&
      (message_ov->Checked() || rdv_ov->Checked() || vi_ov->Checked()))
    Button5->Click();

  // 7. Nothing pending: a status line, and the list keeps its rows.
  if (counts.AllZero() && Edit2->Text() == "0") {
    StatusBar1->Panels(0).SetText(stamp + kNothingPending);
    Label16->SetCaption("");
    return;
  }

  // 8. The notice.
  fenetre(counts.messages, counts.rendezVous, counts.visites, Edit2->Text());

  // 9. The list anew, from the entry lines.
  ListView1->Items().Clear();
  ForgetSelectedIds();
  const std::vector<std::string> lines = Memo1->Lines().ToVector();
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const Entry e = ParseEntryLine(lines[i]);
    if (IsListed(e)) ajout(e.kind, e.date, e.heure, e.nom, e.prenom, e.motif, e.tel, e.iso, e.fax, e.adresse);
  }
}

}  // namespace client
