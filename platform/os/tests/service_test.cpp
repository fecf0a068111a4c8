#include <gtest/gtest.h>

#include <vector>

#include "os/sleep.h"

namespace {

class RecordingSleeper final : public os::Sleeper {
 public:
  void Sleep(unsigned ms) override { calls.push_back(ms); }
  std::vector<unsigned> calls;
};

TEST(ServiceOverride, InnermostWinsAndEachScopeRestoresThePrevious) {
  os::Sleeper& real = os::Use<os::Sleeper>();
  RecordingSleeper outer, inner;
  {
    os::ScopedOverride<os::Sleeper> a(outer);
    os::Sleep(300);
    {
      os::ScopedOverride<os::Sleeper> b(inner);
      os::Sleep(10);
      EXPECT_EQ(&os::Use<os::Sleeper>(), &inner);
    }
    os::Sleep(20);
    EXPECT_EQ(&os::Use<os::Sleeper>(), &outer);
  }
  EXPECT_EQ(&os::Use<os::Sleeper>(), &real);
  EXPECT_EQ(outer.calls, (std::vector<unsigned>{300, 20}));
  EXPECT_EQ(inner.calls, (std::vector<unsigned>{10}));
}

TEST(ServiceOverride, RealSleepWaitsAboutTheTimeAsked) {
  const auto start = std::chrono::steady_clock::now();
  os::Sleep(30);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

}  // namespace
