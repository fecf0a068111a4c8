#include "program_block.h"

#include "booking_dialog.h"
#include "mail_reader.h"
#include "main_window.h"
#include "notice_window.h"
#include "secretariat/secretariat_request.h"

namespace client {

void CreateClientForms(forms::TApplication& application) {
  application.SetTitle(kApplicationTitle);
  // While a request to the secretariat waits, the windows keep being served.
  secretariat::DefaultRequestSettings().pump = [] {
    if (forms::Application) forms::Application->ProcessMessages();
  };
  application.CreateForm<TForm1>();
  application.CreateForm<TForm2>();
  application.CreateForm<TForm3>();
  application.CreateForm<TForm4>();
}

}  // namespace client
