#include "program_block.h"

#include "booking_dialog.h"
#include "mail_reader.h"
#include "main_window.h"
#include "notice_window.h"

namespace client {

void CreateClientForms(forms::TApplication& application) {
  application.SetTitle(kApplicationTitle);
  application.CreateForm<TForm1>();
  application.CreateForm<TForm2>();
  application.CreateForm<TForm3>();
  application.CreateForm<TForm4>();
}

}  // namespace client
