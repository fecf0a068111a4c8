#pragma once
// The timer component: OnTimer every Interval ms while Enabled. Enabling a timer that
// already runs does not restart it; changing Interval of a running timer restarts it.
#include <memory>

#include "forms/classes.h"
#include "forms/events.h"

namespace forms {

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* Owner);
  ~TTimer() override;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned ms);
  // True while the timer counts (enabled, with an interval and a handler).
  bool Running() const;

  TNotifyEvent OnTimer;

  // Runs OnTimer now, through the dispatcher, as a tick does (tests use it to fire a timer
  // without waiting). The timer's own schedule is not changed.
  void Fire();

 private:
  void Update();
  struct Impl;
  std::unique_ptr<Impl> impl_;
  bool enabled_ = true;
  unsigned interval_ = 1000;
};

}  // namespace forms
