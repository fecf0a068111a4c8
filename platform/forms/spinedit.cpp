#include "forms/spinedit.h"

#include <QSpinBox>
#include <algorithm>
#include <climits>

#include "forms/dispatcher.h"
#include "forms/sysutils.h"

namespace forms {

namespace {
QSpinBox* SpinOf(const TControl* c) { return static_cast<QSpinBox*>(c->NativeWidget()); }
}  // namespace

TSpinEdit::TSpinEdit(TComponent* Owner, TWinControl* Parent) : TWinControl(Owner, Parent) {
  auto spin = std::make_unique<QSpinBox>();
  QSpinBox* raw = spin.get();
  AttachWidget(std::move(spin));
  ApplyRange();
  raw->setValue(0);
  QObject::connect(raw, &QSpinBox::valueChanged, raw, [this] { Fire(this, OnChange, this); });
}

int TSpinEdit::Value() const { return SpinOf(this)->value(); }

void TSpinEdit::SetValue(int v) { SpinOf(this)->setValue(Clamp(v)); }

void TSpinEdit::SetMinValue(int v) {
  min_ = v;
  ApplyRange();
}

void TSpinEdit::SetMaxValue(int v) {
  max_ = v;
  ApplyRange();
}

void TSpinEdit::SetIncrement(int v) {
  increment_ = v;
  SpinOf(this)->setSingleStep(v);
}

int TSpinEdit::Clamp(int v) const {
  if (min_ == 0 && max_ == 0) return v;
  return std::clamp(v, std::min(min_, max_), std::max(min_, max_));
}

void TSpinEdit::ApplyRange() {
  QSpinBox* s = SpinOf(this);
  if (min_ == 0 && max_ == 0) s->setRange(INT_MIN, INT_MAX);
  else s->setRange(std::min(min_, max_), std::max(min_, max_));
}

void TSpinEdit::UserEnterText(const std::string& text) {
  if (!Enabled()) return;
  SetValue(StrToIntDef(Trim(text), min_));
}

}  // namespace forms
