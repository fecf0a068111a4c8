#pragma once
// The progress bar: Position between Min and Max.
#include "forms/control.h"

namespace forms {

class TProgressBar : public TWinControl {
 public:
  TProgressBar(TComponent* Owner, TWinControl* Parent);
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  void SetMin(int v);
  void SetMax(int v);
  void SetPosition(int v);  // kept within Min .. Max

 private:
  void Apply();
  int min_ = 0, max_ = 100, position_ = 0;
};

}  // namespace forms
