// Page 2: an instruction for the secretariat ("Envoi") and the order to stop today's home
// visits ("Stop VAD"). The server's reply is shown in Memo3 as it came; nothing else changes.
// Both requests send the login as typed.
#include "forms/dialogs.h"
#include "main_window.h"
#include "query_value.h"

namespace client {

using namespace forms;

inline constexpr const char* kStopQuestion = "Voulez-vous stopper les visites ?";

void TForm1::Button3Click(TObject*) {
  // 1. Nothing to send without the account or an instruction.
  if (!HasCredentials() || Edit1->Text().empty()) return;
  // 2. Spaces as "+"; the characters that would change the query go percent-encoded.
  const std::string text = QueryValue(Edit1->Text());
  // 3.-5. The reply, as received; the instruction stays in its field.
  Memo3->Lines().Clear();
  SendSecretariatRequest("indycons.pl?motif=" + text, Memo3->Lines());
}

void TForm1::Button9Click(TObject*) {
  if (!HasCredentials()) return;
  if (MessageDlg(kStopQuestion, mtCustom, mbYesNo) == mrNo) return;
  Memo3->Lines().Clear();
  SendSecretariatRequest("indystop.pl", Memo3->Lines());
}

}  // namespace client
