#include "os/sleep.h"

#include <chrono>
#include <thread>

namespace os {
namespace {

class RealSleeper final : public Sleeper {
 public:
  void Sleep(unsigned ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace

template <>
Sleeper& RealService<Sleeper>() {
  static RealSleeper real;
  return real;
}

void Sleep(unsigned ms) { Use<Sleeper>().Sleep(ms); }

}  // namespace os
