#pragma once
// Sleep(ms), replaceable so that tests can run timed sequences without waiting.
#include "os/service.h"

namespace os {

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void Sleep(unsigned ms) = 0;
};

template <>
Sleeper& RealService<Sleeper>();

// Shortcut for Use<Sleeper>().Sleep(ms).
void Sleep(unsigned ms);

}  // namespace os
