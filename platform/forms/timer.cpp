#include "forms/timer.h"

#include <QTimer>

#include "forms/dispatcher.h"

namespace forms {

struct TTimer::Impl {
  QTimer timer;
};

TTimer::TTimer(TComponent* Owner) : TComponent(Owner), impl_(std::make_unique<Impl>()) {
  QObject::connect(&impl_->timer, &QTimer::timeout, &impl_->timer, [this] { Fire(); });
  Update();
}

TTimer::~TTimer() = default;

void TTimer::SetEnabled(bool e) {
  if (e == enabled_) return;  // a running timer is not restarted
  enabled_ = e;
  Update();
}

void TTimer::SetInterval(unsigned ms) {
  if (ms == interval_) return;
  interval_ = ms;
  impl_->timer.stop();
  Update();
}

bool TTimer::Running() const { return impl_->timer.isActive(); }

void TTimer::Update() {
  if (enabled_ && interval_ > 0) {
    if (!impl_->timer.isActive()) impl_->timer.start(static_cast<int>(std::min<unsigned>(interval_, 0x7FFFFFFF)));
  } else {
    impl_->timer.stop();
  }
}

void TTimer::Fire() { forms::Fire(this, OnTimer, this); }

}  // namespace forms
