#include "forms/progressbar.h"

#include <QProgressBar>
#include <algorithm>

namespace forms {

namespace {
QProgressBar* BarOf(const TControl* c) { return static_cast<QProgressBar*>(c->NativeWidget()); }
}  // namespace

TProgressBar::TProgressBar(TComponent* Owner, TWinControl* Parent) : TWinControl(Owner, Parent) {
  AttachWidget(std::make_unique<QProgressBar>());
  BarOf(this)->setTextVisible(false);
  Apply();
}

void TProgressBar::SetMin(int v) {
  min_ = v;
  if (max_ < min_) max_ = min_;
  Apply();
}

void TProgressBar::SetMax(int v) {
  max_ = v;
  if (min_ > max_) min_ = max_;
  Apply();
}

void TProgressBar::SetPosition(int v) {
  position_ = v;
  Apply();
}

void TProgressBar::Apply() {
  position_ = std::clamp(position_, min_, max_);
  QProgressBar* b = BarOf(this);
  b->setRange(min_, max_);
  b->setValue(position_);
}

}  // namespace forms
