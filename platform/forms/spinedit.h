#pragma once
// The spin edit: an integer with up and down arrows, between MinValue and MaxValue (both 0:
// no limits). The user may type any text; on leaving the box (or on Enter) a number outside
// the range becomes the nearer bound and a text that is not a number reads as MinValue.
#include "forms/control.h"

class QString;

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

  // The user's road: types a text over the box's text, key by key, and leaves the box.
  void UserEnterText(const std::string& text);

 private:
  void ApplyRange();
  int Clamp(int v) const;
  int Read(const QString& text) const;
  int min_ = 0, max_ = 0, increment_ = 1;
};

}  // namespace forms
