// Handlers of the main window whose work belongs to the mail watch. Until it lands they do
// the part that is the main window's.
#include "main_window.h"

namespace client {

void TForm1::Button5Click(forms::TObject*) {}

}  // namespace client
