// Handlers of the main window whose work belongs to the day agenda and the mail watch. Until
// those land they do the part that is the main window's.
#include "main_window.h"

namespace client {

void TForm1::Button5Click(forms::TObject*) {}

void TForm1::JvTransparentButton4Click(forms::TObject*) {
  MarkPageButton(JvTransparentButton4);
  PageControl1->SetActivePageIndex(kPageAgenda);
}

}  // namespace client
