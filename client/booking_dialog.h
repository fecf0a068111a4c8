#pragma once
// TForm4, the dialog that books an appointment into a free slot of the agenda.
#include "forms/form.h"

namespace client {

class TForm4 : public forms::TForm {
 public:
  explicit TForm4(forms::TComponent* Owner);
  ~TForm4() override;
};

}  // namespace client

extern client::TForm4* Form4;
