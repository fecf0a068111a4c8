#include "mail_reader.h"

client::TForm3* Form3 = nullptr;

namespace client {

TForm3::TForm3(forms::TComponent* Owner) : forms::TForm(Owner) {
  Form3 = this;
  SetName("Form3");
  SetCaption("Lire un E-mail");
  SetVisible(false);
}

TForm3::~TForm3() {
  DestroyComponents();
  if (Form3 == this) Form3 = nullptr;
}

}  // namespace client
