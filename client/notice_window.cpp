#include "notice_window.h"

client::TForm2* Form2 = nullptr;

namespace client {

TForm2::TForm2(forms::TComponent* Owner) : forms::TForm(Owner) {
  Form2 = this;
  SetName("Form2");
  SetCaption(" Messages");
  SetBorderStyle(forms::bsNone);
  SetFormStyle(forms::fsStayOnTop);
  SetVisible(false);
}

TForm2::~TForm2() {
  DestroyComponents();
  if (Form2 == this) Form2 = nullptr;
}

}  // namespace client
