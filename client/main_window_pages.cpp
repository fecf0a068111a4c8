// Handlers of the main window whose work belongs to the day agenda. Until it lands they do
// the part that is the main window's.
#include "main_window.h"

namespace client {

void TForm1::JvTransparentButton4Click(forms::TObject*) {
  MarkPageButton(JvTransparentButton4);
  PageControl1->SetActivePageIndex(kPageAgenda);
}

}  // namespace client
