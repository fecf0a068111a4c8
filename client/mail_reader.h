#pragma once
// TForm3, the window that shows one mail as plain text.
#include "forms/form.h"

namespace client {

class TForm3 : public forms::TForm {
 public:
  explicit TForm3(forms::TComponent* Owner);
  ~TForm3() override;
};

}  // namespace client

extern client::TForm3* Form3;
