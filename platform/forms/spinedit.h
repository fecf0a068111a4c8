#pragma once
// The spin edit: an integer with up and down arrows, between MinValue and MaxValue (both 0:
// no limits). A value outside the range is brought to the nearer bound.
#include "forms/control.h"

namespace forms {

class TSpinEdit : public TWinControl {
 public:
  TSpinEdit(TComponent* Owner, TWinControl* Parent);
  int Value() const;
  void SetValue(int v);
  int MinValue() const { return min_; }
  void SetMinValue(int v);
  int MaxValue() const { return max_; }
  void SetMaxValue(int v);
  int Increment() const { return increment_; }
  void SetIncrement(int v);

  TNotifyEvent OnChange;

  // The user's road: types a text into the box and leaves it. Text that is not a number
  // gives MinValue, as the framework reads it.
  void UserEnterText(const std::string& text);

 private:
  void ApplyRange();
  int Clamp(int v) const;
  int min_ = 0, max_ = 0, increment_ = 1;
};

}  // namespace forms
