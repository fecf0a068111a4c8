#include "booking_dialog.h"

client::TForm4* Form4 = nullptr;

namespace client {

TForm4::TForm4(forms::TComponent* Owner) : forms::TForm(Owner) {
  Form4 = this;
  SetName("Form4");
  SetCaption("Rendez-vous");
  SetVisible(false);
}

TForm4::~TForm4() {
  DestroyComponents();
  if (Form4 == this) Form4 = nullptr;
}

}  // namespace client
