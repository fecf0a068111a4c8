// The secretariat request as the main window's handlers send it: the account is read from
// the settings page at the moment of the request.
#include "main_window.h"
#include "secretariat/secretariat_request.h"

namespace client {

bool TForm1::HasCredentials() const {
  return !nom_ov->Text().empty() && !pass_ov->Text().empty() && !site_ov->Text().empty();
}

void TForm1::SendSecretariatRequest(const std::string& scriptAndQuery, forms::TStrings& target, bool clearFirst) {
  // The login goes out, and is kept, with "_" for its spaces.
  if (secretariat::RewritesLogin(scriptAndQuery)) nom_ov->SetText(secretariat::LoginWithUnderscores(nom_ov->Text()));
  const secretariat::Account account{nom_ov->Text(), pass_ov->Text(), site_ov->Text()};
  secretariat::SecretariatRequest(account, scriptAndQuery, target, clearFirst);
}

}  // namespace client
