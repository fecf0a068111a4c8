#pragma once
// TForm2, the notice window that slides up above the taskbar when entries are pending.
#include "forms/form.h"

namespace client {

class TForm2 : public forms::TForm {
 public:
  explicit TForm2(forms::TComponent* Owner);
  ~TForm2() override;
};

}  // namespace client

extern client::TForm2* Form2;
